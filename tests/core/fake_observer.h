// An observer that keeps everything a run tells, in order, and lets a test act at any of its
// calls (on the run's thread, while the test waits for the run).
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "engine/run_observer.h"

class Fake_Observer : public Run_Observer {
 public:
  struct Progress_Seen {
    int done, total;
    std::int64_t seconds_left;
    bool operator==(const Progress_Seen&) const = default;
  };
  struct Live_Rate {
    int position;
    std::int64_t bytes;
    double seconds;
  };

  void Tests_Begin() override { Event("tests begin"); }
  void Test_Started(int position) override {
    current = position;
    Event("started " + std::to_string(position));
  }
  void Test_Progress(int position, std::int64_t bytes, double seconds) override {
    live.push_back({position, bytes, seconds});
    Call();
  }
  void Test_Finished(int position, const Test_Result& result) override {
    finished[position] = result;
    current = -1;
    Event("finished " + std::to_string(position));
  }
  void Progress(int done, int total, std::int64_t seconds_left) override {
    progress.push_back({done, total, seconds_left});
    Call();
  }
  void Activity(const std::string& text) override {
    activity = text;
    if (!text.empty()) activities.push_back(text);
    Call();
  }
  void Status(const std::string& text) override {
    status = text;
    Call();
  }
  void Error(const std::string& text) override {
    errors.push_back(text);
    Call();
  }
  void Log(const std::string& line) override {
    log.push_back(line);
    Call();
  }

  bool Logged(const std::string& line) const { return std::find(log.begin(), log.end(), line) != log.end(); }
  bool Logged_Prefix(const std::string& prefix) const {
    return std::any_of(log.begin(), log.end(), [&](const std::string& l) { return l.rfind(prefix, 0) == 0; });
  }
  bool Shown(const std::string& text) const {
    return std::find(activities.begin(), activities.end(), text) != activities.end();
  }

  // Called at every call of the run, after it was recorded.
  std::function<void()> on_call;
  long calls = 0;
  // The tests' starts and ends and the start of the tests, in order.
  std::vector<std::string> events;
  int current = -1;  // the test going on
  std::map<int, Test_Result> finished;
  std::vector<Live_Rate> live;
  std::vector<Progress_Seen> progress;
  std::string activity;
  std::vector<std::string> activities;
  std::string status = "unset";
  std::vector<std::string> errors;
  std::vector<std::string> log;

 private:
  void Event(const std::string& what) {
    events.push_back(what);
    Call();
  }
  void Call() {
    ++calls;
    if (on_call) on_call();
  }
};

// The lines must appear in the log in this order (other lines may come between).
inline ::testing::AssertionResult Logged_In_Order(const Fake_Observer& observer, const std::vector<std::string>& lines) {
  std::size_t at = 0;
  for (const std::string& line : lines) {
    while (at < observer.log.size() && observer.log[at] != line) ++at;
    if (at == observer.log.size()) return ::testing::AssertionFailure() << "missing or out of order: " << line;
    ++at;
  }
  return ::testing::AssertionSuccess();
}
