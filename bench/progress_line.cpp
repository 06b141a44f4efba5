// The runner's progress line on a terminal: drawn over in place with a carriage return and
// an erase, so that it stays one line however often the run changes it.
#include "bench/progress_line.h"

#include <algorithm>

#include "common/global_functions.h"
#include "common/plain_text.h"
#include "engine/run_progress.h"

namespace {

// Back to the start of the line and erase it.
constexpr const char* kRewind = "\r\x1b[K";

}  // namespace

void Progress_Line::Show_Progress(int done, int total, std::int64_t seconds_left) {
  done_ = done;
  total_ = total;
  seconds_left_ = seconds_left;
  Draw();
}

void Progress_Line::Show_Activity(const std::string& text) {
  if (text.empty() || text == activity_) return;
  activity_ = text;
  if (shown_) Draw();
}

void Progress_Line::Print_Line(const std::string& text) {
  err_ << (shown_ ? kRewind : "") << text << "\n";
  if (shown_) Draw();
  else err_.flush();
}

void Progress_Line::Clear() {
  if (!shown_) return;
  err_ << kRewind << std::flush;
  shown_ = false;
}

std::string Progress_Line::Text() const {
  const int filled = total_ > 0 ? std::clamp(done_ * kBarWidth / total_, 0, kBarWidth) : 0;
  std::string line(1, '[');
  line.append(static_cast<std::size_t>(filled), '#').append(static_cast<std::size_t>(kBarWidth - filled), '.');
  line += "] " + std::to_string(done_) + "/" + std::to_string(total_) + "  " + Time_Left_Text(seconds_left_);
  if (!activity_.empty()) line += "  " + One_Line_Text(activity_);
  return Left_Chars(line, static_cast<int>(kMaxColumns));
}

void Progress_Line::Draw() {
  err_ << kRewind << Text() << std::flush;
  shown_ = true;
}
