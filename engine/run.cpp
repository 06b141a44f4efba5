// A run: its request, the claim of its folder, the plan in pairs and the clean-ups.
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

// How often a transferring test tells its rate so far.
constexpr std::int64_t kLiveReportMs = 200;

}  // namespace

std::string Reserve_Text(std::int64_t free_bytes) {
  const std::int64_t free = std::max<std::int64_t>(free_bytes, 0);
  const std::int64_t unit_of = std::max(free, kFreeSpaceReserve);
  return Format_Size_As(free, unit_of, "0.00", false) + " free, " +
         Format_Size_As(kFreeSpaceReserve, unit_of, "0.00", false) + " must stay free";
}

Run_Services System_Run_Services() {
  return {platform::System_Platform(), platform::System_Inventory_Provider(), System_Clock()};
}

Run_Result Run(const Run_Request& request, Run_Observer& observer, std::stop_token stop, const Run_Services& services) {
  return Benchmark_Run(observer, std::move(stop), services).Run(request);
}

Sustained_Result Run_Sustained(const Sustained_Request& request, Run_Observer& observer, std::stop_token stop,
                               const Run_Services& services) {
  return Benchmark_Run(observer, std::move(stop), services).Sustained(request);
}

Benchmark_Run::Benchmark_Run(Run_Observer& observer, std::stop_token stop, const Run_Services& services)
    : observer_(observer), stop_(std::move(stop)), os_(services.os), inventory_(services.inventory),
      clock_(services.clock) {}

bool Benchmark_Run::Resolve(const std::string& drive, std::string& work_folder, std::string& error) {
  std::string reason;
  // The runner's --target is measured itself or refused, never another folder of its drive.
  if (os_.Resolve_Work_Folder(drive, work_folder, reason) && (!exact_folder || work_folder == drive)) return true;
  error = "Cannot write to " + drive + ": " + reason;
  Report_Error(error);
  return false;
}

Run_Result Benchmark_Run::Run(const Run_Request& request) {
  result_ = Run_Result();
  result_.drive = request.drive;
  DEFAULTSECONDS = std::clamp(request.seconds, 0, 200);
  result_.seconds = DEFAULTSECONDS;
  pairs_ = request.pairs;
  exact_folder = request.exact_folder;
  std::string work_folder;
  if (!Resolve(request.drive, work_folder, result_.error)) {
    result_.outcome = Run_Outcome::Refused;
    return result_;
  }
  return Run_Tests(request.drive, work_folder);
}

Run_Result Benchmark_Run::Run_Tests(const std::string& drive, const std::string& work_folder) {
  progress_.Begin(pairs_, DEFAULTSECONDS, clock_.Now(), kStartPauseMs);
  shown_progress_ = {-1, 0};
  Checkpoint();
  Wait(kStartPauseMs);
  observer_.Tests_Begin();
  Checkpoint();
  Log("Benchmark Start");
  bool ran = false;
  if (Stopping()) Log("Abort on user request!!!!!!!!!!!!!!!!!!");
  else ran = Synthetic_Test(drive, work_folder);
  result_.outcome = Stopping() ? Run_Outcome::Stopped : ran ? Run_Outcome::Completed : Run_Outcome::Refused;
  result_.cleanup_failure = cleanup_failure;
  observer_.Activity("");
  return result_;
}

bool Benchmark_Run::Synthetic_Test(const std::string& targetdrive, const std::string& work_folder) {
  Log("Synthetic Test Start");
  Log("Target Drive:" + targetdrive);
  bool ran = false;
  std::exception_ptr escaped;
  try {
    ran = Run_Plan(targetdrive, work_folder);
  } catch (const std::exception& error) {
    Log(Error_Line(kEngineErrorName, error.what()));
  } catch (...) {
    escaped = std::current_exception();
  }
  // The final clean-up always runs; what the engine cannot handle goes on to the caller
  // after it.
  Remove_Run_Folder();
  Log("Synthetic Test Finish");
  if (escaped) std::rethrow_exception(escaped);
  return ran;
}

