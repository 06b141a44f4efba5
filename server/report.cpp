// Checks of an uploaded report, in the order that rejects junk cheapest: entry names and
// order, check value, decoding, signature, then the values themselves.
#include "server/report.h"

#include "common/number_text.h"
#include "reporting/report_codec.h"
#include "reporting/upload_record.h"
#include "server/view_keys.h"

#include <QString>
#include <QStringDecoder>

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cstring>
#include <string_view>

namespace {

bool Equal_No_Case(const std::string& a, const std::string& b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           return std::toupper(static_cast<unsigned char>(x)) == std::toupper(static_cast<unsigned char>(y));
         });
}

bool Is_Digit(char c) { return c >= '0' && c <= '9'; }

// The length of the run of digits at text[at] when it has from 1 to most of them, else 0.
std::size_t Digits_At(std::string_view text, std::size_t at, std::size_t most) {
  std::size_t end = at;
  while (end < text.size() && Is_Digit(text[end])) ++end;
  const std::size_t count = end - at;
  return count <= most ? count : 0;
}

// Digits, 1 to 9 of them, then a fraction of 1 to 9 digits after "." or ",", then an
// exponent of 1 to 3 digits after "E" or "e" and an optional sign, each part optional but
// the first: the rates as the program's locales write them.
bool Is_Rate_Text(std::string_view text) {
  std::size_t at = Digits_At(text, 0, 9);
  if (at == 0) return false;
  if (at < text.size() && (text[at] == '.' || text[at] == ',')) {
    const std::size_t fraction = Digits_At(text, at + 1, 9);
    if (fraction == 0) return false;
    at += 1 + fraction;
  }
  if (at < text.size() && (text[at] == 'E' || text[at] == 'e')) {
    ++at;
    if (at < text.size() && (text[at] == '+' || text[at] == '-')) ++at;
    const std::size_t exponent = Digits_At(text, at, 3);
    if (exponent == 0) return false;
    at += exponent;
  }
  return at == text.size();
}

int Rate_Index(const std::string& key) {
  for (std::size_t i = 0; i < kRateCount; ++i)
    if (key == kRateFields[i].key) return static_cast<int>(i);
  return -1;
}

// Names and order: the profile entries as the program sends them, then rates in plan
// order (each at most once), then "MD5" with 32 hex digits.
std::string Check_Layout(const std::vector<Form_Entry>& entries, std::vector<int>& rate_at) {
  if (entries.size() < kProfileCount + 1 || entries.size() > kProfileCount + kRateCount + 1)
    return "wrong number of entries: " + std::to_string(entries.size());
  for (std::size_t i = 0; i < kProfileCount; ++i)
    if (entries[i].name != kProfileFields[i].key)
      return "entry " + std::to_string(i + 1) + " is not " + kProfileFields[i].key;
  int last = -1;
  for (std::size_t i = kProfileCount; i + 1 < entries.size(); ++i) {
    const int index = Rate_Index(entries[i].name);
    if (index <= last) return "unexpected entry " + entries[i].name;
    rate_at.push_back(index);
    last = index;
  }
  const Form_Entry& check = entries.back();
  if (check.name != "MD5" || check.value.size() != 32 || !Is_Hex_Text(check.value))
    return "no check value";
  return {};
}

}  // namespace

std::optional<double> Parse_Rate(const std::string& text) {
  if (!Is_Rate_Text(text)) return std::nullopt;
  std::string plain = text;
  std::replace(plain.begin(), plain.end(), ',', '.');
  double value = 0;
  const auto [end, error] = std::from_chars(plain.data(), plain.data() + plain.size(), value);
  if (error != std::errc() || end != plain.data() + plain.size()) return std::nullopt;
  if (!(value > 0) || value > kMaxRate) return std::nullopt;
  return value;
}

bool Is_Like_Run(const Report& report) {
  return report.profile[kTestSeconds] == std::to_string(kDefaultTestSeconds) &&
         std::all_of(report.rates.begin(), report.rates.end(), [](const auto& rate) { return rate.has_value(); });
}

// Each text with its length before it and each rate as its exact bits, so that no two
// different reports can be written alike.
std::string Report_Identity(const Report& report) {
  std::string values;
  for (std::size_t i = 0; i < kProfileCount; ++i) {
    const std::string& text = report.profile[i];
    Append_Integer(values, text.size());
    values.append(":").append(text);
  }
  for (const auto& rate : report.rates) {
    std::uint64_t bits = 0;
    if (rate) std::memcpy(&bits, &*rate, sizeof bits);
    values.append(rate ? "r" : "-");
    if (rate) Append_Integer(values, bits);
  }
  return Digest_Hex(values, 16);
}

