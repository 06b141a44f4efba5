// The eighteen tests of the plan with their names: the key each rate is reported under, the
// caption, the block size and the bar's colour. The engine and the results server read both.
#pragma once

#include <array>
#include <cstdint>

struct Planned_Test {
  const char* NameTag;         // the key a result is reported under ("WRITE", "512BW", ...)
  const char* Description;     // the caption ("Sequential Write")
  int ReadOrWrite;             // 0 write, 1 read
  int BufferSize;              // block size in bytes; 0 = chosen from the drive type
  std::int32_t Color;          // bar colour, 0x00BBGGRR
  const char* TestSpeedLabel;  // the window's label that shows the result
};

inline constexpr std::array<Planned_Test, 18> kPlannedTests = {{
    {"WRITE", "Sequential Write", 0, 0, 0x0000FF, "test1W"},
    {"READ", "Sequential Read", 1, 0, 0x00FF00, "test1R"},
    {"512BW", "Random 512B Write", 0, 512, 0x008274, "Label2"},
    {"512BR", "Random 512B Read", 1, 512, 0x0081F4, "Label4"},
    {"1KW", "Random 1K Write", 0, 1024, 0x00FFFF, "test2W"},
    {"1KR", "Random 1K Read", 1, 1024, static_cast<std::int32_t>(0xFF00FF), "test2R"},
    {"4KW", "Random 4K Write", 0, 4096, static_cast<std::int32_t>(0xFF0000), "test3W"},
    {"4KR", "Random 4K Read", 1, 4096, static_cast<std::int32_t>(0xFFFF00), "test3R"},
    {"64KW", "Random 64K Write", 0, 65536, static_cast<std::int32_t>(0xC0DCC0), "test4W"},
    {"64KR", "Random 64K Read", 1, 65536, static_cast<std::int32_t>(0x808000), "test4R"},
    {"128KW", "Random 128K Write", 0, 131072, static_cast<std::int32_t>(0xC1B6FF), "Label6"},
    {"128KR", "Random 128K Read", 1, 131072, static_cast<std::int32_t>(0xFAFAFF), "Label9"},
    {"512KW", "Random 512k Write", 0, 524288, 0x000080, "test5W"},
    {"512KR", "Random 512k Read", 1, 524288, 0x800080, "test5R"},
    {"1MBW", "Random 1MB Write", 0, 1048576, static_cast<std::int32_t>(0xF0CAA6), "TEST6w"},
    {"1MBR", "Random 1MB Read", 1, 1048576, static_cast<std::int32_t>(0xF0FBFF), "TEST6r"},
    {"4MBW", "Random 4MB Write", 0, 4194304, 0x008080, "TEST7w"},
    {"4MBR", "Random 4MB Read", 1, 4194304, 0x008000, "TEST7r"},
}};
