// The sustained write in the run's own folder: sized from the free space, written block by
// block bypassing the page cache, sampled every second, then judged for a fall.
#include "engine/sustained_write.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <new>

#include "common/log.h"
#include "common/result_text.h"
#include "engine/benchmark.h"
#include "engine/device_span.h"

namespace {

constexpr const char* kSustainedFile = "sustained.tmp";
// The last block is cut to a multiple of this, which every device takes unbuffered.
constexpr std::int64_t kDirectUnit = 4096;

std::string Size_Text(std::int64_t bytes) { return Format_Size(bytes, "0.##", false); }

std::string Seconds_Text(std::int64_t ms) {
  char text[32];
  std::snprintf(text, sizeof text, "%.1f s", static_cast<double>(ms) / 1000.0);
  return text;
}

// The curve, one sample a second: bytes gather until a second is over.
class Curve_Recorder {
 public:
  explicit Curve_Recorder(std::vector<Rate_Sample>& curve) : curve_(curve) {}
  void Add(std::int64_t bytes) {
    pending_ += bytes;
    written_ += bytes;
  }
  bool Due(std::int64_t now_ms) const { return now_ms - last_ms_ >= kSampleMs; }
  void Close(std::int64_t now_ms) {
    curve_.push_back({now_ms, now_ms - last_ms_, pending_, written_});
    last_ms_ = now_ms;
    pending_ = 0;
  }
  // The rest after the last whole second: a sample of its own, or part of the one before
  // when it is too short to tell a rate.
  void Finish(std::int64_t now_ms) {
    if (now_ms <= last_ms_ && pending_ == 0) return;
    if (now_ms - last_ms_ >= kShortestSampleMs || curve_.empty()) {
      Close(now_ms);
      return;
    }
    Rate_Sample& last = curve_.back();
    last.span_ms += now_ms - last_ms_;
    last.end_ms = now_ms;
    last.bytes += pending_;
    last.written = written_;
    last_ms_ = now_ms;
    pending_ = 0;
  }

 private:
  std::vector<Rate_Sample>& curve_;
  std::int64_t last_ms_ = 0, pending_ = 0, written_ = 0;
};

}  // namespace

std::int64_t Sustained_Size(std::int64_t asked, std::int64_t free_bytes) {
  const std::int64_t size =
      asked > 0 ? asked : std::min<std::int64_t>(std::llround(static_cast<double>(free_bytes) * 0.9), kSustainedSizeCap);
  return std::max<std::int64_t>(0, std::min(size, free_bytes - kFreeSpaceReserve));
}

std::string Rate_Fall_Text(const Sustained_Result& result) {
  if (result.curve.size() < kFewestJudgedSamples) {
    // The size that takes about kSuggestedSeconds at the rate measured, in whole GiB.
    const double bytes = result.Mbps() * 1e6 * static_cast<double>(kSuggestedSeconds);
    const std::int64_t gib = std::max<std::int64_t>(1, static_cast<std::int64_t>(std::ceil(bytes / (1 << 30))));
    return "The write was too short to judge a fall: " + std::to_string(result.curve.size()) + " second" +
           (result.curve.size() == 1 ? "" : "s") + " measured, at least " + std::to_string(kFewestJudgedSamples) +
           " are needed; --size " + std::to_string(gib) + "G takes about " + std::to_string(kSuggestedSeconds) +
           " s at this rate";
  }
  const Rate_Fall& fall = result.fall;
  if (!fall.found)
    return "The rate held: no lasting fall below 70 % of the first seconds' " + Result_Text(fall.plateau) + " MB/s";
  const Rate_Sample& before = result.curve[fall.index - 1];
  return "The rate fell after " + Seconds_Text(before.end_ms) + " (" + Size_Text(before.written) + " written): from " +
         Result_Text(fall.plateau) + " MB/s to " + Result_Text(fall.after) + " MB/s";
}

Sustained_Result Benchmark_Run::Sustained(const Sustained_Request& request) {
  Sustained_Result result;
  exact_folder = request.exact_folder;
  std::string work_folder;
  if (!Resolve(request.drive, work_folder, result.error)) {
    result.outcome = Run_Outcome::Refused;
    return result;
  }
  Log("Sustained Write Start");
  Log("Target Drive:" + request.drive);
  bool ran = false;
  try {
    ran = Claim_Folder(work_folder);
    if (ran) Sustained_Write(request.size, result);
    else result.error = result_.error;
  } catch (const std::exception& error) {
    result.error = Error_Line(kEngineErrorName, error.what());
    Report_Error(result.error);
  }
  Remove_Run_Folder();
  Log("Sustained Write Finish");
  result.cleanup_failure = cleanup_failure;
  result.stopped = Stopping();
  result.outcome = Stopping() ? Run_Outcome::Stopped : ran ? Run_Outcome::Completed : Run_Outcome::Refused;
  observer_.Activity("");
  return result;
}

