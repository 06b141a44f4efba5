// One clock reading per line and a small table of topics under one lock.
#include "server/server_log.h"

#include <cstdint>
#include <iostream>
#include <map>
#include <mutex>

namespace {

// The database's messages span lines; a log line is one.
std::string One_Line(const std::string& text) {
  std::string line;
  for (char c : text) {
    const bool blank = c == '\n' || c == '\r' || c == '\t' || c == ' ';
    if (!blank) line.push_back(c);
    else if (!line.empty() && line.back() != ' ') line.push_back(' ');
  }
  while (!line.empty() && line.back() == ' ') line.pop_back();
  return line;
}

}  // namespace

void Log_Limited(const std::string& topic, const std::string& line, std::chrono::milliseconds interval) {
  using Clock = std::chrono::steady_clock;
  struct Topic {
    Clock::time_point last;
    std::int64_t left_out = 0;
    bool written = false;
  };
  static std::mutex mutex;
  static std::map<std::string, Topic> topics;
  const Clock::time_point now = Clock::now();
  std::lock_guard lock(mutex);
  Topic& state = topics[topic];
  if (state.written && now - state.last < interval) {
    ++state.left_out;
    return;
  }
  std::cerr << "platterscope-server: " << One_Line(line);
  if (state.left_out > 0) std::cerr << " (" << state.left_out << " more like it left out)";
  std::cerr << "\n";
  state = {now, 0, true};
}