void Benchmark_Run::Remove_Run_Folder() {
  if (run_folder_.claimed()) {
    const std::string folder = run_folder_.Path();
    Log("Deleting Temp Dir:" + folder);
    std::string reason;
    if (!run_folder_.Remove(reason, Checkpoint_Function())) {
      Log("Error deleting temp folder:" + folder);
      Log(reason);
      cleanup_failure = "The run's folder " + folder + " was left behind: " + reason;
    }
  }
  run_folder_.Release();
  written_.clear();
}

bool Benchmark_Run::Claim_Folder(const std::string& work_folder) {
  if (platform::Run_Folder::Holds_Leftover(os_, work_folder, kTempFolderName))
    observer_.Activity("Deleting temporary files, please wait...");
  std::string reason;
  const platform::Claim_Status status =
      run_folder_.Claim(os_, work_folder, kTempFolderName, reason, Checkpoint_Function());
  observer_.Activity("");
  const std::string folder = run_folder_.Path();
  if (status == platform::Claim_Status::Busy) {
    result_.error = "Another run is using " + folder;
  } else if (status == platform::Claim_Status::Refused) {
    Log("Error creating temp folder, Target Fodler:" + folder);
    result_.error = "Cannot create folder " + folder + ": " + reason;
  } else {
    Log("Target Folder:" + folder);
    return true;
  }
  Report_Error(result_.error);
  return false;
}

bool Benchmark_Run::Run_Plan(const std::string& drive, const std::string& work_folder) {
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
  // Two blocks: a folder that grows may take two at once (a name index and a new leaf).
  folder_blocks_ = 2 * std::max<std::int64_t>(os_.Block_Bytes(run_folder_.Folder()), 512);
  if (free <= kFreeSpaceReserve) {
    // The rates of this run will all be 0; say why.
    const std::string text = "Not enough free space on " + drive + ": " + Reserve_Text(free);
    Log(text);
    observer_.Status(text);
  }
  const std::string file = Make_Unique_Name(run_folder_.Path(), "", ".tmp");
  if (file.empty()) {
    Log("Error getting temp filename, Target Folder:" + run_folder_.Path());
    return false;
  }
  Log("Target File:" + file);
  // The sequential file never takes the last 20 MiB, nor more than the sample size.
  sample_size_ = sample;
  Run_Pairs(file);
  return true;
}

void Benchmark_Run::Run_Pairs(const std::string& file) {
  const std::string folder = run_folder_.Path();
  const std::int64_t limit = std::min(Free_Space() - kFreeSpaceReserve, sample_size_);
  int position = 0;
  try {
    if (!pairs_[0]) {
      position = 1;
    } else if (Counted_Test(0, [&] { return Sequential_Write(file, 0, limit); })) {
      position = 1;
      if (!Stopping()) Counted_Test(1, [&] { return Sequential_Read(file, 1); });
    }
    Delete_All_Tree(folder);
    Random_Pairs(folder, position);
  } catch (...) {
    Delete_All_Tree(folder);
    throw;
  }
}

void Benchmark_Run::Random_Pairs(const std::string& folder, int& position) {
  while (position < kLastTest && !Stopping()) {
    if (!pairs_[static_cast<std::size_t>(position + 1) / 2]) {
      position += 2;
      continue;
    }
    ++position;
    if (Counted_Test(position, [&] { return Random_Write(folder, position); })) {
      ++position;
      if (!Stopping()) Counted_Test(position, [&] { return Random_Read(folder, position); });
    }
    Delete_All_Tree(folder);
  }
  Delete_All_Tree(folder);
}

bool Benchmark_Run::Counted_Test(int position, const std::function<bool()>& test) {
  const TDateTime now = clock_.Now();
  progress_.Test_Started(position, now);
  live_ = Live_Test{position, now, 0, now, 0};
  observer_.Test_Started(position);
  Checkpoint();
  const bool result = test();
  live_ = Live_Test{};
  progress_.Test_Finished(position, clock_.Now());
  observer_.Test_Finished(position, result_.tests[static_cast<std::size_t>(position)]);
  Checkpoint();
  return result;
}

void Benchmark_Run::Checkpoint() {
  if (Stopping()) return;
  const TDateTime now = clock_.Now();
  if (live_.position >= 0 && live_.bytes != live_.reported_bytes &&
      Milliseconds_Between(live_.reported_at, now) >= kLiveReportMs) {
    live_.reported_at = now;
    live_.reported_bytes = live_.bytes;
    observer_.Test_Progress(live_.position, live_.bytes,
                            static_cast<double>(Milliseconds_Between(live_.start, now)) / 1000.0);
  }
  const std::pair<int, std::int64_t> shown{progress_.Done(), progress_.Seconds_Left(now)};
  if (shown == shown_progress_) return;
  shown_progress_ = shown;
  observer_.Progress(shown.first, progress_.Total(), shown.second);
}

