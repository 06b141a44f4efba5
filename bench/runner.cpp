// The runner's run: the engine on a worker, watched by a console observer that turns the
// window's loading panel into a progress line on stderr; a signal is the Stop button.
#include "bench/runner.h"

#include <mutex>
#include <optional>

#include "bench/bench_reporting.h"
#include "bench/bench_updates.h"
#include "bench/peak_command.h"
#include "bench/progress_line.h"
#include "bench/runner_options.h"
#include "bench/runner_output.h"
#include "bench/signal_stop.h"
#include "bench/sustained_output.h"
#include "engine/benchmark.h"

namespace {

// Tells the user on stderr what the run does, and asks it to stop once a signal came. Its
// calls come from the run's thread and, for the signals, from the runner's own: one at a
// time.
class Console_Observer : public Run_Observer {
 public:
  // quiet: no activity lines (the output is for a program). On a terminal the progress is
  // one line written over again instead.
  Console_Observer(Runner_Services& services, bool quiet, std::stop_source stop)
      : services_(services), quiet_(quiet), signals_(services.stop_requests, std::move(stop)) {
    if (services.err_is_terminal) line_.emplace(services.err);
  }

  // Asks the run to stop when a signal came; every request counts, however early it comes.
  void Poll_Stop_Requests() {
    const std::lock_guard<std::mutex> lock(mutex_);
    Poll();
  }
  // The run is over: the progress line goes, so that what follows starts on a clean line.
  void Finish() {
    const std::lock_guard<std::mutex> lock(mutex_);
    if (line_) line_->Clear();
  }
  // The signal that asked the run to stop; 0 when none did.
  int Stop_Signal() const { return signals_.Signal(); }

  void Tests_Begin() override { Poll_Stop_Requests(); }
  void Test_Started(int) override { Poll_Stop_Requests(); }
  void Test_Progress(int, std::int64_t, double) override { Poll_Stop_Requests(); }
  void Test_Finished(int, const Test_Result&) override { Poll_Stop_Requests(); }
  void Progress(int done, int total, std::int64_t seconds_left) override {
    const std::lock_guard<std::mutex> lock(mutex_);
    if (line_) line_->Show_Progress(done, total, seconds_left);
    Poll();
  }
  void Activity(const std::string& text) override {
    const std::lock_guard<std::mutex> lock(mutex_);
    Show_Activity(text);
    Poll();
  }
  void Status(const std::string& text) override {
    const std::lock_guard<std::mutex> lock(mutex_);
    if (!text.empty()) Print_Line("platterscope-bench: " + text);
  }
  void Error(const std::string& text) override {
    const std::lock_guard<std::mutex> lock(mutex_);
    Print_Line("platterscope-bench: " + text);
  }
  void Log(const std::string& line) override {
    Poll_Stop_Requests();
    if (services_.log) services_.log(line);
  }

 private:
  void Poll() {
    if (signals_.Poll()) Show_Activity("Stopping, please wait...");
  }
  void Show_Activity(const std::string& text) {
    if (line_) line_->Show_Activity(text);
    else if (!text.empty() && !quiet_ && text != last_text_) services_.err << text << std::endl;
    last_text_ = text;
  }
  void Print_Line(const std::string& text) {
    if (line_) line_->Print_Line(text);
    else services_.err << text << std::endl;
  }

