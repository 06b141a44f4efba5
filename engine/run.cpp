#include <algorithm>
#include <chrono>
#include <cmath>
#include <exception>
#include <thread>

#include "common/log.h"
#include "common/result_text.h"
#include "engine/benchmark.h"
#include "engine/plan.h"
#include "inventory/drive_info.h"

namespace {

std::string Join(const std::string& folder, const std::string& name) {
  return (!folder.empty() && folder.back() == '/') ? folder + name : folder + "/" + name;
}

std::string Size_Text(std::int64_t bytes) { return Format_Size(bytes, "0.##", false); }

}  // namespace

Benchmark_Engine::Benchmark_Engine(TMyGraph& graph, Engine_Host& host, platform::Platform& os)
    : graph_(graph), host_(host), os_(os) {}

void Benchmark_Engine::StartButtonClick(const std::string& drive_text, const std::string& testtime_text) {
  if (caption_ != "Start" || programrunning) {
    Stop_Run();
    return;
  }
  Run(drive_text, testtime_text);
}

void Benchmark_Engine::Stop_Run() {
  if (!programrunning) return;
  stopprogram = true;
  caption_ = "Start";
  host_.Set_Start_Caption(caption_);
  host_.Enable_Start_Button(false);
  host_.Display_Loading_Panel(true, "Stopping, please wait...");
}

void Benchmark_Engine::Run(const std::string& drive, const std::string& testtime_text) {
  std::string work_folder, reason;
  run_started = false;
  if (!os_.Resolve_Work_Folder(drive, work_folder, reason)) {
    std::string text = "Cannot write to " + drive + ": " + reason;
    Log(text);
    host_.Show_Error(text);
    return;
  }
  programrunning = true;
  try {
    Run_Tests(drive, work_folder, testtime_text);
  } catch (...) {
    Finish_Run();  // whatever escaped, the window returns to idle
    throw;
  }
  Finish_Run();
}

void Benchmark_Engine::Run_Tests(const std::string& drive, const std::string& work_folder,
                                 const std::string& testtime_text) {
  std::int64_t seconds = Str_To_Int64_Safe(testtime_text);
  DEFAULTSECONDS = static_cast<std::int32_t>(std::clamp<std::int64_t>(seconds, 0, 200));
  caption_ = "Stop";
  host_.Set_Start_Caption(caption_);
  host_.Enable_Start_Button(false);
  Wait_With_Messages(1, Pump_Function());
  host_.Enable_All_Buttons(false, true);
  Clean_ALL_Stats(graph_, host_);
  host_.Redraw_Graph();
  Pump();
  stopprogram = false;
  Log("Benchmark Start");
  run_started = Synthetic_Test(drive, work_folder);
  if (!stopprogram && run_started) {
    host_.Send_Result_To_Database();
    host_.Send_Result_to_Grid();
  }
}

void Benchmark_Engine::Finish_Run() {
  host_.Display_Loading_Panel(false, "");
  host_.Enable_All_Buttons(true, true);
  programrunning = false;
  caption_ = "Start";
  host_.Set_Start_Caption(caption_);
}

bool Benchmark_Engine::Synthetic_Test(const std::string& targetdrive, const std::string& work_folder) {
  Log("Synthetic Test Start");
  Log("Target Drive:" + targetdrive);
  std::string folder;
  bool ran = false;
  try {
    ran = Run_Plan(work_folder, folder);
  } catch (const std::exception& error) {
    Log(Error_Line(error));
  }
  if (!folder.empty()) {
    Log("Deleting Temp Dir:" + folder);
    if (!Remove_Temp_Folder(folder)) Log("Error deleting temp folder:" + folder);
  }
  Log("Synthetic Test Finish");
  return ran;
}

