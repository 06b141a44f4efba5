// How far a run has come and how long it still takes: the plan's times (the sequential
// write up to twice the test time, every other test once, the selected pairs only),
// corrected by the time that really passed in the tests and between them.
#pragma once

#include <array>
#include <cstdint>
#include <string>

#include "common/global_functions.h"

class Run_Progress {
 public:
  // A run of the selected pairs (pair k = tests 2k and 2k+1) with seconds per test, from now.
  void Begin(const std::array<bool, 9>& pairs, int seconds);
  void Test_Started(int position, TDateTime now);
  void Test_Finished(int position, TDateTime now);

  int Done() const { return done_; }
  int Total() const { return total_; }
  // Whole seconds (rounded up) the run still takes as far as can be told at now.
  std::int64_t Seconds_Left(TDateTime now) const;

 private:
  std::int64_t Planned_Ms(int position) const;

  std::array<bool, 18> selected_{};
  std::int64_t test_ms_ = 0;
  TDateTime first_start_ = 0;
  int done_ = 0;
  int total_ = 0;
  // The test running now (-1 between tests), when it started, and every test started so far.
  int current_ = -1;
  TDateTime current_start_ = 0;
  std::array<bool, 18> started_{};
  // The time the finished tests took, each counted up to its planned time: the rest of the
  // time that passed went to pauses and clean-ups, which later tests will have too.
  std::int64_t in_tests_ms_ = 0;
};

// The time left as the window and the runner show it: "45 s left", "6:05 left",
// "1:02:03 left".
std::string Time_Left_Text(std::int64_t seconds);
