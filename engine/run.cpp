// A run: its states, the claim of its folder, the plan in pairs and the clean-ups.
#include <algorithm>
#include <cmath>
#include <exception>

#include "common/log.h"
#include "common/result_text.h"
#include "engine/benchmark.h"
#include "engine/plan.h"
#include "inventory/drive_info.h"

namespace {

std::string Size_Text(std::int64_t bytes) { return Format_Size(bytes, "0.##", false); }

}  // namespace

Benchmark_Engine::Benchmark_Engine(TMyGraph& graph, Engine_Host& host, platform::Platform& os,
                                   platform::Inventory_Provider& inventory, Clock& clock)
    : graph_(graph), host_(host), os_(os), inventory_(&inventory), clock_(clock) {}

void Benchmark_Engine::Set_State(Run_State state) {
  state_ = state;
  programrunning = state != Run_State::Idle;
  host_.Show_Run_State(state);
}

void Benchmark_Engine::Start(const std::string& drive, const std::string& testtime_text) {
  Run_Guarded(drive, [&](const std::string& work_folder) { Run_Tests(drive, work_folder, testtime_text); });
}

void Benchmark_Engine::Run_Guarded(const std::string& drive, const std::function<void(const std::string&)>& body) {
  if (state_ != Run_State::Idle) return;
  outcome_ = Run_Outcome::None;
  cleanup_failure.clear();
  std::string work_folder, reason;
  if (!os_.Resolve_Work_Folder(drive, work_folder, reason) || (exact_folder && work_folder != drive)) {
    std::string text = "Cannot write to " + drive + ": " + reason;
    Log(text);
    host_.Show_Error(text);
    outcome_ = Run_Outcome::Refused;
    return;
  }
  // Cleared before anything can pump messages: a Stop from here on is kept.
  stopprogram = false;
  Set_State(Run_State::Running);
  try {
    body(work_folder);
  } catch (...) {
    Finish_Run();  // whatever escaped, the window returns to idle
    throw;
  }
  Finish_Run();
}

void Benchmark_Engine::Request_Stop() {
  if (state_ != Run_State::Running) return;
  stopprogram = true;
  Set_State(Run_State::Stopping);
  host_.Enable_Start_Button(false);
  host_.Display_Loading_Panel(true, "Stopping, please wait...");
}

void Benchmark_Engine::Run_Tests(const std::string& drive, const std::string& work_folder,
                                 const std::string& testtime_text) {
  std::int64_t seconds = Str_To_Int64_Safe(testtime_text);
  DEFAULTSECONDS = static_cast<std::int32_t>(std::clamp<std::int64_t>(seconds, 0, 200));
  progress_.Begin(pair_selected, DEFAULTSECONDS);
  shown_progress_ = {-1, 0};
  Report_Progress();
  host_.Enable_Start_Button(false);
  Wait_With_Messages(1, Pump_Function(), clock_);
  host_.Enable_All_Buttons(false, state_ == Run_State::Running);
  Clean_ALL_Stats(graph_, host_);
  host_.Redraw_Graph();
  Pump();
  Log("Benchmark Start");
  bool ran = false;
  if (stopprogram) Log("Abort on user request!!!!!!!!!!!!!!!!!!");
  else ran = Synthetic_Test(drive, work_folder);
  outcome_ = stopprogram ? Run_Outcome::Stopped : ran ? Run_Outcome::Completed : Run_Outcome::Refused;
  if (outcome_ == Run_Outcome::Completed) {
    host_.Send_Result_To_Database();
    host_.Send_Result_to_Grid();
  }
}

void Benchmark_Engine::Finish_Run() {
  run_folder_.Release();
  written_.clear();
  host_.Display_Loading_Panel(false, "");
  host_.Enable_All_Buttons(true, true);
  Set_State(Run_State::Idle);
}

bool Benchmark_Engine::Synthetic_Test(const std::string& targetdrive, const std::string& work_folder) {
  Log("Synthetic Test Start");
  Log("Target Drive:" + targetdrive);
  bool ran = false;
  try {
    ran = Run_Plan(targetdrive, work_folder);
  } catch (const std::exception& error) {
    Log(Error_Line(kEngineErrorName, error.what()));
  }
  Remove_Run_Folder();
  Log("Synthetic Test Finish");
  return ran;
}

