// Texts, numbers and timing helpers. File and folder helpers live in files_helpers.cpp.
#include "common/global_functions.h"

#include <QLocale>
#include <QString>

#include <algorithm>
#include <charconv>
#include <chrono>
#include <cmath>
#include <random>
#include <stdexcept>

#include "common/clock.h"
#include "common/log.h"

namespace {

QLocale Number_Locale() {
  QLocale locale;
  locale.setNumberOptions(QLocale::OmitGroupSeparator);
  return locale;
}

// Byte offset of the n-th UTF-8 character (the text's size when it has fewer).
std::size_t Char_Offset(const std::string& text, std::size_t n) {
  std::size_t pos = 0;
  for (; pos < text.size(); ++pos) {
    bool lead = (static_cast<unsigned char>(text[pos]) & 0xC0) != 0x80;
    if (lead && n-- == 0) return pos;
  }
  return text.size();
}

std::size_t Char_Count(const std::string& text) {
  std::size_t count = 0;
  for (unsigned char c : text) count += (c & 0xC0) != 0x80;
  return count;
}

std::string Trim_Blanks(const std::string& text) {
  std::size_t first = 0, last = text.size();
  while (first < last && static_cast<unsigned char>(text[first]) <= ' ') ++first;
  while (last > first && static_cast<unsigned char>(text[last - 1]) <= ' ') --last;
  return text.substr(first, last - first);
}

// Decimals a pattern such as "0.##" asks for: mandatory ('0') and optional ('#') ones.
void Pattern_Decimals(const std::string& pattern, int& mandatory, int& optional) {
  mandatory = optional = 0;
  std::size_t point = pattern.find('.');
  if (point == std::string::npos) return;
  for (std::size_t i = point + 1; i < pattern.size(); ++i) {
    if (pattern[i] == '0') ++mandatory;
    else if (pattern[i] == '#') ++optional;
  }
}

std::string Format_Pattern(double value, const std::string& pattern) {
  int mandatory = 0, optional = 0;
  Pattern_Decimals(pattern, mandatory, optional);
  const QLocale locale = Number_Locale();
  QString text = locale.toString(value, 'f', mandatory + optional);
  const QString zero = locale.zeroDigit();
  for (int i = 0; i < optional && text.endsWith(zero); ++i) text.chop(zero.size());
  if (mandatory == 0 && text.endsWith(locale.decimalPoint())) text.chop(locale.decimalPoint().size());
  return text.toStdString();
}

}  // namespace

// ---- texts and numbers ----

namespace {

const char* const kSizeUnits[] = {" bytes", " KB", " MB", " GB", " TB"};

// The unit Format_Size writes count in, and its size.
int Size_Unit(std::int64_t count, bool binary, double& divisor) {
  const double step = binary ? 1024.0 : 1000.0;
  divisor = 1.0;
  int unit = 0;
  while (unit < 4 && static_cast<double>(count) >= divisor * step) {
    divisor *= step;
    ++unit;
  }
  return unit;
}

}  // namespace

std::string Format_Size(std::int64_t count, const std::string& pattern, bool binary) {
  return Format_Size_As(count, count, pattern, binary);
}

std::string Format_Size_As(std::int64_t count, std::int64_t unit_of, const std::string& pattern, bool binary) {
  if (count < 0) return "0";
  double divisor = 1.0;
  const int unit = Size_Unit(std::max<std::int64_t>(unit_of, 0), binary, divisor);
  return Format_Pattern(static_cast<double>(count) / divisor, pattern) + kSizeUnits[unit];
}

std::string Replace_Text(std::string text, const std::string& old_text, const std::string& new_text) {
  if (old_text.empty()) return text;
  if (new_text.find(old_text) != std::string::npos) {
    // Searching again from the start would never end; one left-to-right pass instead.
    std::string result;
    std::size_t from = 0, pos;
    while ((pos = text.find(old_text, from)) != std::string::npos) {
      result.append(text, from, pos - from).append(new_text);
      from = pos + old_text.size();
    }
    return result.append(text, from, std::string::npos);
  }
  std::size_t pos;
  while ((pos = text.find(old_text)) != std::string::npos) text.replace(pos, old_text.size(), new_text);
  return text;
}

