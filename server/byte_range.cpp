// "bytes=first-last", "bytes=first-" and "bytes=-suffix", read with std::from_chars.
#include "server/byte_range.h"

#include <algorithm>
#include <cctype>
#include <charconv>

namespace {

std::string_view Trim(std::string_view text) {
  while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
  while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.remove_suffix(1);
  return text;
}

// A whole number made of digits only.
std::optional<std::uint64_t> Number(std::string_view text) {
  std::uint64_t value = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (text.empty() || error != std::errc() || end != text.data() + text.size()) return std::nullopt;
  return value;
}

bool Starts_With_Bytes(std::string_view text) {
  constexpr std::string_view kUnit = "bytes=";
  return text.size() >= kUnit.size() && std::equal(kUnit.begin(), kUnit.end(), text.begin(), [](char a, char b) {
           return a == std::tolower(static_cast<unsigned char>(b));
         });
}

}  // namespace

Range_Choice Choose_Range(std::string_view header, std::uint64_t size) {
  header = Trim(header);
  if (!Starts_With_Bytes(header)) return {};
  const std::string_view wanted = Trim(header.substr(6));
  if (wanted.find(',') != std::string_view::npos) return {};
  Range_Choice bad;
  bad.unsatisfiable = true;
  const auto dash = wanted.find('-');
  if (dash == std::string_view::npos) return bad;
  const std::string_view from = Trim(wanted.substr(0, dash)), to = Trim(wanted.substr(dash + 1));
  if (from.empty()) {  // the last bytes
    const auto suffix = Number(to);
    if (!suffix || *suffix == 0 || size == 0) return bad;
    return {Byte_Range{size - std::min(*suffix, size), size - 1}, false};
  }
  const auto first = Number(from);
  const auto last = to.empty() ? std::optional<std::uint64_t>(size - 1) : Number(to);
  if (!first || !last || *last < *first || *first >= size) return bad;
  return {Byte_Range{*first, std::min(*last, size - 1)}, false};
}
