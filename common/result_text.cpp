#include "common/result_text.h"

#include <QLocale>
#include <QString>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>

namespace {

// A magnitude rounded to four significant digits: mantissa (1000..9999) x 10^(exponent - 3);
// zero has mantissa 0.
struct Four_Digits {
  int mantissa = 0;
  int exponent = 0;
};

// Rounds half away from zero on the value's decimal text (15 significant digits, as the
// value was written), so that 2.048 or 1234.5 round the way a reader expects.
Four_Digits Round_Four_Digits(double magnitude) {
  Four_Digits result;
  if (magnitude == 0) return result;
  char text[64];
  std::snprintf(text, sizeof text, "%.15e", magnitude);  // d.ddddddddddddddde+XX
  const int leading = text[0] - '0';
  result.mantissa = leading * 1000 + (text[2] - '0') * 100 + (text[3] - '0') * 10 + (text[4] - '0');
  result.exponent = std::atoi(text + 18);
  if (text[5] >= '5') ++result.mantissa;
  if (result.mantissa == 10000) {
    result.mantissa = 1000;
    ++result.exponent;
  }
  return result;
}

// The magnitude in hundredths, rounded once, half away from zero on its decimal text, at the
// fourth significant digit or the second decimal, whichever keeps fewer digits (1.23456 gives
// 1.23, not 1.235 rounded again to 1.24).
long long Hundredths(double magnitude) {
  if (magnitude == 0) return 0;
  char text[64];
  std::snprintf(text, sizeof text, "%.15e", magnitude);  // d.ddddddddddddddde+XX
  const std::string digits = std::string(1, text[0]) + std::string(text + 2, 15);
  const int exponent = std::atoi(text + 18);
  const int kept = std::min(4, exponent + 3);  // digits up to the rounding position
  if (kept < 0) return 0;
  long long rounded = 0;
  for (int i = 0; i < kept; ++i) rounded = rounded * 10 + (digits[static_cast<std::size_t>(i)] - '0');
  if (digits[static_cast<std::size_t>(kept)] >= '5') ++rounded;
  for (int i = kept; i < exponent + 3; ++i) rounded *= 10;
  return rounded;
}

std::string Exponent_Text(const Four_Digits& digits, const QLocale& locale) {
  const std::string all = std::to_string(digits.mantissa);
  std::string rest = all.substr(1);
  while (!rest.empty() && rest.back() == '0') rest.pop_back();
  std::string text = all.substr(0, 1);
  if (!rest.empty()) text += locale.decimalPoint().toStdString() + rest;
  const std::string exponent = std::to_string(digits.exponent);
  return text + "E" + (exponent.size() < 2 ? "0" : "") + exponent;
}

}  // namespace

std::string Result_Text(double value) {
  if (std::isnan(value)) return "NAN";
  if (std::isinf(value)) return value > 0 ? "INF" : "-INF";
  QLocale locale;
  locale.setNumberOptions(QLocale::OmitGroupSeparator);
  const Four_Digits digits = Round_Four_Digits(std::fabs(value));
  std::string text;
  bool zero = false;
  if (digits.exponent >= 4) {
    text = Exponent_Text(digits, locale);
  } else {
    const long long hundredths = Hundredths(std::fabs(value));
    zero = hundredths == 0;
    text = locale.toString(static_cast<double>(hundredths) / 100.0, 'f', 2).toStdString();
  }
  if (value < 0 && !zero) text = locale.negativeSign().toStdString() + text;
  return text;
}

std::string Ascii_Digits(const std::string& text) {
  const QString decimal_point = QLocale().decimalPoint();
  const char32_t separator = decimal_point.size() == 1 ? decimal_point.at(0).unicode() : U'\x66B';
  std::u32string out;
  for (const char32_t c : QString::fromStdString(text).toUcs4()) {
    if (c == U'\x61C' || c == U'\x200E' || c == U'\x200F') continue;  // direction marks of numbers
    const int digit = QChar::digitValue(c);
    if (c >= 0x80 && QChar::category(c) == QChar::Number_DecimalDigit && digit >= 0 && digit <= 9)
      out += static_cast<char32_t>(U'0' + digit);
    else if (c >= 0x80 && (c == separator || c == U'\x66B'))
      out += U'.';
    else
      out += c;
  }
  return QString::fromUcs4(out.data(), static_cast<qsizetype>(out.size())).toStdString();
}
