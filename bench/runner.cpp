// The runner's run: a console host for the engine, where the loading panel becomes a
// progress line on stderr and a signal is the Stop button.
#include "bench/runner.h"

#include <optional>

#include "bench/bench_reporting.h"
#include "bench/bench_updates.h"
#include "bench/peak_command.h"
#include "bench/progress_line.h"
#include "bench/runner_options.h"
#include "bench/runner_output.h"
#include "bench/sustained_output.h"
#include "engine/benchmark.h"
#include "engine/plan.h"

namespace {

class Console_Host : public Engine_Host {
 public:
  // quiet: no loading-panel lines (the output is for a program). On a terminal the progress
  // is one line written over again instead.
  Console_Host(Runner_Services& services, bool quiet) : services_(services), quiet_(quiet) {
    if (services.err_is_terminal) line_.emplace(services.err);
  }
  void Attach(Benchmark_Engine* engine) { engine_ = engine; }

  void Process_Messages() override { Poll_Stop_Requests(); }
  void Display_Loading_Panel(bool show, const std::string& text) override {
    if (line_) line_->Show_Activity(show ? text : "");
    else if (show && !quiet_ && text != last_text_) services_.err << text << std::endl;
    last_text_ = show ? text : "";
    Poll_Stop_Requests();
  }
  void DrawGraph(int, double) override {}
  void Redraw_Graph() override {}
  void Set_Label_Text(const std::string&, const std::string&) override {}
  void Set_Status_Text(const std::string& text) override {
    if (!text.empty()) Print_Line("platterscope-bench: " + text);
  }
  void Show_Progress(int done, int total, std::int64_t seconds_left) override {
    if (line_) line_->Show_Progress(done, total, seconds_left);
  }
  void Show_Error(const std::string& text) override { Print_Line("platterscope-bench: " + text); }
  void Local_Writelog(const std::string& text) override {
    Poll_Stop_Requests();
    if (services_.log) services_.log(text);
  }
  void Show_Run_State(Run_State state) override {
    if (state == Run_State::Idle && line_) line_->Clear();
  }
  void Enable_Start_Button(bool) override {}
  void Enable_All_Buttons(bool, bool) override {}
  void Send_Result_To_Database() override {}
  void Send_Result_to_Grid() override {}

 private:
  void Print_Line(const std::string& text) {
    if (line_) line_->Print_Line(text);
    else services_.err << text << std::endl;
  }
  // Every request stops the run, however early it comes and however often it is made.
  void Poll_Stop_Requests() {
    if (services_.stop_requests != nullptr && *services_.stop_requests != 0 && engine_ != nullptr &&
        engine_->State() == Run_State::Running)
      engine_->Request_Stop();
  }

  Runner_Services& services_;
  bool quiet_;
  std::optional<Progress_Line> line_;
  Benchmark_Engine* engine_ = nullptr;
  std::string last_text_;
};

// A run whose folder stayed behind says so and fails, whatever else it did.
int Cleanup_Status(const Benchmark_Engine& engine, Runner_Services& services, int status) {
  if (engine.cleanup_failure.empty()) return status;
  services.err << "platterscope-bench: " << engine.cleanup_failure << std::endl;
  return status == 0 ? 1 : status;
}

int Run_Benchmark(const Runner_Options& options, Runner_Services& services) {
  TMyGraph graph;
  Console_Host host(services, options.json || options.csv);
  Benchmark_Engine engine(graph, host, services.os, services.inventory, services.clock);
  host.Attach(&engine);
  engine.exact_folder = true;  // the folder the user named, or none
  engine.pair_selected = options.pairs;
  Clean_ALL_Stats(graph, host);
  engine.Start(options.target, std::to_string(options.seconds));
  if (engine.Outcome() != Run_Outcome::Completed && engine.Outcome() != Run_Outcome::Stopped) return 1;
  const bool stopped = engine.Outcome() == Run_Outcome::Stopped;
  if (!options.csv) {
    Print_Results(services.out, options, graph, stopped);
  } else {
    Print_Csv(services.out, options, graph, services.clock.Now());
    if (stopped) services.err << "platterscope-bench: the run was stopped; its rates are partial" << std::endl;
  }
  const int status = options.send ? Send_Run_Report(options.target, engine.DEFAULTSECONDS, graph, stopped) : 0;
  return Cleanup_Status(engine, services, status);
}

// A sustained write: the curve on the output, the summary on standard error. Exits 1 when it
// could not start or a write failed.
int Run_Sustained(const Runner_Options& options, Runner_Services& services) {
  TMyGraph graph;
  Console_Host host(services, options.json);
  Benchmark_Engine engine(graph, host, services.os, services.inventory, services.clock);
  host.Attach(&engine);
  engine.exact_folder = true;
  Sustained_Result result;
  engine.Start_Sustained(options.target, options.size, result);
  if (engine.Outcome() == Run_Outcome::Refused) return 1;
  if (options.json) Print_Sustained_Json(services.out, options.target, result);
  else Print_Sustained_Csv(services.out, result);
  if (!options.json) services.err << Sustained_Summary(result) << std::flush;
  return Cleanup_Status(engine, services, result.error.empty() ? 0 : 1);
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
  if (options.replay_queue) return Replay_Queue();
  if (options.check_updates) return Check_Updates();
  if (options.computer_id) return Print_Computer_Id();
  if (options.sustained) return Run_Sustained(options, services);
  if (options.peak) return Run_Peak_Command(options, services);
  return Run_Benchmark(options, services);
}
