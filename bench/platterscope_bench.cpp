// platterscope-bench: the benchmark without a window, for machines without a display and
// for measuring. It drives the same engine as the window does.
//
//   platterscope-bench --target DIR [--seconds N] [--only PAIRS] [--json]
//   platterscope-bench --list-drives            the drive list as the window shows it
//   platterscope-bench --profile [--target DIR] [--json]
//                                               the machine items a result report carries
//   platterscope-bench --target DIR ... --send  the run reported as the window reports it
//   platterscope-bench --replay-queue           the offline queue sent again
//   platterscope-bench --check-updates          the version check, news and ads as the window
//                                               would take them; no installer is started
//   platterscope-bench --computer-id            the installation's identifier, made and stored
//                                               when the settings store has none
#include <unistd.h>

#include <array>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include <QLocale>

#include "bench/bench_reporting.h"
#include "bench/bench_updates.h"
#include "app/computer_id.h"
#include "common/global_functions.h"
#include "common/log.h"
#include "common/registry_functions.h"
#include "common/result_text.h"
#include "engine/benchmark.h"
#include "engine/plan.h"
#include "inventory/drive_info.h"
#include "inventory/inventory_output.h"
#include "inventory/machine_profile.h"

namespace {

volatile std::sig_atomic_t interrupted = 0;

void On_Interrupt(int) { interrupted = 1; }

struct Options {
  std::string target;
  int seconds = 20;
  std::array<bool, 9> pairs{true, true, true, true, true, true, true, true, true};
  bool json = false;
  bool list_drives = false;
  bool profile = false;
  bool send = false;          // report the finished run
  bool replay_queue = false;  // send the offline queue again
  bool check_updates = false;
  bool computer_id = false;
};

const std::map<std::string, int> kPairNames = {{"seq", 0},  {"512b", 1}, {"1k", 2},   {"4k", 3}, {"64k", 4},
                                               {"128k", 5}, {"512k", 6}, {"1m", 7}, {"4m", 8}};

// Runs in a terminal: the loading panel becomes a progress line on stderr, Ctrl-C is the
// Stop button.
class Console_Host : public Engine_Host {
 public:
  explicit Console_Host(bool quiet) : quiet_(quiet), log_([this] { Poll_Interrupt(); }) {}
  void Attach(Benchmark_Engine* engine) { engine_ = engine; }

  void Process_Messages() override { Poll_Interrupt(); }
  void Display_Loading_Panel(bool show, const std::string& text) override {
    if (show && !quiet_ && text != last_text_) std::fprintf(stderr, "%s\n", text.c_str());
    last_text_ = show ? text : "";
    Poll_Interrupt();
  }
  void DrawGraph(int, double) override {}
  void Redraw_Graph() override {}
  void Set_Label_Text(const std::string&, const std::string&) override {}
  void Set_Status_Text(const std::string&) override {}
  void Show_Error(const std::string& text) override { std::fprintf(stderr, "platterscope-bench: %s\n", text.c_str()); }
  void Local_Writelog(const std::string& text) override { log_.Local_Writelog(text); }
  void Set_Start_Caption(const std::string&) override {}
  void Enable_Start_Button(bool enabled) override { button_enabled_ = enabled; }
  void Enable_All_Buttons(bool, bool sbutton) override { button_enabled_ = sbutton; }
  void Send_Result_To_Database() override {}
  void Send_Result_to_Grid() override {}

 private:
  // Ctrl-C presses Stop as soon as the button can be pressed.
  void Poll_Interrupt() {
    if (interrupted && !stop_pressed_ && engine_ != nullptr && button_enabled_ && engine_->Start_Caption() == "Stop") {
      stop_pressed_ = true;
      engine_->StartButtonClick("", "");
    }
  }

