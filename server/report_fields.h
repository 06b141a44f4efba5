// The entries of a result report in the order the program sends them, with the column
// each one is kept in and the names the pages show. Keys and test names are the program's.
#pragma once

#include "common/planned_tests.h"
#include "reporting/report_codec.h"

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

constexpr std::size_t kProfileCount = kReportProfileKeys.size();
constexpr std::size_t kRateCount = kPlannedTests.size();

// Positions of the profile entries that the server reads itself.
enum Profile_Index : std::size_t {
  kComputerId = 0, kSignature = 1, kTestSeconds = 2, kProgramVersion = 3,
  kModel = 7, kDriveSize = 8, kSerial = 10, kFileSystem = 11,
};

namespace report_fields_detail {

struct Column_And_Label {
  const char* column;
  const char* label;
};

// In the order of kReportProfileKeys: ID, SIG, TT, PV, OS, OSA, OSN, SM, SS, ST, SSE, SFST,
// MA, CS, PN, PT, CN, CM, CMO, CME, SF.
inline constexpr std::array<Column_And_Label, kProfileCount> kProfileColumns = {{
    {"comp_id", "computer"},       {nullptr, "signature"},         {"test_seconds", "test_seconds"},
    {"program_version", "program_version"}, {"os_version", "os_version"}, {"os_arch", "os_architecture"},
    {"os_name", "os_name"},        {"model", "model"},             {"drive_size", "drive_size"},
    {"drive_type", "drive_type"},  {"serial_hash", "serial_hash"}, {"file_system", "file_system"},
    {"cpu_maker", "cpu_maker"},    {"cpu_clock", "cpu_clock"},     {"cpu_name", "cpu_name"},
    {"cpu_type", "cpu_type"},      {"controller", "controller"},   {"system_maker", "system_maker"},
    {"system_model", "system_model"}, {"memory", "memory"},        {"firmware", "firmware"},
}};

// In plan order: WRITE, READ, then per block size its write and its read.
inline constexpr std::array<const char*, kRateCount> kRateColumns = {
    "rate_write", "rate_read",  "rate_512bw", "rate_512br", "rate_1kw",   "rate_1kr",
    "rate_4kw",   "rate_4kr",   "rate_64kw",  "rate_64kr",  "rate_128kw", "rate_128kr",
    "rate_512kw", "rate_512kr", "rate_1mbw",  "rate_1mbr",  "rate_4mbw",  "rate_4mbr"};

constexpr std::array<Profile_Field, kProfileCount> Profile_Fields() {
  std::array<Profile_Field, kProfileCount> fields{};
  for (std::size_t i = 0; i < kProfileCount; ++i)
    fields[i] = {kReportProfileKeys[i], kProfileColumns[i].column, kProfileColumns[i].label};
  return fields;
}

constexpr std::array<Rate_Field, kRateCount> Rate_Fields() {
  std::array<Rate_Field, kRateCount> fields{};
  for (std::size_t t = 0; t < kRateCount; ++t)
    fields[t] = {kPlannedTests[t].NameTag, kRateColumns[t], kPlannedTests[t].Description};
  return fields;
}

}  // namespace report_fields_detail

inline constexpr std::array<Profile_Field, kProfileCount> kProfileFields = report_fields_detail::Profile_Fields();
inline constexpr std::array<Rate_Field, kRateCount> kRateFields = report_fields_detail::Rate_Fields();

// The largest rate a report may carry, in MB/s.
constexpr double kMaxRate = 100000.0;