void Benchmark_Engine::Remove_Run_Folder() {
  if (run_folder_.claimed()) {
    const std::string folder = run_folder_.Path();
    Log("Deleting Temp Dir:" + folder);
    std::string reason;
    if (!run_folder_.Remove(reason, Pump_Function())) {
      Log("Error deleting temp folder:" + folder);
      Log(reason);
      cleanup_failure = "The run's folder " + folder + " was left behind: " + reason;
    }
  }
  run_folder_.Release();
}

bool Benchmark_Engine::Claim_Folder(const std::string& work_folder) {
  if (platform::Run_Folder::Holds_Leftover(os_, work_folder, kTempFolderName))
    host_.Display_Loading_Panel(true, "Deleting temporary files, please wait...");
  std::string reason;
  const platform::Claim_Status status = run_folder_.Claim(os_, work_folder, kTempFolderName, reason, Pump_Function());
  host_.Display_Loading_Panel(false, "");
  const std::string folder = run_folder_.Path();
  if (status == platform::Claim_Status::Busy) {
    Report_Error("Another run is using " + folder);
    return false;
  }
  if (status == platform::Claim_Status::Refused) {
    Log("Error creating temp folder, Target Fodler:" + folder);
    Report_Error("Cannot create folder " + folder + ": " + reason);
    return false;
  }
  Log("Target Folder:" + folder);
  return true;
}

bool Benchmark_Engine::Run_Plan(const std::string& drive, const std::string& work_folder) {
  // The folder comes first, so that the leftovers of an earlier run are gone before the
  // free space is measured.
  if (!Claim_Folder(work_folder)) return false;
  std::int32_t size = Calculate_Buffer_Size(work_folder);
  if (size <= 0) {
    Log("Error allocating buffer size");
    return false;
  }
  Log("Buffer Size:" + Size_Text(size));
  const std::int64_t sample = Calculate_Temp_File_Size(work_folder);
  const std::int64_t free = Free_Space();
  if (free < kFreeSpaceReserve) {
    // The rates of this run will all be 0; say why.
    const std::string text = "Not enough free space on " + drive + ": " + Size_Text(std::max<std::int64_t>(free, 0)) +
                             " free, 20 MB must stay free";
    Log(text);
    host_.Set_Status_Text(text);
  }
  graph_.GraphColumn[0].TargetSize = sample;
  const std::string file = Make_Unique_Name(run_folder_.Path(), "", ".tmp");
  if (file.empty()) {
    Log("Error getting temp filename, Target Folder:" + run_folder_.Path());
    return false;
  }
  Log("Target File:" + file);
  Run_Pairs(file);
  return true;
}

void Benchmark_Engine::Run_Pairs(const std::string& file) {
  const std::string folder = run_folder_.Path();
  // The sequential file never takes the last 20 MiB, nor more than the sample size.
  const std::int64_t limit = std::min(Free_Space() - kFreeSpaceReserve, graph_.GraphColumn[0].TargetSize);
  int position = 0;
  try {
    if (!pair_selected[0]) {
      position = 1;
    } else if (Counted_Test(0, [&] { return Sequential_Write(file, 0, limit); })) {
      position = 1;
      if (!stopprogram) Counted_Test(1, [&] { return Sequential_Read(file, 1); });
    }
    Delete_All_Tree(folder);
    Random_Pairs(folder, position);
  } catch (...) {
    Delete_All_Tree(folder);
    throw;
  }
}

void Benchmark_Engine::Random_Pairs(const std::string& folder, int& position) {
  while (position < graph_.TotalColumns && !stopprogram) {
    if (!pair_selected[static_cast<std::size_t>(position + 1) / 2]) {
      position += 2;
      continue;
    }
    ++position;
    if (Counted_Test(position, [&] { return Random_Write(folder, position); })) {
      ++position;
      if (!stopprogram) Counted_Test(position, [&] { return Random_Read(folder, position); });
    }
    Delete_All_Tree(folder);
  }
  Delete_All_Tree(folder);
}