  bool quiet_;
  Guarded_Log log_;
  Benchmark_Engine* engine_ = nullptr;
  bool button_enabled_ = false;
  bool stop_pressed_ = false;
  std::string last_text_;
};

int Usage(const char* message) {
  if (message != nullptr) std::fprintf(stderr, "platterscope-bench: %s\n", message);
  std::fprintf(stderr,
               "usage: platterscope-bench --target DIR [--seconds N] [--only PAIRS] [--json]\n"
               "       platterscope-bench --list-drives\n"
               "       platterscope-bench --profile [--target DIR] [--json]\n"
               "       platterscope-bench --target DIR ... --send\n"
               "       platterscope-bench --replay-queue\n"
               "       platterscope-bench --check-updates\n"
               "       platterscope-bench --computer-id\n"
               "  PAIRS: comma list of seq,512b,1k,4k,64k,128k,512k,1m,4m\n"
               "  --profile reports the listed drive mounted at DIR, or the first one\n");
  return 2;
}

bool Parse_Pairs(const std::string& list, std::array<bool, 9>& pairs) {
  pairs.fill(false);
  std::stringstream in(list);
  std::string name;
  bool any = false;
  while (std::getline(in, name, ',')) {
    auto found = kPairNames.find(name);
    if (found == kPairNames.end()) return false;
    pairs[static_cast<std::size_t>(found->second)] = true;
    any = true;
  }
  return any;
}

// Returns 0 when the options are good, otherwise the exit status.
int Parse_Options(int argc, char** argv, Options& options) {
  for (int i = 1; i < argc; ++i) {
    std::string arg = argv[i];
    bool has_value = i + 1 < argc;
    if (arg == "--json") {
      options.json = true;
    } else if (arg == "--list-drives") {
      options.list_drives = true;
    } else if (arg == "--profile") {
      options.profile = true;
    } else if (arg == "--send") {
      options.send = true;
    } else if (arg == "--replay-queue") {
      options.replay_queue = true;
    } else if (arg == "--check-updates") {
      options.check_updates = true;
    } else if (arg == "--computer-id") {
      options.computer_id = true;
    } else if (arg == "--target" && has_value) {
      options.target = argv[++i];
    } else if (arg == "--seconds" && has_value) {
      char* end = nullptr;
      long seconds = std::strtol(argv[++i], &end, 10);
      if (*end != '\0' || seconds < 1 || seconds > 200) return Usage("--seconds takes a whole number from 1 to 200");
      options.seconds = static_cast<int>(seconds);
    } else if (arg == "--only" && has_value) {
      if (!Parse_Pairs(argv[++i], options.pairs)) return Usage("--only takes a comma list of known pairs");
    } else if (arg == "--help" || arg == "-h") {
      Usage(nullptr);
      return 1;
    } else {
      return Usage(("unknown or incomplete option " + arg).c_str());
    }
  }
  if (options.computer_id && argc != 2) return Usage("--computer-id takes no other option");
  if (options.list_drives && options.profile) return Usage("--list-drives and --profile do not go together");
  if (options.list_drives && (options.json || !options.target.empty()))
    return Usage("--list-drives takes no other option");
  if (options.replay_queue && argc != 2) return Usage("--replay-queue takes no other option");
  if (options.check_updates && argc != 2) return Usage("--check-updates takes no other option");
  if (options.send && (options.list_drives || options.profile)) return Usage("--send goes with a run only");
  if (options.target.empty() && !options.list_drives && !options.profile && !options.replay_queue &&
      !options.computer_id && !options.check_updates)
    return Usage("--target DIR is required");
  return 0;
}

std::string Json_Text(const std::string& text) {
  std::string out = "\"";
  for (unsigned char c : text) {
    if (c == '"' || c == '\\') {
      out += '\\';
      out += static_cast<char>(c);
    } else if (c < 0x20) {
      char escaped[8];
      std::snprintf(escaped, sizeof escaped, "\\u%04x", c);
      out += escaped;
    } else {
      out += static_cast<char>(c);
    }
  }
  return out + "\"";
}

void Print_Results(const Options& options, const TMyGraph& graph, bool stopped) {
  if (!options.json) {
    for (int i = 0; i <= kLastTest; ++i) {
      const TMyGraphColumn& entry = graph.GraphColumn[i];
      if (entry.Value >= 0)
        std::printf("%-6s %-18s %10s MB/s\n", entry.NameTag.c_str(), entry.Description.c_str(),
                    Result_Text(entry.Value).c_str());
    }
    if (stopped) std::printf("stopped\n");
    return;
  }
  std::printf("{\"target\":%s,\"seconds\":%d,\"tests\":[", Json_Text(options.target).c_str(), options.seconds);
  bool first = true;
  for (int i = 0; i <= kLastTest; ++i) {
    const TMyGraphColumn& entry = graph.GraphColumn[i];
    if (entry.Value < 0) continue;
    std::printf("%s{\"key\":%s,\"description\":%s,\"mbps\":%.2f}", first ? "" : ",", Json_Text(entry.NameTag).c_str(),
                Json_Text(entry.Description).c_str(), entry.Value);
    first = false;
  }
  std::printf("],\"stopped\":%s}\n", stopped ? "true" : "false");
}

// The drive list and its records as the window builds them.
bool List_Drives(std::vector<std::string>& entries, std::array<TMyLogicalDisks, 31>& drives) {
  try {
    Get_All_Local_Drives(entries, drives, platform::System_Inventory_Provider(), Write_Log);
    return true;
  } catch (const std::exception& error) {
    std::fprintf(stderr, "platterscope-bench: %s\n", error.what());
    return false;
  }
}

int Print_Drive_List() {
  std::vector<std::string> entries;
  std::array<TMyLogicalDisks, 31> drives{};
  if (!List_Drives(entries, drives)) return 1;
  std::fputs(Drive_List_Text(entries).c_str(), stdout);
  return 0;
}

int Print_Profile(const Options& options) {
  Machine_Profile profile;
  try {
    Fill_Machine_Profile(profile, platform::System_Inventory_Provider());
  } catch (const std::exception& error) {
    std::fprintf(stderr, "platterscope-bench: %s\n", error.what());
    return 1;
  }
  std::vector<std::string> entries;
  std::array<TMyLogicalDisks, 31> drives{};
  if (!List_Drives(entries, drives)) return 1;
  // The window reports the selected drive, entry 0 unless the user picks another.
  std::size_t chosen = 0;
  if (!options.target.empty()) {
    std::string target = options.target;
    while (target.size() > 1 && target.back() == '/') target.pop_back();
    chosen = entries.size();
    for (std::size_t k = 0; k < entries.size(); ++k)
      if (Drive_Mount_Point(drives[k]) == target) chosen = k;
    if (chosen == entries.size()) {
      std::fprintf(stderr, "platterscope-bench: %s is not a listed drive (see --list-drives)\n", target.c_str());
      return 1;
    }
  }
  const TMyLogicalDisks drive = chosen < entries.size() ? drives[chosen] : TMyLogicalDisks{};
  const auto items = Profile_Report_Items(profile, drive);
  std::fputs((options.json ? Profile_Json(items) : Profile_Text(items)).c_str(), stdout);
  return 0;
}

// The identifier the window reads at start-up, made and stored as the window does when the
// settings store has none. The package's installer runs this with administrative rights so
// that every user of the machine reads one identifier; fails when the store cannot keep it.
int Print_Computer_Id() {
  const std::string id = Load_Computer_Id(Get_Application_File(), Get_Application_Folder());
  std::printf("%s\n", id.c_str());
  if (Reg_Value_Text(Reg_Read_Value(HKEY_LOCAL_MACHINE, kSettingsKey, "Computer_Id", "")) == id) return 0;
  std::fprintf(stderr, "platterscope-bench: Cannot store the computer identifier in %s%s\n", Settings_File().c_str(),
               ::geteuid() == 0 ? "" : ": the store is written only with administrative rights");
  return 1;
}

}  // namespace