  Runner_Services& services_;
  bool quiet_;
  Signal_Stop signals_;
  std::mutex mutex_;
  std::optional<Progress_Line> line_;
  std::string last_text_;
};

// Runs work on a worker until it is over, asking it to stop when a signal comes; returns its
// value.
template <class T>
T Run_Watched(Worker<T>& worker, Console_Observer& observer, std::function<T(std::stop_token)> work) {
  T value = Run_Watched<T>(
      worker, [&observer] { observer.Poll_Stop_Requests(); }, std::move(work), std::chrono::milliseconds(20));
  observer.Finish();
  return value;
}

Run_Services Services_Of(const Runner_Services& services) { return {services.os, services.inventory, services.clock}; }

// The exit status of a run that a signal stopped: 128 and the signal, as a shell gives it
// (130 for Ctrl-C, 143 for SIGTERM), once the clean-ups are over and the output written.
int Stopped_Status(const Console_Observer& observer, int status) {
  return observer.Stop_Signal() != 0 ? 128 + observer.Stop_Signal() : status;
}

// A run whose folder stayed behind says so and fails, whatever else it did.
int Cleanup_Status(const std::string& cleanup_failure, Runner_Services& services, int status) {
  if (cleanup_failure.empty()) return status;
  services.err << "platterscope-bench: " << cleanup_failure << std::endl;
  return status == 0 ? 1 : status;
}

int Run_Benchmark(const Runner_Options& options, Runner_Services& services) {
  Worker<Run_Result> worker;
  Console_Observer observer(services, options.json || options.csv, worker.Stop_Source());
  const Run_Request request{options.target, options.seconds, options.pairs, true};
  const Run_Result result = Run_Watched<Run_Result>(worker, observer, [&](std::stop_token stop) {
    return Run(request, observer, std::move(stop), Services_Of(services));
  });
  if (result.outcome != Run_Outcome::Completed && result.outcome != Run_Outcome::Stopped) return 1;
  const bool stopped = result.Stopped();
  if (!options.csv) {
    Print_Results(services.out, options, result);
  } else {
    Print_Csv(services.out, options, result, services.clock.Now());
    if (stopped) services.err << "platterscope-bench: the run was stopped; its rates are partial" << std::endl;
  }
  // A signal during the report stops it as it stops the run.
  const int sent = !options.send ? 0 : Run_Transfer(services.stop_requests, [&](std::stop_token stop) {
    return Send_Run_Report(options.target, result, std::move(stop));
  });
  return Stopped_Status(observer, Cleanup_Status(result.cleanup_failure, services, sent));
}

// A sustained write: the curve on the output, the summary on standard error. Exits 1 when it
// could not start or a write failed.
int Run_Sustained(const Runner_Options& options, Runner_Services& services) {
  Worker<Sustained_Result> worker;
  Console_Observer observer(services, options.json, worker.Stop_Source());
  const Sustained_Request request{options.target, options.size, true};
  const Sustained_Result result = Run_Watched<Sustained_Result>(worker, observer, [&](std::stop_token stop) {
    return ::Run_Sustained(request, observer, std::move(stop), Services_Of(services));
  });
  if (result.outcome == Run_Outcome::Refused) return 1;
  if (options.json) Print_Sustained_Json(services.out, options.target, result);
  else Print_Sustained_Csv(services.out, result);
  if (!options.json) services.err << Sustained_Summary(result) << std::flush;
  return Stopped_Status(observer, Cleanup_Status(result.cleanup_failure, services, result.error.empty() ? 0 : 1));
}

}  // namespace

int Run_Runner(const std::vector<std::string>& args, Runner_Services& services) {
  Runner_Options options;
  std::string error;
  if (!Parse_Runner_Options(args, options, error)) {
    services.err << "platterscope-bench: " << error << "\n" << Runner_Usage();
    return 2;
  }
  if (options.help) {
    services.out << Runner_Usage();
    return 0;
  }
  if (options.list_drives) return Print_Drive_List(services.out, services.err, services.inventory);
  if (options.profile) return Print_Profile(services.out, services.err, options, services.inventory);
  if (options.replay_queue) return Run_Transfer(services.stop_requests, Replay_Queue);
  if (options.check_updates) return Run_Transfer(services.stop_requests, Check_Updates);
  if (options.computer_id) return Print_Computer_Id();
  if (options.sustained) return Run_Sustained(options, services);
  if (options.peak) return Run_Peak_Command(options, services);
  return Run_Benchmark(options, services);
}
