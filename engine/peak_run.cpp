// A run of the peak tests: the folder claimed as a run of the plan claims it, the test file
// sized within the free-space reserve and filled, the tests with a pause between them, and
// the clean-up whatever happened.
#include <algorithm>
#include <exception>

#include "common/log.h"
#include "common/peak_export.h"
#include "engine/benchmark.h"
#include "engine/peak.h"
#include "engine/peak_transfers.h"
#include "platform/run_folder.h"

namespace {

constexpr const char* kPeakFile = "peak.tmp";
constexpr std::int64_t kMiB = 1 << 20;
// Room left beside the file for what the file system adds (its extents, the folder).
constexpr std::int64_t kFileSystemSlack = 8 * kMiB;
constexpr int kPauseStepMs = 100;
constexpr const char* kAbortLine = "Abort on user request!!!!!!!!!!!!!!!!!!";

std::string Size_Text(std::int64_t bytes) { return Format_Size(bytes, "0.##", false); }

class Peak_Run {
 public:
  Peak_Run(const Peak_Request& request, Peak_Observer& observer, std::stop_token stop)
      : request_(request),
        observer_(observer),
        stop_(std::move(stop)),
        os_(request.os != nullptr ? *request.os : platform::System_Platform()),
        clock_(request.clock != nullptr ? *request.clock : System_Clock()) {}

  Peak_Result Go() {
    result_.target = request_.drive;
    result_.seconds = request_.seconds;
    Log("Peak Start");
    Log("Target Drive:" + request_.drive);
    if (Claim()) {
      result_.outcome = Peak_Outcome::Completed;
      try {
        Measure();
      } catch (const std::exception& error) {
        Fail(Error_Line(kEngineErrorName, error.what()));
      }
      Clean_Up();
    }
    Log("Peak Finish");
    if (result_.outcome == Peak_Outcome::Completed && stopped_) result_.outcome = Peak_Outcome::Stopped;
    return result_;
  }

 private:
  void Log(const std::string& line) { observer_.Log(line); }
  void Refuse(const std::string& text) {
    Log(text);
    result_.error = text;
    result_.outcome = Peak_Outcome::Refused;
  }
  void Fail(const std::string& text) {
    Log(text);
    result_.error = text;
    result_.outcome = Peak_Outcome::Failed;
  }
  void Stopped() {
    stopped_ = true;
    Log(kAbortLine);
  }

  bool Claim() {
    std::string work_folder, reason;
    if (!os_.Resolve_Work_Folder(request_.drive, work_folder, reason)) {
      Refuse("Cannot write to " + request_.drive + ": " + reason);
      return false;
    }
    observer_.Status("Deleting temporary files, please wait...");
    const platform::Claim_Status status = folder_.Claim(os_, work_folder, kTempFolderName, reason);
    if (status == platform::Claim_Status::Busy) Refuse("Another run is using " + folder_.Path());
    else if (status == platform::Claim_Status::Refused) Refuse("Cannot create folder " + folder_.Path() + ": " + reason);
    else Log("Target Folder:" + folder_.Path());
    return status == platform::Claim_Status::Claimed;
  }

  void Measure() {
    const std::int64_t free = os_.Free_Bytes(folder_.Folder());
    const std::int64_t asked = std::clamp(request_.size, kPeakMinSize, kPeakMaxSize) / kMiB * kMiB;
    result_.size = Peak_File_Size(request_.size, free);
    const std::string free_text =
        Size_Text(std::max<std::int64_t>(free, 0)) + " free, " + Size_Text(kFreeSpaceReserve) + " must stay free";
    if (result_.size == 0) {
      Refuse("Not enough free space in " + folder_.Path() + " for a test file of at least " + Size_Text(kPeakMinSize) +
             ": " + free_text);
      return;
    }
    if (result_.size < asked) {
      result_.note = "Only " + Size_Text(result_.size) + " of " + Size_Text(asked) + " fit for the test file: " + free_text;
      Log(result_.note);
    }
    Log("Peak Test File Size:" + Size_Text(result_.size));
    const std::string path = folder_.Path() + "/" + kPeakFile;
    Log("Creating File:" + path);
    platform::Open_Result opened = os_.Create_File(folder_.Folder(), kPeakFile, true);
    if (!opened.file.valid()) {
      Fail("Error creating file " + path + ": " + platform::Error_Text(opened.error));
      return;
    }
    result_.direct = opened.mode == platform::Io_Mode::Direct;
    Log(std::string("Transfer Mode:") + platform::Io_Mode_Name(opened.mode));
    const std::int64_t test_ms = request_.test_ms > 0 ? request_.test_ms : request_.seconds * 1000LL;
    Peak_Context context{os_,          clock_,           stop_,
                         observer_,    opened.file,      folder_.Folder(),
                         path,         result_.size,     request_.backend,
                         request_.warmup_ms * 1'000'000, std::max<std::int64_t>(test_ms, 1) * 1'000'000};
    context.total = static_cast<int>(std::count(request_.selected.begin(), request_.selected.end(), true));
    context.after_ns = Plan_Ns(context, 0);
    if (Fill(context)) Tests(context);
  }

