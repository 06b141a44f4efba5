// Hexadecimal passes, MD5 digests, the report signature and its check value, computed
// alike by the program and the server.
#include "reporting/report_codec.h"

#include <QByteArray>
#include <QCryptographicHash>

#include <algorithm>
#include <string_view>

namespace {

// Each byte's value as a hexadecimal digit, -1 for any other byte.
constexpr std::array<signed char, 256> kHexValue = [] {
  std::array<signed char, 256> value{};
  value.fill(-1);
  for (int d = 0; d < 10; ++d) value['0' + d] = static_cast<signed char>(d);
  for (int d = 0; d < 6; ++d) value['A' + d] = value['a' + d] = static_cast<signed char>(10 + d);
  return value;
}();

int Hex_Digit_Value(char c) { return kHexValue[static_cast<unsigned char>(c)]; }

std::string Encode_Once(const std::string& text) {
  static const char kDigits[] = "0123456789ABCDEF";
  std::string out;
  out.reserve(text.size() * 2);
  for (unsigned char c : text) {
    out += kDigits[c >> 4];
    out += kDigits[c & 0x0F];
  }
  return out;
}

std::optional<std::string> Decode_Once(std::string_view text) {
  if (text.size() % 2 != 0) return std::nullopt;
  std::string out(text.size() / 2, '\0');
  for (std::size_t i = 0; i < out.size(); ++i) {
    const int high = Hex_Digit_Value(text[2 * i]);
    const int low = Hex_Digit_Value(text[2 * i + 1]);
    if (high < 0 || low < 0) return std::nullopt;
    out[i] = static_cast<char>(high * 16 + low);
  }
  return out;
}

}  // namespace

std::string Hex_Encode(const std::string& text, int extra_passes) {
  std::string current = Encode_Once(text);
  for (int pass = 0; pass < extra_passes; ++pass) current = Encode_Once(current);
  return current;
}

bool Is_Hex_Text(std::string_view text) {
  return std::all_of(text.begin(), text.end(), [](char c) { return Hex_Digit_Value(c) >= 0; });
}

std::optional<std::string> Hex_Decode(std::string_view text, int passes) {
  if (passes <= 0) return std::string(text);
  std::optional<std::string> current = Decode_Once(text);
  for (int pass = 1; pass < passes && current; ++pass) current = Decode_Once(*current);
  return current;
}

std::optional<std::string> Decode_Report_Value(const std::string& encoded) {
  return Hex_Decode(std::string_view(encoded).substr(0, encoded.size() - encoded.size() % 4), 2);
}

std::string MD5_Of_Text(const std::string& text) {
  const QByteArray digest = QCryptographicHash::hash(QByteArray(text.data(), static_cast<qsizetype>(text.size())),
                                                     QCryptographicHash::Md5);
  return digest.toHex().toUpper().toStdString();
}

std::string Report_Signature(const std::string& computer_id, const std::string& host) {
  return MD5_Of_Text(MD5_Of_Text(computer_id + host));
}

std::string Report_Check_Value(const std::vector<std::string>& entries) {
  std::string joined;
  for (const std::string& entry : entries) joined += entry;
  return MD5_Of_Text(joined);
}