bool Benchmark_Engine::Run_Plan(const std::string& work_folder, std::string& folder) {
  std::int32_t size = Calculate_Buffer_Size(work_folder);
  if (size <= 0) {
    Log("Error allocating buffer size");
    return false;
  }
  Log("Buffer Size:" + Size_Text(size));
  std::int64_t sample = Calculate_Temp_File_Size(work_folder);
  // The sequential file never takes the last 20 MiB, nor more than the sample size.
  std::int64_t limit = std::min(os_.Disk_Free(work_folder) - kFreeSpaceReserve, sample);
  graph_.GraphColumn[0].TargetSize = sample;
  folder = Join(work_folder, kTempFolderName);
  Delete_All_Tree(folder);
  std::string reason;
  if (!os_.Make_Folders(folder, reason)) {
    Log("Error creating temp folder, Target Fodler:" + folder);
    host_.Show_Error("Cannot create folder " + folder + ": " + reason);
    return false;
  }
  Log("Target Folder:" + folder);
  std::string file = Make_Unique_Name(folder, "", ".tmp");
  if (file.empty()) {
    Log("Error getting temp filename, Target Folder:" + folder);
    return false;
  }
  Log("Target File:" + file);
  int position = 0;
  try {
    if (!pair_selected[0]) {
      position = 1;
    } else if (Sequential_Write(file, 0, limit)) {
      position = 1;
      if (!stopprogram) Sequential_Read(file, 1);
    }
  } catch (...) {
    Delete_All_Tree(folder);
    throw;
  }
  Delete_All_Tree(folder);
  try {
    Random_Pairs(folder, position);
  } catch (...) {
    Delete_All_Tree(folder);
    throw;
  }
  return true;
}

void Benchmark_Engine::Random_Pairs(const std::string& folder, int& position) {
  while (position < graph_.TotalColumns && !stopprogram) {
    if (!pair_selected[static_cast<std::size_t>(position + 1) / 2]) {
      position += 2;
      continue;
    }
    ++position;
    if (Random_Write(folder, position)) {
      ++position;
      if (!stopprogram) Random_Read(folder, position);
    }
    Delete_All_Tree(folder);
  }
  Delete_All_Tree(folder);
}

std::int32_t Benchmark_Engine::Calculate_Buffer_Size(const std::string& path) {
  std::int32_t size = 524288;
  Log("Calculating Buffer Size Start");
  try {
    MY_DriveInfo info;
    if (Get_Drive_Info(path, info, os_)) {
      if (info.DriveType == 2)
        size = 8388608;
      else if (info.DriveType == 3)
        size = 131072;
    }
  } catch (const std::exception& error) {
    Report_Error(Error_Line(error));
  }
  Log("Buffer Size:" + Size_Text(size));
  Log("Calculating Buffer Size Finish");
  return size;
}

std::int64_t Benchmark_Engine::Calculate_Temp_File_Size(const std::string& path) {
  std::int64_t size = 1000000000;
  try {
    std::int64_t free = os_.Disk_Free(path);
    Log("Targer Free Space:" + Size_Text(free));
    size = std::llround(static_cast<double>(free) * 0.9);
  } catch (const std::exception& error) {
    Log(Error_Line(error));
  }
  Log("Final Temporary Sample Size:" + Size_Text(size));
  return size;
}

void Benchmark_Engine::Delete_All_Tree(const std::string& tempfolder) {
  host_.Display_Loading_Panel(true, "Deleting temporary files, please wait...");
  std::string reason;
  // Only the run's own folder is ever emptied; sub-folders go too, so that every pair of
  // tests starts from an empty folder.
  bool ours = tempfolder.size() > std::string(kTempFolderName).size() &&
              tempfolder.ends_with(std::string("/") + kTempFolderName);
  if (!ours || !os_.Remove_Tree(tempfolder, false, reason)) Log("Error deleting temp folder:" + tempfolder);
  host_.Display_Loading_Panel(false, "");
}

bool Benchmark_Engine::Remove_Temp_Folder(const std::string& folder) {
  std::string reason;
  if (!folder.ends_with(std::string("/") + kTempFolderName)) return false;
  return os_.Remove_Tree(folder, true, reason);
}

void Benchmark_Engine::Show_Result(int column, double rate) {
  if (column < 0 || column >= kPlanEntries) return;
  TMyGraphColumn& entry = graph_.GraphColumn[column];
  entry.Value = rate;
  host_.DrawGraph(column, rate);
  if (!entry.TestSpeedLabel.empty()) host_.Set_Label_Text(entry.TestSpeedLabel, Result_Text(rate));
}

bool Benchmark_Engine::Finish_Test(const std::string& finish_line, const std::string& error_line, int pause_ms) {
  bool result = !stopprogram;
  if (!result) Log("Abort on user request!!!!!!!!!!!!!!!!!!");
  Log(finish_line);
  if (pause_ms > 0) std::this_thread::sleep_for(std::chrono::milliseconds(pause_ms));
  host_.Display_Loading_Panel(false, "");
  if (!error_line.empty()) Report_Error(error_line);
  return result;
}

void Benchmark_Engine::Report_Error(const std::string& line) {
  Log(line);
  host_.Show_Error(line);
}
