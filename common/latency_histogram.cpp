// The buckets: exact below 2^kSubBits, then 2^kSubBits equal parts per power of two.
#include "common/latency_histogram.h"

#include <algorithm>
#include <bit>
#include <cmath>

namespace {

constexpr std::uint64_t kLinear = 1ULL << Latency_Histogram::kSubBits;
// Powers of two from 2^kSubBits to 2^63, each with kLinear buckets, after the kLinear exact ones.
constexpr std::size_t kBuckets = kLinear + (64 - Latency_Histogram::kSubBits) * kLinear;

std::size_t Bucket_Of(std::uint64_t value) {
  if (value < kLinear) return static_cast<std::size_t>(value);
  const int power = std::bit_width(value) - 1;  // kSubBits or more
  const int shift = power - Latency_Histogram::kSubBits;
  const std::uint64_t part = (value >> shift) - kLinear;
  return static_cast<std::size_t>(kLinear + static_cast<std::uint64_t>(shift) * kLinear + part);
}

// The middle of a bucket.
double Middle_Of(std::size_t bucket) {
  if (bucket < kLinear) return static_cast<double>(bucket);
  const std::size_t shift = (bucket - kLinear) / kLinear;
  const std::uint64_t part = (bucket - kLinear) % kLinear;
  const double low = std::ldexp(static_cast<double>(kLinear + part), static_cast<int>(shift));
  const double width = std::ldexp(1.0, static_cast<int>(shift));
  return low + (width - 1) / 2;
}

}  // namespace

Latency_Histogram::Latency_Histogram() : counts_(kBuckets, 0) {}

void Latency_Histogram::Add(std::int64_t ns) {
  ns = std::max<std::int64_t>(ns, 0);
  ++counts_[Bucket_Of(static_cast<std::uint64_t>(ns))];
  min_ = count_ == 0 ? ns : std::min(min_, ns);
  max_ = std::max(max_, ns);
  ++count_;
}

double Latency_Histogram::Percentile(double p) const {
  if (count_ == 0) return 0;
  // The rank of a share that is exact in decimal (0.99 of 1000) must not round up past it.
  const double wanted = std::ceil(std::clamp(p, 0.0, 1.0) * static_cast<double>(count_) - 1e-6);
  const auto rank = std::max<std::uint64_t>(1, static_cast<std::uint64_t>(wanted));
  std::uint64_t seen = 0;
  for (std::size_t bucket = 0; bucket < counts_.size(); ++bucket) {
    seen += counts_[bucket];
    if (seen >= rank) return std::clamp(Middle_Of(bucket), static_cast<double>(min_), static_cast<double>(max_));
  }
  return static_cast<double>(max_);
}
