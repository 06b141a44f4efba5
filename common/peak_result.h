// The peak tests (the figures the well-known disk benchmarks headline: queue depth, IOPS and
// latency) and what a run of them measured: one plain value that the runner, the window
// and the exports take.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "common/device_check.h"

struct Peak_Test {
  const char* key;       // "SEQ1M-Q8T1-R": access, block, queue depth, threads, direction
  bool random;           // uniform over the file, aligned to the block; else one block after another
  bool write;
  std::int64_t block;    // bytes of one transfer
  unsigned depth;        // transfers kept in flight
};

// The eight tests in the order they run, each read before its write.
inline constexpr std::array<Peak_Test, 8> kPeakTests = {{
    {"SEQ1M-Q8T1-R", false, false, 1 << 20, 8},
    {"SEQ1M-Q8T1-W", false, true, 1 << 20, 8},
    {"SEQ1M-Q1T1-R", false, false, 1 << 20, 1},
    {"SEQ1M-Q1T1-W", false, true, 1 << 20, 1},
    {"RND4K-Q32T1-R", true, false, 4096, 32},
    {"RND4K-Q32T1-W", true, true, 4096, 32},
    {"RND4K-Q1T1-R", true, false, 4096, 1},
    {"RND4K-Q1T1-W", true, true, 4096, 1},
}};

// The size of the test file: 1 GiB unless the user chooses, from 64 MiB to 64 GiB.
inline constexpr std::int64_t kPeakDefaultSize = 1LL << 30;
inline constexpr std::int64_t kPeakMinSize = 64LL << 20;
inline constexpr std::int64_t kPeakMaxSize = 64LL << 30;
// The timed span of each test in seconds: 5 unless the user chooses 10 or 20.
inline constexpr int kPeakDefaultSeconds = 5;
inline constexpr std::array<int, 3> kPeakSecondChoices = {5, 10, 20};

struct Peak_Test_Result {
  int index = 0;              // in kPeakTests
  std::string key;
  std::int64_t bytes = 0;     // moved by the transfers counted in the timed span
  std::int64_t ios = 0;       // transfers counted
  std::int64_t span_ns = 0;   // the timed span: to the last completion, and a write's flush
  std::int64_t sync_ns = 0;   // the write's flush (fdatasync), inside the span
  double p50_us = 0, p99_us = 0, p999_us = 0;  // completion latencies
  Device_Check check;         // what the device's own counters moved meanwhile
  bool stopped = false;       // Stop ended the span early
  std::string note;           // why the test measured less than its time, or nothing

  double Mbps() const { return span_ns > 0 ? static_cast<double>(bytes) * 1000.0 / static_cast<double>(span_ns) : 0; }
  double Iops() const { return span_ns > 0 ? static_cast<double>(ios) * 1e9 / static_cast<double>(span_ns) : 0; }
};

enum class Peak_Outcome { Completed, Stopped, Refused, Failed };

struct Peak_Result {
  std::string target;         // the work folder the user chose
  std::int64_t size = 0;      // of the test file
  int seconds = 0;            // timed span of each test
  std::string engine;         // what did the transfers: "io_uring", "thread pool", "memory"
  std::string engine_note;    // why io_uring was not used; empty when it was or was not tried
  bool direct = false;        // the file bypassed the page cache
  std::string note;           // what the user should know: a test file smaller than asked
  std::vector<Peak_Test_Result> tests;  // the tests that measured or failed, in plan order
  Peak_Outcome outcome = Peak_Outcome::Refused;
  std::string error;          // why the run was refused or failed
};
