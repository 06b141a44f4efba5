// The benchmark: a run from the press of Start to its last clean-up, and the eighteen
// timed tests. Everything runs on the caller's thread; the window stays responsive because
// the tests pump pending messages between blocks, which is also how Stop arrives.
#pragma once

#include <array>
#include <cstdint>
#include <string>

#include "common/global_functions.h"
#include "common/records.h"
#include "engine/host.h"
#include "platform/platform.h"

// The name of the run's temporary folder inside the work folder.
inline constexpr const char* kTempFolderName = "_Quillorane";
// Free space the run never writes into.
inline constexpr std::int64_t kFreeSpaceReserve = 20971520;

class Benchmark_Engine {
 public:
  Benchmark_Engine(TMyGraph& graph, Engine_Host& host, platform::Platform& os = platform::System_Platform());

  // The Start/Stop button: starts a run on drive_text when the button reads "Start",
  // otherwise asks the run in progress to stop. testtime_text is the test time in seconds.
  void StartButtonClick(const std::string& drive_text, const std::string& testtime_text);

  // Runs the whole plan in work_folder (the folder chosen on targetdrive). Returns false
  // when the run could not start its tests (no temporary folder or file).
  bool Synthetic_Test(const std::string& targetdrive, const std::string& work_folder);

  bool Sequential_Write(const std::string& SrcFile, int GraphPosition, std::int64_t targetfreespace);
  bool Sequential_Read(const std::string& SrcFile, int GraphPosition);
  bool Random_Write(const std::string& TargetFolder, int GraphPosition);
  bool Random_Read(const std::string& SourceFolder, int GraphPosition);

  // Block size of the sequential tests for the drive that holds path.
  std::int32_t Calculate_Buffer_Size(const std::string& path);
  // 90 % of the free bytes of the drive that holds path.
  std::int64_t Calculate_Temp_File_Size(const std::string& path);
  // Empties the run's temporary folder, showing a status text meanwhile.
  void Delete_All_Tree(const std::string& tempfolder);

  const std::string& Start_Caption() const { return caption_; }

  // Pairs of the plan that a run measures (pair k = tests 2k and 2k+1); all by default. The
  // headless runner narrows it; the others keep no result.
  std::array<bool, 9> pair_selected{true, true, true, true, true, true, true, true, true};
  // Whether the last press of Start got as far as running the tests.
  bool run_started = false;

  bool stopprogram = false;
  bool programrunning = false;
  std::int32_t DEFAULTSECONDS = 20;

 private:
  void Log(const std::string& text) { host_.Local_Writelog(text); }
  void Pump() { host_.Process_Messages(); }
  Message_Pump Pump_Function() {
    return [this] { host_.Process_Messages(); };
  }
  void Stop_Run();
  void Run(const std::string& drive, const std::string& testtime_text);
  void Run_Tests(const std::string& drive, const std::string& work_folder, const std::string& testtime_text);
  void Finish_Run();
  // Stores a test's rate in the plan, draws its bar and writes its label.
  void Show_Result(int column, double rate);
  // The closing steps every test shares: the abort and finish lines, an optional pause
  // (without pumping), the panel hidden, a caught error shown. Returns the test's result.
  bool Finish_Test(const std::string& finish_line, const std::string& error_line, int pause_ms);
  void Report_Error(const std::string& line);
  bool Remove_Temp_Folder(const std::string& folder);
  bool Run_Plan(const std::string& work_folder, std::string& folder);
  void Random_Pairs(const std::string& folder, int& position);

  TMyGraph& graph_;
  Engine_Host& host_;
  platform::Platform& os_;
  std::string caption_ = "Start";
};
