// The sustained write: the fall detector on synthetic curves, and whole writes on the in-memory
// disk whose speed the tests change as a drive's write cache runs out, with the hand clock
// making every second exact.
#include <gtest/gtest.h>

#include <cerrno>
#include <numeric>

#include "memory_rig.h"

namespace {

constexpr std::int64_t kGiB = 1LL << 30;

// n samples of rate, then the rest of the curve.
std::vector<double> Flat(std::size_t n, double rate, std::vector<double> rest = {}) {
  std::vector<double> curve(n, rate);
  curve.insert(curve.end(), rest.begin(), rest.end());
  return curve;
}

struct Fall_Case {
  const char* name;
  std::vector<double> rates;
  bool found;
  std::size_t index;
};

// A drive that writes at fast_bytes_per_us until cache_bytes have reached it, then slowly.
void Cache_Of(Memory_Rig& rig, std::uint64_t cache_bytes, std::int64_t fast, std::int64_t slow) {
  rig.disk.costs.bytes_per_us = fast;
  rig.disk.before = [&rig, cache_bytes, slow](const std::string& op, const std::string&) {
    if (op == "write" && rig.disk.device.written_bytes >= cache_bytes) rig.disk.costs.bytes_per_us = slow;
  };
}

std::int64_t Sum_Of_Samples(const Sustained_Result& result) {
  return std::accumulate(result.curve.begin(), result.curve.end(), std::int64_t{0},
                         [](std::int64_t sum, const Rate_Sample& sample) { return sum + sample.bytes; });
}

}  // namespace

TEST(Rate_Fall_Detector, FindsTheSecondAfterWhichTheRateStaysDown) {
  std::vector<double> noisy, gradual, oscillating;
  for (int i = 0; i < 30; ++i) {
    const double wobble = (i % 3 == 0) ? 1.2 : (i % 3 == 1) ? 0.8 : 1.0;  // +-20 %
    noisy.push_back((i < 12 ? 2000 : 500) * wobble);
    oscillating.push_back(i < 9 ? 2000 : (i % 4 == 0 ? 2100 : 400));  // a fast second now and then
  }
  for (int i = 0; i < 40; ++i) gradual.push_back(2000 - 25 * i);  // a disk's inner tracks
  const Fall_Case cases[] = {
      {"flat", Flat(30, 2000), false, 0},
      {"step", Flat(10, 2000, Flat(20, 500)), true, 10},
      {"noisy plateau and tail", noisy, true, 12},
      {"single slow seconds in the plateau", {2000, 100, 2000, 2000, 100, 2000, 2000, 2000, 500, 500, 500, 500}, true, 8},
      {"a stall that recovers", Flat(5, 2000, Flat(3, 200, Flat(22, 2000))), false, 0},
      {"a fall in the last two seconds", Flat(28, 2000, Flat(2, 500)), false, 0},
      {"fast seconds after the fall", oscillating, true, 9},
      {"gradual decline", gradual, true, 26},  // 70 % of the plateau's 1950
      {"earliest fall that can be told", Flat(3, 2000, Flat(10, 500)), true, 3},
      {"a fall before the plateau is known", Flat(2, 2000, Flat(10, 500)), false, 0},
      {"empty", {}, false, 0},
      {"too short", {2000, 500, 500}, false, 0},
      {"nothing written", Flat(10, 0), false, 0},
  };
  for (const Fall_Case& c : cases) {
    const Rate_Fall fall = Find_Rate_Fall(c.rates);
    EXPECT_EQ(fall.found, c.found) << c.name;
    if (c.found && fall.found) {
      EXPECT_EQ(fall.index, c.index) << c.name;
    }
  }
  const Rate_Fall step = Find_Rate_Fall(Flat(10, 2000, Flat(20, 500)));
  EXPECT_EQ(step.plateau, 2000);
  EXPECT_EQ(step.after, 500);
}