  // About how long the selected tests from index on take, with the pauses before them.
  std::int64_t Plan_Ns(const Peak_Context& context, std::size_t from) const {
    std::int64_t total = 0;
    for (std::size_t i = from; i < kPeakTests.size(); ++i)
      if (request_.selected[i]) total += context.warmup_ns + context.test_ns + request_.pause_ms * 1'000'000;
    return total;
  }

  bool Fill(Peak_Context& context) {
    observer_.Status("Writing the test file of " + Size_Text(result_.size) + "...");
    const Fill_Outcome fill = Fill_Test_File(context);
    result_.engine = fill.engine;
    result_.engine_note = fill.engine_note;
    if (!fill.engine.empty())
      Log("I/O Engine:" + fill.engine + (fill.engine_note.empty() ? "" : " (" + fill.engine_note + ")"));
    if (!fill.error.empty()) Fail(fill.error);
    else if (fill.stopped) Stopped();
    else Log("Test File Written:" + Size_Text(result_.size));
    // Every test takes the back end that wrote the file.
    if (fill.engine == "io_uring") context.backend = platform::Io_Backend::Io_Uring;
    if (fill.engine == "thread pool") context.backend = platform::Io_Backend::Thread_Pool;
    return fill.error.empty() && !fill.stopped;
  }

  void Tests(Peak_Context& context) {
    bool first = true;
    for (std::size_t index = 0; index < kPeakTests.size(); ++index) {
      if (!request_.selected[index]) continue;
      context.after_ns = Plan_Ns(context, index + 1);
      if (!first) Pause(context, static_cast<int>(index));
      first = false;
      if (stop_.stop_requested()) {
        Stopped();
        return;
      }
      if (!Test(context, static_cast<int>(index))) return;
    }
  }

  // One test; false when it was stopped.
  bool Test(Peak_Context& context, int index) {
    const std::string key = kPeakTests[static_cast<std::size_t>(index)].key;
    os_.Drop_Cache(context.file);
    observer_.Test_Started(index);
    observer_.Status(key + " Start...");
    Log(key + " Start");
    bool measured = false;
    const Peak_Test_Result test = Run_Peak_Test(context, index, measured);
    // A test that failed shows why, whether or not its span began; one stopped before it
    // began has nothing to show.
    if (measured || !test.note.empty()) result_.tests.push_back(test);
    if (measured) {
      const bool write = kPeakTests[static_cast<std::size_t>(index)].write;
      Log(key + ": " + Peak_Figures_Text(test) + (write ? ", flush " + Fixed_Text(test.sync_ns / 1e6, 1) + " ms" : "") +
          ", " + std::to_string(test.ios) + " transfers in " + Fixed_Text(test.span_ns / 1e9, 3) + " s");
      Log(Device_Check_Log_Line(test.check));
    }
    if (!test.note.empty()) Log(test.note);
    if (test.stopped) Stopped();
    Log(key + " Finish");
    ++context.done;
    observer_.Test_Finished(test);
    return !test.stopped;
  }

  // The pause between two tests, in short steps so that Stop ends it at once.
  void Pause(Peak_Context& context, int next) {
    Peak_Progress progress;
    progress.phase = Peak_Phase::Pause;
    progress.test = next;
    progress.done = context.done;
    progress.total = context.total;
    progress.seconds_left = (context.after_ns + context.warmup_ns + context.test_ns + request_.pause_ms * 1'000'000 +
                             999'999'999) / 1'000'000'000;
    observer_.Progress(progress);
    for (std::int64_t slept = 0; slept < request_.pause_ms && !stop_.stop_requested(); slept += kPauseStepMs)
      clock_.Sleep(static_cast<int>(std::min<std::int64_t>(kPauseStepMs, request_.pause_ms - slept)));
  }

  void Clean_Up() {
    observer_.Status("Deleting temporary files, please wait...");
    const std::string path = folder_.Path();
    Log("Deleting Temp Dir:" + path);
    std::string reason;
    if (!folder_.Remove(reason)) {
      Log("Error deleting temp folder:" + path);
      Log(reason);
    }
  }

  const Peak_Request& request_;
  Peak_Observer& observer_;
  std::stop_token stop_;
  platform::Platform& os_;
  Clock& clock_;
  platform::Run_Folder folder_;
  Peak_Result result_;
  bool stopped_ = false;
};

}  // namespace

std::int64_t Peak_File_Size(std::int64_t asked, std::int64_t free_bytes) {
  const std::int64_t wanted = std::clamp(asked, kPeakMinSize, kPeakMaxSize) / kMiB * kMiB;
  const std::int64_t room = (free_bytes - kFreeSpaceReserve - kFileSystemSlack) / kMiB * kMiB;
  const std::int64_t size = std::min(wanted, room);
  return free_bytes >= 0 && size >= kPeakMinSize ? size : 0;
}

Peak_Result Run_Peak(const Peak_Request& request, Peak_Observer& observer, std::stop_token stop) {
  return Peak_Run(request, observer, std::move(stop)).Go();
}
