// The run's progress: tests done of the plan and the time left, from the plan's times and
// the time that really passed; and the way the time left is written.
#include "engine/run_progress.h"

#include <algorithm>
#include <cstdio>

namespace {

bool Valid(int position) { return position >= 0 && position < 18; }

}  // namespace

void Run_Progress::Begin(const std::array<bool, 9>& pairs, int seconds) {
  *this = Run_Progress();
  test_ms_ = static_cast<std::int64_t>(std::max(seconds, 0)) * 1000;
  for (int position = 0; position < 18; ++position) {
    selected_[static_cast<std::size_t>(position)] = pairs[static_cast<std::size_t>(position / 2)];
    total_ += selected_[static_cast<std::size_t>(position)] ? 1 : 0;
  }
}

std::int64_t Run_Progress::Planned_Ms(int position) const { return position == 0 ? 2 * test_ms_ : test_ms_; }

void Run_Progress::Test_Started(int position, TDateTime now) {
  if (!Valid(position)) return;
  if (current_ < 0 && std::none_of(started_.begin(), started_.end(), [](bool b) { return b; })) first_start_ = now;
  current_ = position;
  current_start_ = now;
  started_[static_cast<std::size_t>(position)] = true;
}

void Run_Progress::Test_Finished(int position, TDateTime now) {
  if (!Valid(position) || position != current_) return;
  in_tests_ms_ += std::min(Milliseconds_Between(current_start_, now), Planned_Ms(position));
  current_ = -1;
  done_ = std::min(done_ + 1, total_);
}

std::int64_t Run_Progress::Seconds_Left(TDateTime now) const {
  std::int64_t left_ms = 0;
  int to_start = 0;
  for (int position = 0; position < 18; ++position) {
    if (!selected_[static_cast<std::size_t>(position)] || started_[static_cast<std::size_t>(position)]) continue;
    left_ms += Planned_Ms(position);
    ++to_start;
  }
  std::int64_t current_ms = 0;
  if (current_ >= 0) {
    current_ms = std::min(Milliseconds_Between(current_start_, now), Planned_Ms(current_));
    left_ms += Planned_Ms(current_) - current_ms;
  }
  // Pauses and clean-ups since the first test, spread over the tests started so far, come
  // again with each test still to start. (What came before the first test, the pause after
  // Start and the folder's preparation, comes once.)
  const int so_far = total_ - to_start;
  if (so_far > 0) {
    const std::int64_t outside_ms = Milliseconds_Between(first_start_, now) - in_tests_ms_ - current_ms;
    left_ms += std::max<std::int64_t>(outside_ms, 0) * to_start / so_far;
  }
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
