// A run of the plan as a value: what the user asked for, and what each of the eighteen tests
// measured. The engine makes it; the window, the runner, the grid, the exports and the report
// all take the same value.
#pragma once

#include <array>
#include <cstdint>
#include <string>

#include "common/device_check.h"
#include "common/planned_tests.h"

// The number of tests in the plan, and of pairs (pair k = tests 2k and 2k + 1).
inline constexpr int kPlannedTestCount = static_cast<int>(kPlannedTests.size());
inline constexpr int kPlannedPairCount = kPlannedTestCount / 2;

using Pair_Selection = std::array<bool, kPlannedPairCount>;

// What a run is asked to do.
struct Run_Request {
  std::string drive;  // the drive's mount point (the runner: a folder on it)
  int seconds = 20;   // test time, 0 to 200
  Pair_Selection pairs{true, true, true, true, true, true, true, true, true};
  // Whether the run works in the very folder it is given (the runner's --target) or, when the
  // user cannot write there, refuses; otherwise (a drive of the window's list) it may work in
  // another folder of that drive that the user can write to.
  bool exact_folder = false;
};

// How a run ended: refused before its tests (no folder, another run on it), stopped, or
// completed. None: it has not run.
enum class Run_Outcome { None, Refused, Stopped, Completed };

// One test's result.
struct Test_Result {
  std::string key;     // the key the rate is reported under ("WRITE", "512BW", ...)
  double rate = -1.0;  // MB/s (1 MB = 1,000,000 bytes); below 0: the test did not measure
  Device_Check check;  // whether the device or a cache answered
  std::string note;    // why the test measured nothing, when it is known; empty otherwise
  bool Measured() const { return rate >= 0; }
};

struct Run_Result {
  Run_Result();  // every test without a result, under its key
  Run_Outcome outcome = Run_Outcome::None;
  std::string drive;  // as asked
  int seconds = 0;    // the test time the run used
  std::array<Test_Result, kPlannedTestCount> tests;
  std::string error;  // why a refused run did not start
  std::string cleanup_failure;  // why the run's folder was left behind at the end; empty when it went
  bool Stopped() const { return outcome == Run_Outcome::Stopped; }
};
