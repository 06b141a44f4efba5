// The run's progress: the time left from the plan and from the time that really passed, and
// what a whole run on the in-memory disk shows to its observer, driven by the hand clock.
#include <gtest/gtest.h>

#include <algorithm>

#include "engine/run_progress.h"
#include "memory_rig.h"

namespace {

constexpr double kMsPerDay = 86'400'000.0;
constexpr TDateTime kStart = 46000.5;

TDateTime At(std::int64_t ms) { return kStart + static_cast<double>(ms) / kMsPerDay; }

std::array<bool, 9> Pairs(std::initializer_list<int> selected) {
  std::array<bool, 9> pairs{};
  for (int pair : selected) pairs[static_cast<std::size_t>(pair)] = true;
  return pairs;
}

}  // namespace

TEST(Run_Progress_Test, ThePlanGivesTheTestsAndTheirTime) {
  struct Case {
    std::array<bool, 9> pairs;
    int seconds;
    int total;
    std::int64_t left;  // at the start, the pause after Start included
  };
  const Case cases[] = {
      {Pairs({0, 1, 2, 3, 4, 5, 6, 7, 8}), 20, 18, 1 + 380 + 3},  // the write twice, seventeen tests once, the pauses
      {Pairs({0}), 10, 2, 1 + 30 + 3},
      {Pairs({3}), 1, 2, 1 + 2},
      {Pairs({1, 8}), 200, 4, 1 + 800},
      {Pairs({}), 20, 0, 1},
  };
  for (const Case& c : cases) {
    Run_Progress progress;
    progress.Begin(c.pairs, c.seconds, At(0), 1000);
    EXPECT_EQ(progress.Total(), c.total) << c.seconds;
    EXPECT_EQ(progress.Done(), 0);
    EXPECT_EQ(progress.Seconds_Left(At(0)), c.left) << c.seconds;
    EXPECT_EQ(progress.Seconds_Left(At(1000)), c.left - 1) << c.seconds;  // the pause is over
  }
}

TEST(Run_Progress_Test, TheTimeLeftCountsDownWithTheRunningTestAndNeverRises) {
  Run_Progress progress;
  progress.Begin(Pairs({0}), 10, At(0), 1000);  // the write 20 s and 1.5 s, the read 10 s and 1 s
  EXPECT_EQ(progress.Seconds_Left(At(0)), 34);  // 33.5, rounded up
  EXPECT_EQ(progress.Seconds_Left(At(500)), 33);
  // The pause took longer than planned (a slow folder to clean): the figure holds.
  EXPECT_EQ(progress.Seconds_Left(At(2000)), 33);
  progress.Test_Started(0, At(2000));
  EXPECT_EQ(progress.Seconds_Left(At(2000)), 33);
  EXPECT_EQ(progress.Seconds_Left(At(7000)), 28);
  EXPECT_EQ(progress.Seconds_Left(At(23500)), 11);  // the write's planned time is up
  // The write runs over by 4 s: the figure holds at the read's time, it never rises.
  EXPECT_EQ(progress.Seconds_Left(At(27500)), 11);
  progress.Test_Finished(0, At(27500));
  EXPECT_EQ(progress.Done(), 1);
  // The clean-up between the tests holds it too.
  EXPECT_EQ(progress.Seconds_Left(At(30000)), 11);
  progress.Test_Started(1, At(30000));
  EXPECT_EQ(progress.Seconds_Left(At(30000)), 11);
  EXPECT_EQ(progress.Seconds_Left(At(35000)), 6);
  progress.Test_Finished(1, At(36000));  // the read ended early: the file was read whole
  EXPECT_EQ(progress.Done(), 2);
  EXPECT_EQ(progress.Seconds_Left(At(36000)), 0);
}

TEST(Run_Progress_Test, TheTimeLeftReadsAsAUserExpects) {
  const std::pair<std::int64_t, const char*> cases[] = {
      {0, "0 s left"},     {59, "59 s left"},       {60, "1:00 left"},        {365, "6:05 left"},
      {3599, "59:59 left"}, {3723, "1:02:03 left"}, {-4, "0 s left"},
  };
  for (const auto& [seconds, text] : cases) EXPECT_EQ(Time_Left_Text(seconds), text) << seconds;
}

TEST(Run_Progress_Test, AWholeRunShowsEveryTestDoneAndTheTimeCountingDown) {
  Memory_Rig rig;
  rig.Only({3});
  rig.Run(10);
  const std::vector<Fake_Observer::Progress_Seen>& shown = rig.observer.progress;
  ASSERT_FALSE(shown.empty());
  EXPECT_EQ(shown.front(), (Fake_Observer::Progress_Seen{0, 2, 21}));  // the pause after Start, then the tests
  EXPECT_EQ(shown.back(), (Fake_Observer::Progress_Seen{2, 2, 0}));
  for (std::size_t i = 1; i < shown.size(); ++i) {
    EXPECT_EQ(shown[i].total, 2);
    EXPECT_GE(shown[i].done, shown[i - 1].done);
    EXPECT_NE(shown[i], shown[i - 1]) << "only a change is shown";
  }
  // Within each test the time left counts down second by second through its 10 s, and over
  // the whole run it never rises.
  for (int done : {0, 1}) {
    std::vector<std::int64_t> left;
    for (const Fake_Observer::Progress_Seen& p : shown)
      if (p.done == done) left.push_back(p.seconds_left);
    ASSERT_GE(left.size(), 10u) << done;
    EXPECT_GE(*std::max_element(left.begin(), left.end()) - *std::min_element(left.begin(), left.end()), 9) << done;
    for (std::size_t i = 1; i < left.size(); ++i) EXPECT_GE(left[i] - left[i - 1], -2) << done << " at " << i;
  }
  for (std::size_t i = 1; i < shown.size(); ++i)
    EXPECT_LE(shown[i].seconds_left, shown[i - 1].seconds_left) << "at " << i;
  EXPECT_EQ(rig.result.outcome, Run_Outcome::Completed);
}

TEST(Run_Progress_Test, AStoppedRunShowsNoMoreProgress) {
  Memory_Rig rig;
  std::size_t shown_at_stop = 0;
  rig.observer.on_call = [&] {
    if (rig.clock.Elapsed_Ms() > 3000 && shown_at_stop == 0) {
      rig.Stop();
      shown_at_stop = rig.observer.progress.size();
    }
  };
  rig.Run(2);
  ASSERT_GT(shown_at_stop, 0u);
  EXPECT_EQ(rig.observer.progress.size(), shown_at_stop);
  EXPECT_EQ(rig.result.outcome, Run_Outcome::Stopped);
}
