// The benchmark: a run from the press of Start to its last clean-up, and the eighteen
// timed tests. Everything runs on the caller's thread; the window stays responsive because
// the tests pump pending messages between blocks, which is also how Stop arrives.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <set>
#include <string>

#include "common/clock.h"
#include "common/global_functions.h"
#include "common/records.h"
#include "engine/host.h"
#include "engine/run_progress.h"
#include "engine/sustained_write.h"
#include "platform/inventory_provider.h"
#include "platform/platform.h"
#include "platform/run_folder.h"

// The name of the run's temporary folder inside the work folder.
inline constexpr const char* kTempFolderName = "_Quillorane";
// Free space the run never writes into.
inline constexpr std::int64_t kFreeSpaceReserve = 20971520;
// The class name in the log line of an error the engine caught: a plain, fixed word.
inline constexpr const char* kEngineErrorName = "Benchmark";

// How the last run ended: refused before its tests (no folder, another run on it), stopped,
// or completed.
enum class Run_Outcome { None, Refused, Stopped, Completed };

class Benchmark_Engine {
 public:
  // os and clock are where the run's files and times come from; inventory tells the drive's
  // type, which sizes the sequential blocks.
  Benchmark_Engine(TMyGraph& graph, Engine_Host& host, platform::Platform& os, platform::Inventory_Provider& inventory,
                   Clock& clock);

  // Runs the plan on drive_text (a mount point) with testtime_text seconds per test and
  // returns when the run is over. Does nothing unless the engine is idle.
  void Start(const std::string& drive_text, const std::string& testtime_text);
  // Asks the run in progress to stop. A request is never lost: from the start of a run to
  // its end, every test and every clean-up sees it.
  void Request_Stop();
  // Writes one file of size bytes (0: the default of Sustained_Size) on drive in the run's
  // own folder, as a run of the plan does, and returns when it is over; result holds the
  // curve and its fall. Does nothing unless the engine is idle.
  void Start_Sustained(const std::string& drive, std::int64_t size, Sustained_Result& result);
  Run_State State() const { return state_; }
  Run_Outcome Outcome() const { return outcome_; }
  void Use_Inventory(platform::Inventory_Provider& inventory) { inventory_ = &inventory; }

  // Runs the whole plan in work_folder (the folder chosen on targetdrive). Returns false
  // when the run could not start its tests (no temporary folder or file).
  bool Synthetic_Test(const std::string& targetdrive, const std::string& work_folder);

  // The tests work on files of the run's folder only; SrcFile names one of them.
  bool Sequential_Write(const std::string& SrcFile, int GraphPosition, std::int64_t targetfreespace);
  bool Sequential_Read(const std::string& SrcFile, int GraphPosition);
  bool Random_Write(const std::string& TargetFolder, int GraphPosition);
  bool Random_Read(const std::string& SourceFolder, int GraphPosition);

  // Block size of the sequential tests for the drive that holds path.
  std::int32_t Calculate_Buffer_Size(const std::string& path);
  // 90 % of the free bytes of the drive that holds the run's folder.
  std::int64_t Calculate_Temp_File_Size(const std::string& path);
  // Empties the run's temporary folder, showing a status text meanwhile.
  void Delete_All_Tree(const std::string& tempfolder);

  // Pairs of the plan that a run measures (pair k = tests 2k and 2k+1); all by default. The
  // headless runner narrows it; the others keep no result.
  std::array<bool, 9> pair_selected{true, true, true, true, true, true, true, true, true};

  bool stopprogram = false;
  // True from the start of a run to its end (State() is not Idle).
  bool programrunning = false;
  std::int32_t DEFAULTSECONDS = 20;
  // Whether a run works in the very folder it is given (the runner's --target) or, when the
  // user cannot write there, refuses; otherwise (a drive of the window's list) it may work in
  // another folder of that drive that the user can write to.
  bool exact_folder = false;
  // Why the last run's folder was left behind by its final clean-up; empty when it went.
  std::string cleanup_failure;

 private:
  void Log(const std::string& text) { host_.Local_Writelog(text); }
  // Every pump also tells the host how far the run has come.
  void Pump() {
    Report_Progress();
    host_.Process_Messages();
  }
  Message_Pump Pump_Function() {
    return [this] { Pump(); };
  }
  // Shows the progress when the count of finished tests or the whole seconds left changed;
  // nothing once the run is asked to stop.
  void Report_Progress();
  // Runs the test at position, counting it in the progress.
  bool Counted_Test(int position, const std::function<bool()>& test);
  void Set_State(Run_State state);
  void Run_Tests(const std::string& drive, const std::string& work_folder, const std::string& testtime_text);
  void Finish_Run();
  bool Claim_Folder(const std::string& work_folder);
  bool Run_Plan(const std::string& drive, const std::string& work_folder);
  void Run_Pairs(const std::string& file);
  void Random_Pairs(const std::string& folder, int& position);
  std::int64_t Free_Space();
  // The name of path inside the run's folder; empty when path is not directly in it.
  std::string Name_In_Run_Folder(const std::string& path) const;
  // Stores a test's rate and device check in the plan, logs the check, draws the bar and
  // writes and marks the label.
  void Show_Result(int column, double rate, const Device_Check& check);
  // The closing steps every test shares: the abort and finish lines, an optional pause
  // (without pumping), the panel hidden, a caught error shown. Returns the test's result.
  bool Finish_Test(const std::string& finish_line, const std::string& error_line, int pause_ms);
  void Report_Error(const std::string& line);
  // Whether the files of this pair can be read unbuffered with block_size; logs the mode.
  bool Choose_Read_Mode(std::int64_t block_size);
  // Resolves the work folder on drive and runs body in it from Running back to Idle,
  // whatever body throws.
  void Run_Guarded(const std::string& drive, const std::function<void(const std::string&)>& body);
  // Removes the claimed run folder and lets go of it.
  void Remove_Run_Folder();
  void Sustained_Write(std::int64_t size, Sustained_Result& result);
  void Sustained_Loop(platform::Open_Result& opened, platform::Aligned_Buffer& buffer, const std::string& path,
                      Sustained_Result& result);

  TMyGraph& graph_;
  Engine_Host& host_;
  platform::Platform& os_;
  platform::Inventory_Provider* inventory_;
  Clock& clock_;
  Run_State state_ = Run_State::Idle;
  Run_Outcome outcome_ = Run_Outcome::None;
  Run_Progress progress_;
  // The progress last shown (done, seconds left); done -1 before the first.
  std::pair<int, std::int64_t> shown_progress_{-1, 0};
  platform::Run_Folder run_folder_;
  // The files the current pair's write made, by their path inside the run's folder: the
  // read that follows reads these and nothing else.
  std::set<std::string> written_;
};