int main(int argc, char** argv) {
  Options options;
  if (int status = Parse_Options(argc, argv, options); status != 0) return status;
  if (options.computer_id) return Print_Computer_Id();
  if (options.list_drives) return Print_Drive_List();
  if (options.profile) return Print_Profile(options);
  if (options.replay_queue) return Replay_Queue();
  if (options.check_updates) return Check_Updates();
  while (options.target.size() > 1 && options.target.back() == '/') options.target.pop_back();
  if (::access(options.target.c_str(), W_OK | X_OK) != 0) {
    std::fprintf(stderr, "platterscope-bench: Cannot write to %s: %s\n", options.target.c_str(), std::strerror(errno));
    return 1;
  }
  struct sigaction action {};
  action.sa_handler = On_Interrupt;
  sigaction(SIGINT, &action, nullptr);
  sigaction(SIGTERM, &action, nullptr);

  Console_Host host(options.json);
  Benchmark_Engine engine(MyGraph, host);
  host.Attach(&engine);
  engine.pair_selected = options.pairs;
  Clean_ALL_Stats(MyGraph, host);
  engine.StartButtonClick(options.target, std::to_string(options.seconds));
  if (!engine.run_started) return 1;
  Print_Results(options, MyGraph, engine.stopprogram);
  if (options.send) return Send_Run_Report(options.target, engine.DEFAULTSECONDS, MyGraph, engine.stopprogram);
  return 0;
}
