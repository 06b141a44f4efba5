// The peak tests on the in-memory disk with the hand clock: the order of the tests, their
// time limits, the depths they keep, exact rates and latencies, Stop at every step, the
// free-space reserve and the device's faults, each run in milliseconds and without root.
#include <gtest/gtest.h>

#include <cerrno>

#include "memory_rig.h"
#include "peak_recorder.h"

namespace {

constexpr std::int64_t kMiB = 1 << 20;

struct Peak_Rig : Memory_Rig {
  explicit Peak_Rig(std::int64_t capacity = 100'000'000'000LL) : Memory_Rig(capacity) {
    request.drive = work;
    request.size = 64 * kMiB;
    request.os = &disk;
    request.clock = &clock;
    disk.io.parallel = 4;
  }
  Peak_Result Run() { return Run_Peak(request, recorder, stop.get_token()); }
  // Presses Stop; the time it was pressed is kept.
  void Stop() {
    stop_ns = clock.Steady_Ns();
    stop.request_stop();
  }

  Peak_Request request;
  Peak_Recorder recorder{clock};
  std::stop_source stop;
  std::int64_t stop_ns = -1;
};

// The figures a test gives on a device of four lanes that take per_io_us for each transfer.
struct Expected {
  const char* key;
  double per_io_us;
  double p50_us;
  double iops;
};

}  // namespace