int Split_String(std::vector<std::string>& parts, const std::string& text, const std::string& delimiter) {
  for (auto& part : parts) part.clear();
  if (delimiter.empty()) {
    parts.at(0) = text;
    return 0;
  }
  const std::string rest = text + delimiter;
  std::size_t index = 0, from = 0, pos;
  while ((pos = rest.find(delimiter, from)) != std::string::npos) {
    if (index >= parts.size()) throw std::out_of_range("Split_String: more pieces than parts");
    parts[index++] = rest.substr(from, pos - from);
    from = pos + delimiter.size();
  }
  return static_cast<int>(index) - 1;
}

std::string Left_Chars(const std::string& text, int n) {
  if (n <= 0) return {};
  return text.substr(0, Char_Offset(text, static_cast<std::size_t>(n)));
}

std::string Right_Chars(const std::string& text, int n) {
  if (n <= 0) return {};
  std::size_t count = Char_Count(text);
  if (static_cast<std::size_t>(n) >= count) return text;
  return text.substr(Char_Offset(text, count - static_cast<std::size_t>(n)));
}

std::string Pad_String(const std::string& text, int width, const std::string& fill, int side) {
  if (fill.empty()) return text;
  std::string result = text;
  const std::size_t fill_chars = Char_Count(fill);
  for (std::size_t chars = Char_Count(result); static_cast<long long>(chars) < width; chars += fill_chars)
    result = side == 0 ? fill + result : result + fill;
  return result;
}

std::string Get_Tag_Value(const std::string& open_tag, const std::string& close_tag, const std::string& text) {
  if (text.empty()) return {};
  const QString body = QString::fromUtf8(text);
  const QString open = QString::fromUtf8(open_tag);
  const qsizetype open_at = body.indexOf(open, 0, Qt::CaseInsensitive);
  if (open_at < 0) return {};
  const qsizetype value_at = open_at + open.size();
  const qsizetype close_at = body.indexOf(QString::fromUtf8(close_tag), 0, Qt::CaseInsensitive);
  if (close_at <= value_at) return {};
  return body.mid(value_at, close_at - value_at).toStdString();
}

std::int64_t Str_To_Int64_Safe(const std::string& text) {
  const std::string trimmed = Trim_Blanks(text);
  if (trimmed.empty()) return 0;
  const char* first = trimmed.data();
  const char* last = first + trimmed.size();
  if (*first == '+' && last - first > 1 && first[1] != '-') ++first;
  std::int64_t value = 0;
  auto [end, error] = std::from_chars(first, last, value);
  if (error == std::errc() && end == last) return value;
  Write_Log(Error_Line("EConvertError", "'" + trimmed + "' is not a valid integer value"));
  return 0;
}

// ---- time ----

bool Fill_Random_Buffer(void* buffer, std::size_t n) {
  if (buffer == nullptr && n > 0) return false;
  const auto ticks = std::chrono::high_resolution_clock::now().time_since_epoch().count();
  std::mt19937_64 generator(static_cast<std::uint64_t>(ticks));
  auto* bytes = static_cast<unsigned char*>(buffer);
  std::size_t i = 0;
  while (i < n) {
    std::uint64_t draw = generator();
    for (int k = 0; k < 8 && i < n; ++k, draw >>= 8) bytes[i++] = static_cast<unsigned char>((draw & 0xFF) % 255);
  }
  return true;
}

void Wait_With_Messages(int seconds, const Message_Pump& pump) { Wait_With_Messages(seconds, pump, System_Clock()); }

std::int64_t Milliseconds_Between(TDateTime start, TDateTime end) {
  return std::llround(std::fabs(end - start) * 86'400'000.0);
}
