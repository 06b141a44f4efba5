#include "common/number_text.h"

#include <charconv>

std::string Fixed_Text(double value, int decimals) {
  char text[400];  // the longest double written in full
  const auto done = std::to_chars(text, text + sizeof text, value, std::chars_format::fixed, decimals);
  return std::string(text, done.ptr);
}
