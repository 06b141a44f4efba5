// The program's clock. Timestamps keep the day-count form, but they advance with a
// monotonic clock anchored once to the wall clock, so a clock change or a daylight-saving
// switch never bends a measured span. Code that measures takes a Clock, so that tests can
// drive time by hand.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>

#include "common/global_functions.h"

// The current time as a day count (see TDateTime).
TDateTime Now();

// A wall-clock time_t as a local day count.
TDateTime Day_Count_From_Time(std::int64_t unix_seconds, long gmt_offset_seconds);

class Clock {
 public:
  virtual ~Clock() = default;
  virtual TDateTime Now() = 0;
  // Waits; the caller's thread does nothing else meanwhile.
  virtual void Sleep(int milliseconds) = 0;
  // Nanoseconds of a monotonic clock, for spans too short for a day count (a transfer's
  // latency): only differences mean anything.
  virtual std::int64_t Steady_Ns() { return static_cast<std::int64_t>(Now() * 86'400'000'000'000.0); }
};

// The running system's clock (Now() above, and real sleeps).
Clock& System_Clock();

// A clock that moves only when told to: for tests, where a run of minutes takes
// milliseconds. Sleeping moves it by the time slept.
class Hand_Clock : public Clock {
 public:
  TDateTime Now() override { return start_ + static_cast<double>(elapsed_us_) / 86'400'000'000.0; }
  void Sleep(int milliseconds) override {
    if (on_sleep) on_sleep(milliseconds);
    Advance_Us(static_cast<std::int64_t>(milliseconds) * 1000);
  }
  std::int64_t Steady_Ns() override { return elapsed_us_ * 1000; }
  void Advance_Us(std::int64_t microseconds) { elapsed_us_ += microseconds; }
  std::int64_t Elapsed_Ms() const { return elapsed_us_ / 1000; }
  // Called at the start of every sleep, with its length: a test acts inside a wait here.
  std::function<void(int)> on_sleep;

 private:
  TDateTime start_ = 46000.5;  // a fixed day, so that every test sees the same times
  std::atomic<std::int64_t> elapsed_us_ = 0;  // advanced by a run on its worker
};

// Sleeps 100 ms and pumps messages, again and again, until seconds have passed, on the
// given clock; at least one step.
void Wait_With_Messages(int seconds, const Message_Pump& pump, Clock& clock);
