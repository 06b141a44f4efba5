// The benchmark: a run of the plan from the pause after Start to its last clean-up, and the
// eighteen timed tests. A run is a value computed on the caller's thread (the window gives
// it a worker of its own): it tells an observer what it does, and checks its stop token
// between blocks, inside its waits and before every test.
#pragma once

#include <cstdint>
#include <functional>
#include <set>
#include <stop_token>
#include <string>

#include "common/clock.h"
#include "common/global_functions.h"
#include "common/run_result.h"
#include "engine/run_observer.h"
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
// The pause after Start before the first test.
inline constexpr int kStartPauseMs = 1000;

// What a run uses from the world around it: the file system, the drives' facts, the clock.
struct Run_Services {
  platform::Platform& os;
  platform::Inventory_Provider& inventory;
  Clock& clock;
};
// The running system's.
Run_Services System_Run_Services();

// The free space and the reserve in one unit and precision: "25.96 MB free, 20.97 MB must
// stay free".
std::string Reserve_Text(std::int64_t free_bytes);

// Runs the plan on request.drive and returns what it measured. observer hears every step on
// this thread; a stop request ends the test going on at its next block, skips the rest and
// leaves the clean-ups to run.
Run_Result Run(const Run_Request& request, Run_Observer& observer, std::stop_token stop,
               const Run_Services& services = System_Run_Services());

struct Sustained_Request {
  std::string drive;
  std::int64_t size = 0;  // 0: the default of Sustained_Size
  bool exact_folder = false;  // as in Run_Request
};
// Writes one file in the run's own folder on request.drive, as a run of the plan does, and
// returns the curve and its fall.
Sustained_Result Run_Sustained(const Sustained_Request& request, Run_Observer& observer, std::stop_token stop,
                               const Run_Services& services = System_Run_Services());

// One run, from its request to its result: the steps of the plan by their names.
class Benchmark_Run {
 public:
  Benchmark_Run(Run_Observer& observer, std::stop_token stop, const Run_Services& services);

  Run_Result Run(const Run_Request& request);
  Sustained_Result Sustained(const Sustained_Request& request);

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
  // Empties the run's temporary folder, saying so meanwhile.
  void Delete_All_Tree(const std::string& tempfolder);

  std::int32_t DEFAULTSECONDS = 20;
 private:
  // The test that is transferring now, for its live rate.
  struct Live_Test {
    int position = -1;
    TDateTime start = 0;          // of its timed span
    std::int64_t bytes = 0;       // counted so far
    TDateTime reported_at = 0;
    std::int64_t reported_bytes = 0;
  };

  bool Stopping() const { return stop_.stop_requested(); }
  void Log(const std::string& text) { observer_.Log(text); }
  // Between blocks and steps: tells the observer how far the run and the test have come.
  void Checkpoint();
  platform::Progress Checkpoint_Function() {
    return [this] { Checkpoint(); };
  }
  // Waits ms on the run's clock in steps of 100 ms, ending early when asked to stop.
  void Wait(int ms);
  // The test's timed span began at start; bytes have been counted in it so far.
  void Live_Span(TDateTime start) { live_.start = start; }
  void Live_Bytes(std::int64_t bytes) { live_.bytes = bytes; }
  // Runs the test at position, counting it in the progress and telling its start and end.
  bool Counted_Test(int position, const std::function<bool()>& test);
  Run_Result Run_Tests(const std::string& drive, const std::string& work_folder);
  // Resolves the work folder on drive; false, with the error told, when there is none.
  bool Resolve(const std::string& drive, std::string& work_folder, std::string& error);
  bool Claim_Folder(const std::string& work_folder);
  bool Run_Plan(const std::string& drive, const std::string& work_folder);
  void Run_Pairs(const std::string& file);
  void Random_Pairs(const std::string& folder, int& position);
  std::int64_t Free_Space();
  // Whether bytes more fit into the run's folder above the reserve, with the folder blocks
  // in hand: a folder takes another block now and then as names are added, and one may be
  // made for the next file.
  bool Fits_Above_Reserve(std::int64_t bytes);
  // A test that found no room for its first block or file: why, logged and told; kept as the
  // test's note, and as the reason its read has nothing.
  void No_Room(int position, const std::string& what);
  // The read of a pair whose write had no room: why it measured nothing.
  void Nothing_To_Read(int position);
  // The name of path inside the run's folder; empty when path is not directly in it.
  std::string Name_In_Run_Folder(const std::string& path) const;
  // Keeps a test's rate and device check in the result and logs the check.
  void Show_Result(int column, double rate, const Device_Check& check);
  // The closing steps every test shares: the abort and finish lines, an optional pause, the
  // activity cleared, a caught error told. Returns the test's result.
  bool Finish_Test(const std::string& finish_line, const std::string& error_line, int pause_ms);
  void Report_Error(const std::string& line);
  // Whether the files of this pair can be read unbuffered with block_size; logs the mode.
  bool Choose_Read_Mode(std::int64_t block_size);
  // Removes the claimed run folder and lets go of it.
  void Remove_Run_Folder();
  void Sustained_Write(std::int64_t size, Sustained_Result& result);
  void Sustained_Loop(platform::Open_Result& opened, platform::Aligned_Buffer& buffer, const std::string& path,
                      Sustained_Result& result);

  Run_Observer& observer_;
  std::stop_token stop_;
  platform::Platform& os_;
  platform::Inventory_Provider& inventory_;
  Clock& clock_;
  Pair_Selection pairs_{};
  Run_Result result_;
  // The sequential file's size bound: 90 % of the free space when the run began.
  std::int64_t sample_size_ = 0;
  // What is kept free beyond the reserve for the folders' blocks.
  std::int64_t folder_blocks_ = 0;
  // Whether the pair's write found no room for anything.
  bool write_had_no_room_ = false;
  Run_Progress progress_;
  // The progress last told (done, seconds left); done -1 before the first.
  std::pair<int, std::int64_t> shown_progress_{-1, 0};
  Live_Test live_;
  platform::Run_Folder run_folder_;
  // The files the current pair's write made, by their path inside the run's folder: the
  // read that follows reads these and nothing else.
  std::set<std::string> written_;
  // Whether the run works in the very folder it is given (see Run_Request).
  bool exact_folder = false;
  // Why the run's folder was left behind by its final clean-up; empty when it went.
  std::string cleanup_failure;
};
