// The run's progress: tests done of the plan and the time left, from the plan's times and
// the time the running test has taken; and the way the time left is written.
#include "engine/run_progress.h"

#include <algorithm>
#include <cstdio>

namespace {

bool Valid(int position) { return position >= 0 && position < kPlannedTestCount; }

}  // namespace

void Run_Progress::Begin(const Pair_Selection& pairs, int seconds, TDateTime now, std::int64_t pause_ms) {
  *this = Run_Progress();
  test_ms_ = static_cast<std::int64_t>(std::max(seconds, 0)) * 1000;
  begin_ = now;
  pause_ms_ = std::max<std::int64_t>(pause_ms, 0);
  for (int position = 0; position < kPlannedTestCount; ++position) {
    selected_[static_cast<std::size_t>(position)] = pairs[static_cast<std::size_t>(position / 2)];
    total_ += selected_[static_cast<std::size_t>(position)] ? 1 : 0;
  }
}

std::int64_t Run_Progress::Planned_Ms(int position) const {
  if (position == 0) return 2 * test_ms_ + kWritePauseMs;
  if (position == 1) return test_ms_ + kReadPauseMs;
  return test_ms_;
}

void Run_Progress::Test_Started(int position, TDateTime now) {
  if (!Valid(position)) return;
  any_started_ = true;
  current_ = position;
  current_start_ = now;
  started_[static_cast<std::size_t>(position)] = true;
}

void Run_Progress::Test_Finished(int position, TDateTime) {
  if (!Valid(position) || position != current_) return;
  current_ = -1;
  done_ = std::min(done_ + 1, total_);
}

std::int64_t Run_Progress::Seconds_Left(TDateTime now) const {
  std::int64_t left_ms = 0;
  for (int position = 0; position < kPlannedTestCount; ++position)
    if (selected_[static_cast<std::size_t>(position)] && !started_[static_cast<std::size_t>(position)])
      left_ms += Planned_Ms(position);
  // The running test counts with what is left of its planned time; one that runs over it
  // holds the figure instead of raising it. The pause after Start counts down the same way.
  if (current_ >= 0)
    left_ms += std::max<std::int64_t>(Planned_Ms(current_) - Milliseconds_Between(current_start_, now), 0);
  else if (!any_started_)
    left_ms += std::max<std::int64_t>(pause_ms_ - Milliseconds_Between(begin_, now), 0);
  return (left_ms + 999) / 1000;
}

std::string Time_Left_Text(std::int64_t seconds) {
  seconds = std::max<std::int64_t>(seconds, 0);
  char text[48];
  if (seconds < 60)
    std::snprintf(text, sizeof text, "%lld s left", static_cast<long long>(seconds));
  else if (seconds < 3600)
    std::snprintf(text, sizeof text, "%lld:%02lld left", static_cast<long long>(seconds / 60),
                  static_cast<long long>(seconds % 60));
  else
    std::snprintf(text, sizeof text, "%lld:%02lld:%02lld left", static_cast<long long>(seconds / 3600),
                  static_cast<long long>(seconds / 60 % 60), static_cast<long long>(seconds % 60));
  return text;
}
