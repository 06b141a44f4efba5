// The runner's progress on a terminal: one line, written over again as the run goes on, with
// a bar for the whole plan, the tests done, the time left and what the run is doing.
#pragma once

#include <cstdint>
#include <ostream>
#include <string>

class Progress_Line {
 public:
  static constexpr int kBarWidth = 20;
  static constexpr std::size_t kMaxColumns = 79;  // fits a terminal of 80 columns unwrapped

  explicit Progress_Line(std::ostream& err) : err_(err) {}

  void Show_Progress(int done, int total, std::int64_t seconds_left);
  // What the run is doing now (the window's loading-panel text); empty keeps the last one.
  void Show_Activity(const std::string& text);
  // Prints a message on a line of its own, the progress line following it.
  void Print_Line(const std::string& text);
  // Removes the line, so that what follows starts at the left edge of an empty line.
  void Clear();

  // The line as it is drawn.
  std::string Text() const;

 private:
  void Draw();

  std::ostream& err_;
  int done_ = 0, total_ = 0;
  std::int64_t seconds_left_ = 0;
  bool shown_ = false;
  std::string activity_;
};