void Benchmark_Run::Sustained_Write(std::int64_t asked, Sustained_Result& result) {
  const std::int64_t block_size = Calculate_Buffer_Size(run_folder_.Path());
  const std::int64_t free = Free_Space();
  result.size = Sustained_Size(asked, free);
  const std::string free_text = Reserve_Text(free);
  if (result.size <= 0) {
    result.error = "Not enough free space in " + run_folder_.Path() + ": " + free_text;
    Report_Error(result.error);
    return;
  }
  if (asked > result.size) {
    const std::string text = "Only " + Size_Text(result.size) + " of " + Size_Text(asked) + " can be written: " + free_text;
    Log(text);
    observer_.Status(text);
  }
  Log("Sustained Write Size:" + Size_Text(result.size));
  const std::string path = run_folder_.Path() + "/" + kSustainedFile;
  Log("Creating File:" + path);
  platform::Open_Result opened = os_.Create_File(run_folder_.Folder(), kSustainedFile, true);
  if (!opened.file.valid()) {
    result.error = "Error creating file " + path + ": " + platform::Error_Text(opened.error);
    Report_Error(result.error);
    return;
  }
  Log(std::string("Transfer Mode:") + platform::Io_Mode_Name(opened.mode));
  platform::Aligned_Buffer buffer(static_cast<std::size_t>(block_size));
  if (!buffer.valid()) throw std::bad_alloc();
  Fill_Random_Buffer(buffer.data(), buffer.size());
  observer_.Activity("Sustained Write Start...");
  Device_Span span(os_, run_folder_.Folder());
  span.Begin();
  Sustained_Loop(opened, buffer, path, result);
  result.check = span.End(false, result.written);
  Log(Device_Check_Log_Line(result.check));
  std::vector<double> rates;
  for (const Rate_Sample& sample : result.curve) rates.push_back(sample.Mbps());
  if (rates.size() >= kFewestJudgedSamples) result.fall = Find_Rate_Fall(rates);
  Log("Sustained Write: " + Size_Text(result.written) + " in " + Seconds_Text(result.elapsed_ms) + ", " +
      Result_Text(result.Mbps()) + " MB/s");
  Log(Rate_Fall_Text(result));
  if (!result.error.empty()) Report_Error(result.error);
}

void Benchmark_Run::Sustained_Loop(platform::Open_Result& opened, platform::Aligned_Buffer& buffer,
                                      const std::string& path, Sustained_Result& result) {
  const bool direct = opened.mode == platform::Io_Mode::Direct;
  Curve_Recorder curve(result.curve);
  const TDateTime start = clock_.Now();
  auto now_ms = [&] { return Milliseconds_Between(start, clock_.Now()); };
  // The data must be on the drive before it counts: out of the page cache, and out of a
  // volatile cache below (a drive's DRAM, a virtual disk's host), which would otherwise
  // take seconds of data and give it up only at the end.
  std::int64_t flushed_ms = 0;
  auto flush = [&] {
    const int error = direct ? os_.Flush_File(opened.file) : os_.Sync_And_Drop_Cache(opened.file);
    if (error != 0 && result.error.empty())
      result.error = "Error flushing file " + path + ": " + platform::Error_Text(error);
    return error == 0;
  };
  while (result.written < result.size && !Stopping()) {
    const std::int64_t chunk =
        std::min<std::int64_t>(static_cast<std::int64_t>(buffer.size()), result.size - result.written) /
        kDirectUnit * kDirectUnit;
    // The free space is asked again before every block: others may be filling the drive.
    if (chunk == 0 || os_.Free_Bytes(run_folder_.Folder()) - chunk < kFreeSpaceReserve) {
      if (chunk != 0) result.error = "The free space of " + run_folder_.Path() + " fell to the 20 MB reserve";
      break;
    }
    int error = 0;
    os_.Write_All(opened.file, buffer.data(), static_cast<std::size_t>(chunk), error);
    if (error != 0) {
      result.error = "Error writing file " + path + ": " + platform::Error_Text(error);
      break;
    }
    result.written += chunk;
    curve.Add(chunk);
    if (now_ms() - flushed_ms >= kFlushMs) {
      if (!flush()) break;
      flushed_ms = now_ms();
      if (curve.Due(flushed_ms)) {
        curve.Close(flushed_ms);
        const Rate_Sample& last = result.curve.back();
        observer_.Activity("Sustained Write " + Size_Text(last.written) + " of " + Size_Text(result.size) + ", " +
                           Result_Text(last.Mbps()) + " MB/s");
      }
    }
    Checkpoint();
  }
  flush();
  opened.file.close();
  result.elapsed_ms = now_ms();
  curve.Finish(result.elapsed_ms);
  observer_.Activity("");
}
