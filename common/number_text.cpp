#include "common/number_text.h"

#include <charconv>

void Append_Fixed(std::string& out, double value, int decimals) {
  char text[400];  // the longest double written in full
  const auto done = std::to_chars(text, text + sizeof text, value, std::chars_format::fixed, decimals);
  out.append(text, done.ptr);
}

std::string Fixed_Text(double value, int decimals) {
  std::string text;
  Append_Fixed(text, value, decimals);
  return text;
}