void Benchmark_Run::Wait(int ms) {
  for (int waited = 0; waited < ms && !Stopping(); waited += 100) {
    clock_.Sleep(std::min(100, ms - waited));
    Checkpoint();
  }
}

std::int64_t Benchmark_Run::Free_Space() { return run_folder_.claimed() ? os_.Free_Bytes(run_folder_.Folder()) : -1; }

bool Benchmark_Run::Fits_Above_Reserve(std::int64_t bytes) {
  return Free_Space() - kFreeSpaceReserve >= bytes + folder_blocks_;
}

void Benchmark_Run::No_Room(int position, const std::string& what) {
  write_had_no_room_ = true;
  Test_Result& test = result_.tests[static_cast<std::size_t>(position)];
  test.note = "Not enough free space for " + what + ": " + Reserve_Text(Free_Space());
  const std::string line = std::string(kPlannedTests[static_cast<std::size_t>(position)].Description) + ": " + test.note;
  Log(line);
  observer_.Status(line);
}

void Benchmark_Run::Nothing_To_Read(int position) {
  Test_Result& test = result_.tests[static_cast<std::size_t>(position)];
  test.note = "Nothing to read: the write before it had no room above the reserve";
  const std::string line = std::string(kPlannedTests[static_cast<std::size_t>(position)].Description) + ": " + test.note;
  Log(line);
  observer_.Status(line);
}

std::string Benchmark_Run::Name_In_Run_Folder(const std::string& path) const {
  const std::string folder = run_folder_.Path() + "/";
  if (!run_folder_.claimed() || path.size() <= folder.size() || path.compare(0, folder.size(), folder) != 0) return "";
  const std::string name = path.substr(folder.size());
  return name.find('/') == std::string::npos ? name : "";
}

std::int32_t Benchmark_Run::Calculate_Buffer_Size(const std::string& path) {
  std::int32_t size = 524288;
  Log("Calculating Buffer Size Start");
  try {
    MY_DriveInfo info;
    if (Get_Drive_Info(path, info, inventory_)) {
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

std::int64_t Benchmark_Run::Calculate_Temp_File_Size(const std::string&) {
  std::int64_t size = 1000000000;
  const std::int64_t free = Free_Space();
  Log("Targer Free Space:" + Size_Text(free));
  size = std::llround(static_cast<double>(free) * 0.9);
  Log("Final Temporary Sample Size:" + Size_Text(size));
  return size;
}

void Benchmark_Run::Delete_All_Tree(const std::string& tempfolder) {
  observer_.Activity("Deleting temporary files, please wait...");
  // Only the run's own folder is ever emptied; sub-folders go too, so that every pair of
  // tests starts from an empty folder.
  const bool ours = run_folder_.claimed() && tempfolder == run_folder_.Path();
  std::string reason;
  if (!ours || !run_folder_.Empty(reason, Checkpoint_Function())) {
    Log("Error deleting temp folder:" + tempfolder);
    if (!reason.empty()) Log(reason);
  }
  if (ours) written_.clear();
  observer_.Activity("");
}

void Benchmark_Run::Show_Result(int column, double rate, const Device_Check& check) {
  if (column < 0 || column >= kPlannedTestCount) return;
  Test_Result& test = result_.tests[static_cast<std::size_t>(column)];
  test.rate = rate;
  test.check = check;
  Log(Device_Check_Log_Line(check));
}

bool Benchmark_Run::Finish_Test(const std::string& finish_line, const std::string& error_line, int pause_ms) {
  bool result = !Stopping();
  if (!result) Log("Abort on user request!!!!!!!!!!!!!!!!!!");
  Log(finish_line);
  if (pause_ms > 0) Wait(pause_ms);
  observer_.Activity("");
  if (!error_line.empty()) Report_Error(error_line);
  return result;
}

void Benchmark_Run::Report_Error(const std::string& line) {
  Log(line);
  observer_.Error(line);
}
