// The Range header of a request for a file: one byte range at most is served, so that no
// request makes an answer larger than the file.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

struct Byte_Range {
  std::uint64_t first = 0;
  std::uint64_t last = 0;  // included
};

struct Range_Choice {
  std::optional<Byte_Range> range;  // serve this part (206); nothing: the whole file (200)
  bool unsatisfiable = false;       // answer 416
};

// Units other than bytes and lists of several ranges are ignored (the whole file); a
// malformed range, or one that starts past the end, is unsatisfiable.
Range_Choice Choose_Range(std::string_view header, std::uint64_t size);
