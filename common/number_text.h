// Numbers written for files, the wire and pages: a point before the decimals whatever the
// locale, and quick enough for pages that carry hundreds of them.
#pragma once

#include <charconv>
#include <string>

// A number with a fixed count of decimals and a point, rounded as printf's "%.Nf" rounds it.
std::string Fixed_Text(double value, int decimals);
// The same text appended to out, for texts built of many numbers.
void Append_Fixed(std::string& out, double value, int decimals);
// An integer's decimal digits appended to out, with no temporary text.
template <class Integer>
void Append_Integer(std::string& out, Integer value) {
  char digits[24];
  out.append(digits, std::to_chars(digits, digits + sizeof digits, value).ptr);
}
