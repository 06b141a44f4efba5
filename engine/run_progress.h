// How far a run has come and how long it still takes: the plan's times (the sequential
// write up to twice the test time, every other test once, the plan's fixed pauses, the
// selected pairs only), corrected by the time the running test has taken so far. The time
// left never rises: a test that runs over its time holds it until the test ends.
#pragma once

#include <array>
#include <cstdint>
#include <string>

#include "common/global_functions.h"
#include "common/run_result.h"

class Run_Progress {
 public:
  // The pause after Start before the first test, and the pauses the sequential tests make
  // after their transfers (a second each, and half a second more after the write).
  static constexpr std::int64_t kWritePauseMs = 1500;
  static constexpr std::int64_t kReadPauseMs = 1000;

  // A run of the selected pairs with seconds per test, beginning at now with a pause of
  // pause_ms before its first test.
  void Begin(const Pair_Selection& pairs, int seconds, TDateTime now, std::int64_t pause_ms);
  void Test_Started(int position, TDateTime now);
  void Test_Finished(int position, TDateTime now);

  int Done() const { return done_; }
  int Total() const { return total_; }
  // Whole seconds (rounded up) the run still takes as far as can be told at now.
  std::int64_t Seconds_Left(TDateTime now) const;

 private:
  std::int64_t Planned_Ms(int position) const;

  std::array<bool, kPlannedTestCount> selected_{};
  std::array<bool, kPlannedTestCount> started_{};
  std::int64_t test_ms_ = 0;
  TDateTime begin_ = 0;
  std::int64_t pause_ms_ = 0;
  bool any_started_ = false;
  int done_ = 0;
  int total_ = 0;
  // The test running now (-1 between tests) and when it started.
  int current_ = -1;
  TDateTime current_start_ = 0;
};

// The time left as the window and the runner show it: "45 s left", "6:05 left",
// "1:02:03 left".
std::string Time_Left_Text(std::int64_t seconds);
