// Where a sustained write's rate falls for good: the drive's write cache running out. The
// curve is smoothed by a moving median, so that single slow or fast seconds neither make
// nor hide a fall.
#pragma once

#include <cstddef>
#include <vector>

// A fall is a moving median below this share of the initial plateau...
inline constexpr double kFallShare = 0.7;
// ...from some sample to the end, for at least this many samples.
inline constexpr std::size_t kFallMinSamples = 3;
// The moving median's window (centred, shortened at the ends) and the samples whose median
// is the initial plateau.
inline constexpr std::size_t kMedianWindow = 5;
inline constexpr std::size_t kPlateauSamples = 5;

struct Rate_Fall {
  bool found = false;
  std::size_t index = 0;     // the first sample of the lower rate
  double plateau = 0;        // the initial plateau: the median of the first samples
  double after = 0;          // the median from the fall on
};

// The median of values[first, last).
double Median_Of(const std::vector<double>& values, std::size_t first, std::size_t last);

// The first sample from which the moving median of rates stays below kFallShare of the
// initial plateau to the end, with at least kFallMinSamples samples there. A fall within the
// first samples cannot be told from the start itself: at least half of the plateau's
// samples must come before it.
Rate_Fall Find_Rate_Fall(const std::vector<double>& rates);