std::string Model_Key(const std::string& model) {
  return QString::fromStdString(model).simplified().toUpper().toStdString();
}

std::optional<std::string> Decode_Entry_Value(const std::string& value, bool cut) {
  if (!Is_Hex_Text(value)) return std::nullopt;
  if (!cut && value.size() % 4 != 0) return std::nullopt;
  return Decode_Report_Value(value);
}

std::string Value_Text(const std::string& bytes, bool cut) {
  using Flag = QStringConverter::Flag;
  // A decoder that keeps state holds an incomplete last character back instead of failing.
  const QStringConverter::Flags flags = cut ? Flag::ConvertInitialBom : (Flag::ConvertInitialBom | Flag::Stateless);
  QStringDecoder utf8(QStringConverter::Utf8, flags);
  const QByteArrayView view(bytes.data(), static_cast<qsizetype>(bytes.size()));
  QString text = utf8.decode(view);
  if (utf8.hasError()) text = QString::fromLatin1(view);
  for (QChar& c : text)
    if (c.category() == QChar::Other_Control) c = u'?';
  return text.toStdString();
}

Report_Parse Parse_Report(const std::vector<Form_Entry>& entries, const std::string& host,
                          const Serial_Hasher& hash_serial) {
  std::vector<int> rate_at;
  if (std::string error = Check_Layout(entries, rate_at); !error.empty()) return {std::nullopt, error};

  // The check value covers every entry before it exactly as the program stored it; an
  // entry can only be as long as its slot, and only a full slot can end inside a value.
  std::vector<std::string> stored;
  stored.reserve(entries.size());
  for (std::size_t i = 0; i + 1 < entries.size(); ++i) {
    stored.push_back(entries[i].name + "=" + entries[i].value);
    if (stored.back().size() > kShortStringMax) return {std::nullopt, "entry too long: " + entries[i].name};
  }
  if (!Equal_No_Case(Report_Check_Value(stored), entries.back().value)) return {std::nullopt, "bad check value"};

  std::vector<std::string> decoded;
  decoded.reserve(entries.size());
  for (std::size_t i = 0; i + 1 < entries.size(); ++i) {
    auto value = Decode_Entry_Value(entries[i].value, stored[i].size() == kShortStringMax);
    if (!value) return {std::nullopt, "entry " + entries[i].name + " is not encoded"};
    decoded.push_back(std::move(*value));
  }
  if (!Equal_No_Case(decoded[kSignature], Report_Signature(decoded[kComputerId], host)))
    return {std::nullopt, "bad signature"};
  if (decoded[kComputerId].empty() || Model_Key(decoded[kModel]).empty())
    return {std::nullopt, "no computer or no model"};
  const std::string& seconds = decoded[kTestSeconds];
  if (seconds.empty() || Digits_At(seconds, 0, 6) != seconds.size()) return {std::nullopt, "test time is not a number"};

  Report report;
  for (std::size_t i = 0; i < kProfileCount; ++i)
    if (i != kSignature) report.profile[i] = Value_Text(decoded[i], stored[i].size() == kShortStringMax);
  report.profile[kSerial] = decoded[kSerial].empty() ? std::string() : hash_serial(decoded[kSerial]);
  report.profile[kTestSeconds] = std::to_string(std::stoi(decoded[kTestSeconds]));  // "020" is 20 as stored
  for (std::size_t r = 0; r < rate_at.size(); ++r) {
    const std::string& text = decoded[kProfileCount + r];
    report.rates[rate_at[r]] = Parse_Rate(text);
    if (!report.rates[rate_at[r]]) return {std::nullopt, "rate " + entries[kProfileCount + r].name + " is not a rate"};
  }
  report.model_key = Model_Key(report.profile[kModel]);
  if (report.model_key.empty()) return {std::nullopt, "no model"};  // only blanks beyond ASCII
  report.check_value = entries.back().value;
  std::transform(report.check_value.begin(), report.check_value.end(), report.check_value.begin(),
                 [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
  report.identity = Report_Identity(report);
  return {std::move(report), {}};
}
