// The sustained write: one file written without a time limit until a size is reached, its
// rate recorded second by second, and the point where the rate falls for good (a drive's
// write cache running out). A mode of its own beside the plan of eighteen tests.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "common/device_check.h"
#include "common/run_result.h"
#include "engine/rate_fall.h"

// The most a sustained write writes unless told otherwise.
inline constexpr std::int64_t kSustainedSizeCap = 64LL << 30;
// The span of one sample of the curve, and the least a last, shorter one may last before it
// is joined to the sample before it.
inline constexpr std::int64_t kSampleMs = 1000;
inline constexpr std::int64_t kShortestSampleMs = 500;
// How often the written data is forced out to the drive; a sample ends after such a flush.
inline constexpr std::int64_t kFlushMs = 250;
// The fewest samples on which a fall (or its absence) is judged, and the length of the write
// suggested when there were fewer.
inline constexpr std::size_t kFewestJudgedSamples = 10;
inline constexpr std::int64_t kSuggestedSeconds = 30;

struct Rate_Sample {
  std::int64_t end_ms = 0;       // since the write started
  std::int64_t span_ms = 0;
  std::int64_t bytes = 0;        // written in this sample
  std::int64_t written = 0;      // written in all, at its end
  double Mbps() const { return span_ms > 0 ? static_cast<double>(bytes) / 1000.0 / static_cast<double>(span_ms) : 0; }
};

struct Sustained_Result {
  std::int64_t size = 0;     // what the write set out to write
  std::int64_t written = 0;  // what it wrote (whole blocks that reached the drive)
  std::int64_t elapsed_ms = 0;
  std::vector<Rate_Sample> curve;
  Rate_Fall fall;
  Device_Check check;        // the device's counters over the whole write
  std::string error;         // why the write ended before its size, or did not start; empty otherwise
  bool stopped = false;
  Run_Outcome outcome = Run_Outcome::None;
  std::string cleanup_failure;  // why the run's folder was left behind at the end; empty when it went
  double Mbps() const {
    return elapsed_ms > 0 ? static_cast<double>(written) / 1000.0 / static_cast<double>(elapsed_ms) : 0;
  }
};

// The size a sustained write writes: the one asked for (0: the smaller of 90 % of the free
// space and kSustainedSizeCap), never more than the free space above the reserve.
std::int64_t Sustained_Size(std::int64_t asked, std::int64_t free_bytes);

// The sentences that report the fall, or that there was none; for a write of fewer than
// kFewestJudgedSamples samples, that it was too short to tell, with a size to try instead.
std::string Rate_Fall_Text(const Sustained_Result& result);
