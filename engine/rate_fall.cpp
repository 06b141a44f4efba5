// The fall detector of the sustained write.
#include "engine/rate_fall.h"

#include <algorithm>

double Median_Of(const std::vector<double>& values, std::size_t first, std::size_t last) {
  last = std::min(last, values.size());
  if (first >= last) return 0;
  std::vector<double> part(values.begin() + static_cast<std::ptrdiff_t>(first),
                           values.begin() + static_cast<std::ptrdiff_t>(last));
  const std::size_t middle = part.size() / 2;
  std::nth_element(part.begin(), part.begin() + static_cast<std::ptrdiff_t>(middle), part.end());
  if (part.size() % 2 == 1) return part[middle];
  const double upper = part[middle];
  return (upper + *std::max_element(part.begin(), part.begin() + static_cast<std::ptrdiff_t>(middle))) / 2;
}

Rate_Fall Find_Rate_Fall(const std::vector<double>& rates) {
  Rate_Fall fall;
  const std::size_t n = rates.size();
  fall.plateau = Median_Of(rates, 0, kPlateauSamples);
  if (n < kFallMinSamples + 1 || fall.plateau <= 0) return fall;
  const std::size_t half = kMedianWindow / 2;
  // From the end back to the last sample whose neighbourhood still runs at the plateau.
  std::size_t index = n;
  while (index > 0) {
    const std::size_t at = index - 1;
    const double median = Median_Of(rates, at >= half ? at - half : 0, at + half + 1);
    if (median >= kFallShare * fall.plateau) break;
    index = at;
  }
  if (index == n || n - index < kFallMinSamples || index < (kPlateauSamples + 1) / 2) return fall;
  fall.found = true;
  fall.index = index;
  fall.after = Median_Of(rates, index, n);
  return fall;
}
