// An observer of the peak tests that keeps everything it hears, with the clock's time of each
// event, and lets a test act at any of them (press Stop, fill the disk, break the device).
#pragma once

#include <algorithm>
#include <functional>
#include <stop_token>
#include <string>
#include <vector>

#include "common/clock.h"
#include "engine/peak.h"

class Peak_Recorder : public Peak_Observer {
 public:
  explicit Peak_Recorder(Clock& clock) : clock_(clock) {}

  void Test_Started(int index) override {
    started.push_back(index);
    started_ns.push_back(clock_.Steady_Ns());
    if (on_started) on_started(index);
  }
  void Progress(const Peak_Progress& progress) override {
    this->progress.push_back(progress);
    if (on_progress) on_progress(progress);
  }
  void Test_Finished(const Peak_Test_Result& result) override {
    finished.push_back(result);
    finished_ns.push_back(clock_.Steady_Ns());
    if (on_finished) on_finished(result);
  }
  void Status(const std::string& text) override { statuses.push_back(text); }
  void Log(const std::string& line) override { log.push_back(line); }

  bool Logged(const std::string& line) const { return std::find(log.begin(), log.end(), line) != log.end(); }
  // The most transfers in flight that the progress of test index reported.
  unsigned Most_In_Flight(int index) const {
    unsigned most = 0;
    for (const Peak_Progress& p : progress)
      if (p.test == index && p.phase != Peak_Phase::Pause) most = std::max(most, p.in_flight);
    return most;
  }

  std::function<void(int)> on_started;
  std::function<void(const Peak_Progress&)> on_progress;
  std::function<void(const Peak_Test_Result&)> on_finished;
  std::vector<int> started;
  std::vector<std::int64_t> started_ns, finished_ns;
  std::vector<Peak_Progress> progress;
  std::vector<Peak_Test_Result> finished;
  std::vector<std::string> statuses, log;

 private:
  Clock& clock_;
};