bool Benchmark_Engine::Counted_Test(int position, const std::function<bool()>& test) {
  progress_.Test_Started(position, clock_.Now());
  Report_Progress();
  const bool result = test();
  progress_.Test_Finished(position, clock_.Now());
  Report_Progress();
  return result;
}

void Benchmark_Engine::Report_Progress() {
  if (state_ != Run_State::Running || stopprogram) return;
  const std::pair<int, std::int64_t> now{progress_.Done(), progress_.Seconds_Left(clock_.Now())};
  if (now == shown_progress_) return;
  shown_progress_ = now;
  host_.Show_Progress(now.first, progress_.Total(), now.second);
}

std::int64_t Benchmark_Engine::Free_Space() { return run_folder_.claimed() ? os_.Free_Bytes(run_folder_.Folder()) : -1; }

std::string Benchmark_Engine::Name_In_Run_Folder(const std::string& path) const {
  const std::string folder = run_folder_.Path() + "/";
  if (!run_folder_.claimed() || path.size() <= folder.size() || path.compare(0, folder.size(), folder) != 0) return "";
  const std::string name = path.substr(folder.size());
  return name.find('/') == std::string::npos ? name : "";
}

std::int32_t Benchmark_Engine::Calculate_Buffer_Size(const std::string& path) {
  std::int32_t size = 524288;
  Log("Calculating Buffer Size Start");
  try {
    MY_DriveInfo info;
    if (Get_Drive_Info(path, info, *inventory_)) {
      if (info.DriveType == platform::kDriveFixed)
        size = 8388608;
      else if (info.DriveType == platform::kDriveNetwork)
        size = 131072;
    }
  } catch (const std::exception& error) {
    Report_Error(Error_Line(kEngineErrorName, error.what()));
  }
  Log("Buffer Size:" + Size_Text(size));
  Log("Calculating Buffer Size Finish");
  return size;
}

std::int64_t Benchmark_Engine::Calculate_Temp_File_Size(const std::string&) {
  std::int64_t size = 1000000000;
  const std::int64_t free = Free_Space();
  Log("Targer Free Space:" + Size_Text(free));
  size = std::llround(static_cast<double>(free) * 0.9);
  Log("Final Temporary Sample Size:" + Size_Text(size));
  return size;
}

void Benchmark_Engine::Delete_All_Tree(const std::string& tempfolder) {
  host_.Display_Loading_Panel(true, "Deleting temporary files, please wait...");
  // Only the run's own folder is ever emptied; sub-folders go too, so that every pair of
  // tests starts from an empty folder.
  const bool ours = run_folder_.claimed() && tempfolder == run_folder_.Path();
  std::string reason;
  if (!ours || !run_folder_.Empty(reason, Pump_Function())) {
    Log("Error deleting temp folder:" + tempfolder);
    if (!reason.empty()) Log(reason);
  }
  if (ours) written_.clear();
  host_.Display_Loading_Panel(false, "");
}

void Benchmark_Engine::Show_Result(int column, double rate, const Device_Check& check) {
  if (column < 0 || column >= kPlanEntries) return;
  TMyGraphColumn& entry = graph_.GraphColumn[column];
  entry.Value = rate;
  entry.Check = check;
  Log(Device_Check_Log_Line(check));
  host_.DrawGraph(column, rate);
  if (entry.TestSpeedLabel.empty()) return;
  host_.Set_Label_Text(entry.TestSpeedLabel, Result_Text(rate));
  host_.Show_Device_Check(entry.TestSpeedLabel, check);
}

bool Benchmark_Engine::Finish_Test(const std::string& finish_line, const std::string& error_line, int pause_ms) {
  bool result = !stopprogram;
  if (!result) Log("Abort on user request!!!!!!!!!!!!!!!!!!");
  Log(finish_line);
  if (pause_ms > 0) clock_.Sleep(pause_ms);
  host_.Display_Loading_Panel(false, "");
  if (!error_line.empty()) Report_Error(error_line);
  return result;
}

void Benchmark_Engine::Report_Error(const std::string& line) {
  Log(line);
  host_.Show_Error(line);
}
