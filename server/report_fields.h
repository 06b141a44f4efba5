// The entries of a result report in the order the program sends them, with the column
// each one is kept in and the names the pages show.
#pragma once

#include <array>
#include <cstddef>

struct Profile_Field {
  const char* key;     // form entry name, without "="
  const char* column;  // database column; nullptr for the signature, which is not kept
  const char* label;   // caption on the pages and in the JSON answers
};

struct Rate_Field {
  const char* key;          // form entry name ("WRITE", "512BW", ...)
  const char* column;       // database column
  const char* description;  // caption on the pages
};

constexpr std::size_t kProfileCount = 21;
constexpr std::size_t kRateCount = 18;

// Positions of the profile entries that the server reads itself.
enum Profile_Index : std::size_t {
  kComputerId = 0, kSignature = 1, kTestSeconds = 2, kProgramVersion = 3,
  kModel = 7, kDriveSize = 8, kSerial = 10, kFileSystem = 11,
};

inline constexpr std::array<Profile_Field, kProfileCount> kProfileFields = {{
    {"ID", "comp_id", "computer"},
    {"SIG", nullptr, "signature"},
    {"TT", "test_seconds", "test_seconds"},
    {"PV", "program_version", "program_version"},
    {"OS", "os_version", "os_version"},
    {"OSA", "os_arch", "os_architecture"},
    {"OSN", "os_name", "os_name"},
    {"SM", "model", "model"},
    {"SS", "drive_size", "drive_size"},
    {"ST", "drive_type", "drive_type"},
    {"SSE", "serial_hash", "serial_hash"},
    {"SFST", "file_system", "file_system"},
    {"MA", "cpu_maker", "cpu_maker"},
    {"CS", "cpu_clock", "cpu_clock"},
    {"PN", "cpu_name", "cpu_name"},
    {"PT", "cpu_type", "cpu_type"},
    {"CN", "controller", "controller"},
    {"CM", "system_maker", "system_maker"},
    {"CMO", "system_model", "system_model"},
    {"CME", "memory", "memory"},
    {"SF", "firmware", "firmware"},
}};

inline constexpr std::array<Rate_Field, kRateCount> kRateFields = {{
    {"WRITE", "rate_write", "Sequential Write"},
    {"READ", "rate_read", "Sequential Read"},
    {"512BW", "rate_512bw", "Random 512B Write"},
    {"512BR", "rate_512br", "Random 512B Read"},
    {"1KW", "rate_1kw", "Random 1K Write"},
    {"1KR", "rate_1kr", "Random 1K Read"},
    {"4KW", "rate_4kw", "Random 4K Write"},
    {"4KR", "rate_4kr", "Random 4K Read"},
    {"64KW", "rate_64kw", "Random 64K Write"},
    {"64KR", "rate_64kr", "Random 64K Read"},
    {"128KW", "rate_128kw", "Random 128K Write"},
    {"128KR", "rate_128kr", "Random 128K Read"},
    {"512KW", "rate_512kw", "Random 512K Write"},
    {"512KR", "rate_512kr", "Random 512K Read"},
    {"1MBW", "rate_1mbw", "Random 1MB Write"},
    {"1MBR", "rate_1mbr", "Random 1MB Read"},
    {"4MBW", "rate_4mbw", "Random 4MB Write"},
    {"4MBR", "rate_4mbr", "Random 4MB Read"},
}};

// The largest rate a report may carry, in MB/s.
constexpr double kMaxRate = 100000.0;