TEST(Peak_Plan, RunsTheEightTestsInOrderForTheirTimeAtTheirDepth) {
  Peak_Rig rig;
  rig.disk.io.sync_us = 200'000;  // a drive whose cache takes 0.2 s to write out
  const Peak_Result result = rig.Run();

  ASSERT_EQ(result.outcome, Peak_Outcome::Completed) << result.error;
  EXPECT_EQ(result.engine, "memory");
  EXPECT_TRUE(result.direct);
  EXPECT_EQ(result.size, 64 * kMiB);
  EXPECT_EQ(rig.recorder.started, (std::vector<int>{0, 1, 2, 3, 4, 5, 6, 7}));
  // 1 MiB takes 50 + 1048 us, 4 KiB 50 + 4 us; four lanes serve a deeper queue in turns.
  const Expected expected[] = {
      {"SEQ1M-Q8T1-R", 1098, 2 * 1098, 4e6 / 1098}, {"SEQ1M-Q8T1-W", 1098, 2 * 1098, 4e6 / 1098},
      {"SEQ1M-Q1T1-R", 1098, 1098, 1e6 / 1098},     {"SEQ1M-Q1T1-W", 1098, 1098, 1e6 / 1098},
      {"RND4K-Q32T1-R", 54, 8 * 54, 4e6 / 54},      {"RND4K-Q32T1-W", 54, 8 * 54, 4e6 / 54},
      {"RND4K-Q1T1-R", 54, 54, 1e6 / 54},           {"RND4K-Q1T1-W", 54, 54, 1e6 / 54},
  };
  ASSERT_EQ(result.tests.size(), 8u);
  for (std::size_t i = 0; i < 8; ++i) {
    const Peak_Test_Result& test = result.tests[i];
    const Peak_Test& plan = kPeakTests[i];
    const Expected& e = expected[i];
    SCOPED_TRACE(e.key);
    EXPECT_EQ(test.key, e.key);
    EXPECT_TRUE(test.note.empty()) << test.note;
    // Five seconds after the warm-up, up to the completions still in flight at the end.
    const std::int64_t measured_ns = test.span_ns - test.sync_ns;
    EXPECT_GE(measured_ns, 5'000'000'000);
    EXPECT_LE(measured_ns, 5'000'000'000 + static_cast<std::int64_t>(plan.depth * e.per_io_us * 1000));
    EXPECT_EQ(test.sync_ns, plan.write ? 200'050'000 : 0);  // a write's flush is inside its span
    EXPECT_NEAR(test.ios * 1e9 / static_cast<double>(measured_ns), e.iops, e.iops * 0.002);
    EXPECT_EQ(test.bytes, test.ios * plan.block);
    for (double p : {test.p50_us, test.p99_us, test.p999_us}) EXPECT_NEAR(p, e.p50_us, e.p50_us * 0.01);
    EXPECT_EQ(test.check.verdict, Device_Verdict::Device);
    if (!plan.write) {
      EXPECT_EQ(test.check.device_bytes, test.bytes);
    }
    // The queue was kept full, and never fuller.
    EXPECT_EQ(rig.recorder.Most_In_Flight(static_cast<int>(i)), plan.depth);
  }
  EXPECT_EQ(rig.disk.io.most_in_flight, 32u);
  // A pause of a second between the tests, a warm-up of a second before each timed span.
  for (std::size_t i = 1; i < 8; ++i) EXPECT_GE(rig.recorder.started_ns[i] - rig.recorder.finished_ns[i - 1], 1'000'000'000);
  EXPECT_NEAR(static_cast<double>(rig.clock.Elapsed_Ms()), 64 * 1098 / 4 / 1000.0 + 8 * 6000 + 7 * 1000 + 4 * 200, 300);
  for (const char* line : {"Peak Start", "Target Drive:/srv/scratch", "Target Folder:/srv/scratch/_Quillorane",
                           "Peak Test File Size:67.11 MB", "Creating File:/srv/scratch/_Quillorane/peak.tmp",
                           "Transfer Mode:direct (unbuffered)", "I/O Engine:memory", "Test File Written:67.11 MB",
                           "SEQ1M-Q8T1-R Start", "RND4K-Q1T1-W Finish", "Deleting Temp Dir:/srv/scratch/_Quillorane",
                           "Peak Finish"})
    EXPECT_TRUE(rig.recorder.Logged(line)) << line;
  EXPECT_TRUE(rig.Nothing_Left());
  // Written once whole before the first read, then only overwritten in place.
  EXPECT_EQ(rig.disk.Lowest_Free(), rig.disk.Free() - 64 * kMiB);
}

TEST(Peak_Plan, StopEndsTheRunAtEveryStep) {
  struct Stop_Case {
    const char* where;
    int test;          // the test at whose step Stop is pressed
    Peak_Phase phase;  // Warm_Up: as the test starts
    std::size_t measured;  // tests with a result afterwards
  };
  std::vector<Stop_Case> cases = {{"during the fill", -1, Peak_Phase::Fill, 0}};
  for (int i = 0; i < 8; ++i) {
    cases.push_back({"as a test starts", i, Peak_Phase::Warm_Up, static_cast<std::size_t>(i)});
    cases.push_back({"in a timed span", i, Peak_Phase::Measure, static_cast<std::size_t>(i) + 1});
    if (i > 0) cases.push_back({"in the pause before a test", i, Peak_Phase::Pause, static_cast<std::size_t>(i)});
  }
  for (const Stop_Case& c : cases) {
    SCOPED_TRACE(std::string(c.where) + " " + std::to_string(c.test));
    Peak_Rig rig;
    rig.disk.costs.bytes_per_us = 25;  // the fill takes 0.7 s, long enough to report on it
    rig.request.test_ms = 1000;
    rig.request.warmup_ms = 200;
    rig.recorder.on_started = [&](int index) {
      if (c.phase == Peak_Phase::Warm_Up && index == c.test) rig.Stop();
    };
    rig.recorder.on_progress = [&](const Peak_Progress& p) {
      if (c.phase != Peak_Phase::Warm_Up && p.phase == c.phase && p.test == c.test && rig.stop_ns < 0) rig.Stop();
    };
    const Peak_Result result = rig.Run();
    EXPECT_EQ(result.outcome, Peak_Outcome::Stopped);
    ASSERT_EQ(result.tests.size(), c.measured);
    if (c.phase == Peak_Phase::Measure) {
      EXPECT_TRUE(result.tests.back().stopped);
      EXPECT_GT(result.tests.back().ios, 0);
    }
    // Nothing after the stopped step starts, and the run ends within a wait.
    EXPECT_EQ(rig.recorder.started.size(), c.phase == Peak_Phase::Pause ? static_cast<std::size_t>(c.test)
                                                                         : static_cast<std::size_t>(c.test + 1));
    EXPECT_LE(rig.clock.Steady_Ns() - rig.stop_ns, 110'000'000);
    EXPECT_TRUE(rig.recorder.Logged("Abort on user request!!!!!!!!!!!!!!!!!!"));
    EXPECT_TRUE(rig.Nothing_Left());
  }
}

TEST(Peak_Plan, TheTestFileNeverTakesTheReserve) {
  struct Size_Case {
    std::int64_t asked, free, size;
  };
  const std::int64_t room = kFreeSpaceReserve + 8 * kMiB;  // the reserve and the file system's slack
  const Size_Case cases[] = {
      {1LL << 30, 100LL << 30, 1LL << 30},                // as asked
      {1, 100LL << 30, 64 * kMiB},                        // at least 64 MiB
      {1LL << 40, 1LL << 40, 64LL << 30},                 // at most 64 GiB
      {(100 * kMiB) + 12345, 100LL << 30, 100 * kMiB},    // whole MiB
      {1LL << 30, room + 100 * kMiB + 5, 100 * kMiB},     // what fits
      {1LL << 30, room + 64 * kMiB, 64 * kMiB},
      {1LL << 30, room + 64 * kMiB - 1, 0},               // less than 64 MiB fit: none
      {1LL << 30, -1, 0},                                 // the free space unknown
  };
  for (const Size_Case& c : cases) EXPECT_EQ(Peak_File_Size(c.asked, c.free), c.size) << c.asked << " " << c.free;

  {  // A drive with room for less than asked: the file is cut, and the user told why.
    Peak_Rig rig(200 * kMiB);
    rig.request.size = 1LL << 30;
    rig.request.test_ms = 200;
    const Peak_Result result = rig.Run();
    EXPECT_EQ(result.outcome, Peak_Outcome::Completed);
    EXPECT_EQ(result.size, 172 * kMiB);
    EXPECT_EQ(result.note, "Only 180.36 MB of 1.07 GB fit for the test file: 209.72 MB free, 20.97 MB must stay free");
    EXPECT_GE(rig.disk.Lowest_Free(), kFreeSpaceReserve);
    EXPECT_TRUE(rig.Nothing_Left());
  }
  {  // No room for the smallest file: refused before anything is written.
    Peak_Rig rig(90 * kMiB);
    const Peak_Result result = rig.Run();
    EXPECT_EQ(result.outcome, Peak_Outcome::Refused);
    EXPECT_EQ(result.error,
              "Not enough free space in /srv/scratch/_Quillorane for a test file of at least 67.11 MB: 94.37 MB free, "
              "20.97 MB must stay free");
    EXPECT_EQ(rig.disk.counts.writes, 0);
    EXPECT_TRUE(rig.recorder.started.empty());
    EXPECT_TRUE(rig.Nothing_Left());
  }
  {  // Others fill the drive while the file is written: the fill ends at the reserve.
    Peak_Rig rig(1LL << 30);
    rig.request.size = 512 * kMiB;
    rig.disk.costs.bytes_per_us = 100;
    int filler = 0;
    rig.recorder.on_progress = [&](const Peak_Progress& p) {
      if (p.phase == Peak_Phase::Fill && rig.disk.Free() > 250 * kMiB) rig.disk.Add_File("/srv/other/f" + std::to_string(++filler), 200 * kMiB, 0);
    };
    const Peak_Result result = rig.Run();
    EXPECT_EQ(result.outcome, Peak_Outcome::Failed);
    EXPECT_EQ(result.error, "The free space fell to the 20.97 MB that must stay free while "
                            "/srv/scratch/_Quillorane/peak.tmp was written");
    EXPECT_GE(rig.disk.Lowest_Free(), kFreeSpaceReserve);
    EXPECT_TRUE(rig.recorder.started.empty());
    EXPECT_TRUE(rig.Nothing_Left());
  }
}

TEST(Peak_Plan, ADeviceErrorOrAHungDeviceEndsTheTestWithTheReason) {
  Peak_Rig rig;
  rig.request.test_ms = 1000;
  const std::string file = "/srv/scratch/_Quillorane/peak.tmp";
  std::int64_t hung_from = 0;
  rig.recorder.on_started = [&](int index) {
    if (index == 0) rig.disk.faults.read_error = EIO;
    if (index == 3) rig.disk.faults.flush_error = EIO;
    if (index == 4) {
      rig.disk.io.hang = true;
      hung_from = rig.clock.Steady_Ns();
    }
  };
  rig.recorder.on_finished = [&](const Peak_Test_Result& test) {
    rig.disk.faults = {};
    if (test.index == 4) {
      EXPECT_GE(rig.clock.Steady_Ns() - hung_from, 31'000'000'000);  // the test, then 30 s more
    }
    rig.disk.io.hang = false;
  };
  const Peak_Result result = rig.Run();
  EXPECT_EQ(result.outcome, Peak_Outcome::Completed);
  ASSERT_EQ(result.tests.size(), 8u);
  EXPECT_EQ(result.tests[0].note, "Error reading file " + file + " at 0: Input/output error");
  EXPECT_EQ(result.tests[0].ios, 0);  // no transfer after the first error
  EXPECT_EQ(result.tests[3].note, "Error flushing file " + file + ": Input/output error");
  EXPECT_EQ(result.tests[4].note, "The device did not complete 32 transfers on " + file + " within 30 s");
  for (int i : {1, 2, 5, 6, 7}) EXPECT_TRUE(result.tests[static_cast<std::size_t>(i)].note.empty()) << i;
  EXPECT_TRUE(rig.recorder.Logged("Error reading file " + file + " at 0: Input/output error"));
  EXPECT_TRUE(rig.Nothing_Left());

  // A device that hangs while the file is written: Stop waits 30 s for it, then gives up.
  Peak_Rig hung;
  hung.disk.io.hang = true;
  hung.recorder.on_progress = [&](const Peak_Progress&) {
    if (hung.stop_ns < 0) hung.Stop();
  };
  const Peak_Result stopped = hung.Run();
  EXPECT_EQ(stopped.outcome, Peak_Outcome::Failed);
  EXPECT_EQ(stopped.error, "The device did not complete 8 transfers on " + file + " within 30 s");
  EXPECT_NEAR(static_cast<double>(hung.clock.Steady_Ns() - hung.stop_ns), 30e9, 0.2e9);
  EXPECT_TRUE(hung.Nothing_Left());

  // Another run holds the work folder: refused before anything is touched.
  Peak_Rig busy;
  platform::Run_Folder other;
  std::string reason;
  ASSERT_EQ(other.Claim(busy.disk, busy.work, kTempFolderName, reason), platform::Claim_Status::Claimed);
  const Peak_Result refused = busy.Run();
  EXPECT_EQ(refused.outcome, Peak_Outcome::Refused);
  EXPECT_EQ(refused.error, "Another run is using /srv/scratch/_Quillorane");
  EXPECT_EQ(busy.disk.counts.creates, 0);
}
