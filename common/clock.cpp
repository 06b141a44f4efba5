#include "common/clock.h"

#include <time.h>

#include <algorithm>
#include <chrono>
#include <thread>

namespace {

struct Clock_Anchor {
  TDateTime day = 0;
  std::chrono::steady_clock::time_point steady;
};

// Reads the wall clock once, together with the monotonic clock it is later advanced by.
Clock_Anchor Take_Anchor() {
  using namespace std::chrono;
  Clock_Anchor anchor;
  anchor.steady = steady_clock::now();
  const auto wall = system_clock::now();
  const auto whole = floor<seconds>(wall);
  const double fraction = duration<double>(wall - whole).count();
  const time_t unix_seconds = system_clock::to_time_t(time_point_cast<system_clock::duration>(whole));
  struct tm local {};
  const long offset = ::localtime_r(&unix_seconds, &local) != nullptr ? local.tm_gmtoff : 0;
  anchor.day = Day_Count_From_Time(unix_seconds, offset) + fraction / 86400.0;
  return anchor;
}

}  // namespace

TDateTime Now() {
  static const Clock_Anchor anchor = Take_Anchor();
  const double elapsed = std::chrono::duration<double>(std::chrono::steady_clock::now() - anchor.steady).count();
  return anchor.day + elapsed / 86400.0;
}

TDateTime Day_Count_From_Time(std::int64_t unix_seconds, long gmt_offset_seconds) {
  return static_cast<double>(unix_seconds + gmt_offset_seconds) / 86400.0 + 25569.0;
}

namespace {

class System_Time : public Clock {
 public:
  TDateTime Now() override { return ::Now(); }
  void Sleep(int milliseconds) override { std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds)); }
  std::int64_t Steady_Ns() override {
    return std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
  }
};

}  // namespace

Clock& System_Clock() {
  static System_Time clock;
  return clock;
}

void Wait_With_Messages(int seconds, const Message_Pump& pump, Clock& clock) {
  const long long steps = std::max(1LL, static_cast<long long>(seconds) * 10);
  for (long long step = 0; step < steps; ++step) {
    clock.Sleep(100);
    if (pump) pump();
  }
}
