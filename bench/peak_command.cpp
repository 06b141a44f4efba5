// The peak tests in the runner. The run is a value computed on a worker; this thread only
// turns the signal handlers' requests into the worker's Stop and waits for the value.
#include "bench/peak_command.h"

#include <algorithm>
#include <chrono>
#include <optional>

#include "bench/progress_line.h"
#include "bench/signal_stop.h"
#include "common/peak_export.h"
#include "common/results_export.h"
#include "engine/peak.h"

namespace {

// How often a signal's request is looked for; the waiting thread sleeps otherwise, so that
// it takes nothing from the measuring one.
constexpr auto kPollStop = std::chrono::milliseconds(100);

std::string Size_Text(std::int64_t bytes) { return Format_Size(bytes, "0.##", false); }

// The progress line on a terminal; elsewhere the status texts as lines (none when the output
// is for a program), and the log.
class Peak_Console : public Peak_Observer {
 public:
  Peak_Console(Runner_Services& services, bool quiet, std::int64_t size)
      : services_(services), quiet_(quiet), size_(size) {
    if (services.err_is_terminal) line_.emplace(services.err);
  }
  void Test_Started(int) override {}
  void Progress(const Peak_Progress& progress) override {
    if (!line_) return;
    line_->Show_Progress(progress.done, progress.total, progress.seconds_left);
    line_->Show_Activity(Activity(progress));
  }
  void Test_Finished(const Peak_Test_Result&) override {}
  void Status(const std::string& text) override {
    if (line_) line_->Show_Activity(text);
    else if (!quiet_) services_.err << text << std::endl;
  }
  void Log(const std::string& line) override {
    if (services_.log) services_.log(line);
  }
  void Done() {
    if (line_) line_->Clear();
  }

 private:
  // What goes on now, with the live rate.
  std::string Activity(const Peak_Progress& p) const {
    const std::string rate = Fixed_Text(p.mbps, 2) + " MB/s";
    switch (p.phase) {
      case Peak_Phase::Fill: return "Writing the test file: " + Size_Text(p.bytes) + " of " + Size_Text(size_) + ", " + rate;
      case Peak_Phase::Warm_Up: return std::string(kPeakTests[static_cast<std::size_t>(p.test)].key) + " warm-up";
      case Peak_Phase::Measure:
        return std::string(kPeakTests[static_cast<std::size_t>(p.test)].key) + " " + rate + " " +
               Fixed_Text(p.iops, 0) + " IOPS";
      case Peak_Phase::Pause: return "Pause";
    }
    return "";
  }

  Runner_Services& services_;
  bool quiet_;
  std::int64_t size_;
  std::optional<Progress_Line> line_;
};

}  // namespace

int Run_Peak_Command(const Runner_Options& options, Runner_Services& services) {
  Peak_Request request;
  request.drive = options.target;
  request.size = options.size;
  request.seconds = options.seconds;
  request.os = &services.os;
  request.clock = &services.clock;
  Peak_Console console(services, options.json || options.csv, options.size);
  Worker<Peak_Result> worker;
  Signal_Stop signals(services.stop_requests, worker.Stop_Source());
  const Peak_Result result = Run_Watched<Peak_Result>(
      worker, [&signals] { signals.Poll(); },
      [&](std::stop_token stop) { return Run_Peak(request, console, std::move(stop)); }, kPollStop);
  console.Done();
  if (result.outcome == Peak_Outcome::Refused) {
    services.err << "platterscope-bench: " << result.error << std::endl;
    return 1;
  }
  if (options.json) services.out << Peak_Json(result);
  else if (options.csv) services.out << Peak_Csv(result, Date_Text(services.clock.Now()));
  else services.out << Peak_Text(result);
  services.out.flush();
  if (!result.note.empty()) services.err << "platterscope-bench: " << result.note << std::endl;
  if (options.csv && result.outcome == Peak_Outcome::Stopped)
    services.err << "platterscope-bench: the run was stopped; its figures are partial" << std::endl;
  if (!result.error.empty()) services.err << "platterscope-bench: " << result.error << std::endl;
  const bool failed = std::any_of(result.tests.begin(), result.tests.end(),
                                  [](const Peak_Test_Result& test) { return !test.note.empty(); });
  return signals.Exit_Status(result.outcome == Peak_Outcome::Failed || failed ? 1 : 0);
}