TEST(Sustained_Write, TheCurveShowsWhereTheDrivesCacheRanOut) {
  Memory_Rig rig;
  Cache_Of(rig, 6 * kGiB, 2000, 500);  // 2 GB/s for 6 GiB, then 0.5 GB/s
  const Sustained_Result result = rig.Sustained(12 * kGiB + 12345);
  EXPECT_EQ(result.outcome, Run_Outcome::Completed);
  EXPECT_TRUE(result.error.empty()) << result.error;
  EXPECT_EQ(result.size, 12 * kGiB + 12345);
  EXPECT_EQ(result.written, 12 * kGiB + 12288);  // the last block cut to whole 4 KiB
  EXPECT_EQ(Sum_Of_Samples(result), result.written);
  ASSERT_GE(result.curve.size(), 12u);
  for (std::size_t i = 0; i + 1 < result.curve.size(); ++i) {
    EXPECT_GE(result.curve[i].span_ms, 1000) << i;
    EXPECT_LT(result.curve[i].span_ms, 1100) << i;
  }
  ASSERT_TRUE(result.fall.found);
  const Rate_Sample& before = result.curve[result.fall.index - 1];
  EXPECT_NEAR(static_cast<double>(before.written), 6.0 * kGiB, 2.1e9);
  EXPECT_NEAR(result.fall.plateau, 2000, 50);
  EXPECT_NEAR(result.fall.after, 500, 20);
  EXPECT_EQ(result.check.verdict, Device_Verdict::Device);
  EXPECT_EQ(result.check.device_bytes, result.written);
  EXPECT_TRUE(Logged_In_Order(rig.observer, {"Sustained Write Start", "Target Drive:/srv/scratch",
                                         "Target Folder:" + rig.Folder(), "Sustained Write Size:12.88 GB",
                                         "Creating File:" + rig.Folder() + "/sustained.tmp",
                                         "Transfer Mode:direct (unbuffered)", "Deleting Temp Dir:" + rig.Folder(),
                                         "Sustained Write Finish"}));
  EXPECT_TRUE(rig.observer.Logged_Prefix("The rate fell after "));
  EXPECT_TRUE(rig.Nothing_Left());
  EXPECT_TRUE(rig.observer.events.empty()) << "not a run of the plan: no test of it starts";
}

TEST(Sustained_Write, ItsSizeKeepsTheReserveAndTheCap) {
  struct Size_Case {
    std::int64_t asked, free, size;
  };
  const std::int64_t reserve = kFreeSpaceReserve;
  const Size_Case cases[] = {
      {0, 1000 * kGiB, kSustainedSizeCap},      // 64 GiB at most
      {0, 10 * kGiB, 9 * kGiB},                 // 90 % of the free space
      {0, 30 << 20, (30 << 20) - reserve},      // the reserve comes first
      {5 * kGiB, 10 * kGiB, 5 * kGiB},          // as asked
      {20 * kGiB, 10 * kGiB, 10 * kGiB - reserve},
      {0, 10 << 20, 0},                         // below the reserve: nothing
      {0, -1, 0},                               // the free space unknown
  };
  for (const Size_Case& c : cases)
    EXPECT_EQ(Sustained_Size(c.asked, c.free), c.size) << c.asked << " asked, " << c.free << " free";

  // A drive others fill meanwhile (down to 100 MB free): the write ends at the reserve,
  // with the reason.
  Memory_Rig rig(2 * kGiB);
  int added = 0;
  rig.disk.before = [&](const std::string& op, const std::string&) {
    if (op == "write" && rig.disk.Free() > (100 << 20))
      rig.disk.Add_File("/srv/other/f" + std::to_string(++added), 16 << 20, 0);
  };
  const Sustained_Result result = rig.Sustained(kGiB);
  EXPECT_EQ(result.error, "The free space of " + rig.Folder() + " fell to the 20 MB reserve");
  EXPECT_GE(rig.disk.Lowest_Free(), reserve);
  EXPECT_LT(result.written, kGiB);
  ASSERT_EQ(rig.observer.errors.size(), 1u);
  EXPECT_TRUE(rig.Nothing_Left());
}

TEST(Sustained_Write, StopAndWriteErrorsEndItWithWhatWasMeasured) {
  {  // Stop after three seconds, on a file system that refuses direct transfer
    Memory_Rig rig;
    rig.disk.faults.refuse_direct = true;
    rig.disk.before = [&](const std::string&, const std::string&) {
      if (rig.clock.Elapsed_Ms() > 3500) rig.Stop();
    };
    const Sustained_Result result = rig.Sustained(0);
    EXPECT_EQ(result.outcome, Run_Outcome::Stopped);
    EXPECT_TRUE(result.stopped);
    EXPECT_GE(result.curve.size(), 2u);
    EXPECT_LT(result.written, 10 * kGiB);
    // The data was forced out of the page cache four times a second, and at every sample's end.
    EXPECT_GE(rig.disk.counts.cache_drops, 4 * static_cast<long long>(result.curve.size() - 1));
    EXPECT_TRUE(rig.Nothing_Left());
  }
  {  // The disk fails after 2 GiB
    Memory_Rig rig;
    rig.disk.before = [&](const std::string& op, const std::string&) {
      if (op == "write" && rig.disk.device.written_bytes >= 2 * kGiB) rig.disk.faults.write_error = EIO;
    };
    const Sustained_Result result = rig.Sustained(4 * kGiB);
    EXPECT_EQ(result.outcome, Run_Outcome::Completed);
    EXPECT_GE(result.written, 2 * kGiB);
    EXPECT_LT(result.written, 4 * kGiB);
    EXPECT_EQ(static_cast<std::uint64_t>(result.written), rig.disk.device.written_bytes);  // the failed block is not counted
    EXPECT_EQ(result.error, "Error writing file " + rig.Folder() + "/sustained.tmp: Input/output error");
    EXPECT_EQ(rig.observer.errors, std::vector<std::string>{result.error});
    EXPECT_TRUE(rig.Nothing_Left());
  }
}
