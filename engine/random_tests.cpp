// The file tests: many one-block files written through the cache and forced out one by
// one, then read back unbuffered in cycles until the test time is up.
#include <algorithm>
#include <new>
#include <stdexcept>
#include <vector>

#include "common/clock.h"
#include "common/log.h"
#include "engine/benchmark.h"
#include "engine/plan.h"

namespace {

constexpr int kFilesPerFolder = 60000;

// A file that could not be created ends the write test with an error for the user.
class File_Create_Error : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// Files that could not be opened or read: counted, and the first one named, so that the
// user learns of them once at the end of the test instead of at every file.
class Read_Failures {
 public:
  void Note(const std::string& path, int error) {
    if (count_++ == 0) first_ = "Error reading file " + path + ": " + platform::Error_Text(error);
  }
  std::string Text() const {
    if (count_ <= 1) return first_;
    return first_ + " (" + std::to_string(count_) + " failed reads)";
  }

 private:
  std::string first_;
  long long count_ = 0;
};

}  // namespace

bool Benchmark_Engine::Random_Write(const std::string& TargetFolder, int GraphPosition) {
  const TMyGraphColumn& entry = graph_.GraphColumn[GraphPosition];
  const std::string D = entry.Description;
  Log("Random Write Test Start");
  host_.Display_Loading_Panel(true, D + " " + " Start...");
  std::int64_t total = 0, blocks = 0, elapsed = 0;
  int sub_folder = 0;
  const std::int64_t limit = os_.Disk_Free(TargetFolder) - kFreeSpaceReserve;
  const std::int64_t block_size = entry.BufferSize;
  const std::int64_t limit_ms = static_cast<std::int64_t>(DEFAULTSECONDS) * 1000;
  if (stopprogram) return false;
  // Each file takes at least one allocation unit, so small files are charged against the
  // free-space limit at that size: the drive keeps its 20 MiB whatever the block size.
  const std::int64_t unit = std::max<std::int64_t>(os_.Allocation_Unit(TargetFolder), 1);
  const std::int64_t charge = (block_size + unit - 1) / unit * unit;
  std::int64_t charged = 0;
  std::string error_line;
  TDateTime start = Now(), end = start;
  {
    platform::Aligned_Buffer buffer(static_cast<std::size_t>(block_size));
    try {
      if (!buffer.valid()) throw std::bad_alloc();
      Fill_Random_Buffer(buffer.data(), buffer.size());
      std::string folder = TargetFolder;
      int n = 0;
      start = Now();
      while (total < limit && charged < limit && !stopprogram && elapsed <= limit_ms) {
        if (++n > kFilesPerFolder) {
          folder += "/tmp-" + std::to_string(++sub_folder);
          std::string reason;
          if (!os_.Make_Folders(folder, reason)) throw File_Create_Error("Cannot create folder " + folder + ": " + reason);
          n = 0;
        }
        std::string path = folder + "/temp-" + std::to_string(n) + ".tmp";
        platform::Open_Result opened = os_.Open_Transfer_File(path, true, false);
        if (!opened.file.valid())
          throw File_Create_Error("Cannot create file " + path + ": " + platform::Error_Text(opened.error));
        int error = 0;
        total += os_.Write_All(opened.file, buffer.data(), buffer.size(), error);
        charged += charge;
        if (error == 0) error = os_.Flush_File(opened.file);
        if (error == 0) error = opened.file.close();
        if (error == 0) ++blocks;  // a file counts only when its whole block reached the drive
        elapsed = Milliseconds_Between(start, Now());
        Pump();
        if (error != 0) {
          error_line = "Error writing file " + path + ": " + platform::Error_Text(error);
          break;
        }
      }
    } catch (const std::exception& error) {
      error_line = Error_Line(error);
    }
    end = Now();
  }
  double rate = Calculate_Speed(start, end, blocks, block_size);
  Pump();
  Show_Result(GraphPosition, rate);
  return Finish_Test("Random Write Test Finish", error_line, 0);
}

bool Benchmark_Engine::Random_Read(const std::string& SourceFolder, int GraphPosition) {
  const TMyGraphColumn& entry = graph_.GraphColumn[GraphPosition];
  const std::string D = entry.Description;
  Log("Random Read Test Start");
  host_.Display_Loading_Panel(true, D + " " + " Start...");
  std::int64_t blocks = 0, elapsed = 0;
  TDateTime start = Now();
  const std::int64_t block_size = entry.BufferSize;
  const std::int64_t limit_ms = static_cast<std::int64_t>(DEFAULTSECONDS) * 1000;
  if (stopprogram) return false;
  std::string error_line;
  TDateTime end = start;
  {
    platform::Aligned_Buffer buffer(static_cast<std::size_t>(block_size));
    std::vector<std::string> files;
    try {
      if (!buffer.valid()) throw std::bad_alloc();
      Find_Files(files, SourceFolder, "*.*", Pump_Function());
      const std::size_t count = files.size();
      // Unbuffered unless the file system refuses it or needs a larger alignment than the
      // block; then each file's cached pages are dropped before it is read.
      bool unbuffered = true;
      bool mode_logged = false;
      Read_Failures failures;
      std::size_t i = count;
      while (count > 0 && !stopprogram && elapsed <= limit_ms) {
        if (++i >= count) i = 0;
        platform::Open_Result opened = os_.Open_Transfer_File(files[i], false, unbuffered);
        if (opened.file.valid() && opened.mode == platform::Io_Mode::Direct) {
          std::size_t alignment = os_.Direct_Io_Alignment(opened.file);
          if (alignment > 0 && block_size % static_cast<std::int64_t>(alignment) != 0) {
            unbuffered = false;
            opened = os_.Open_Transfer_File(files[i], false, false);
          }
        }
        if (opened.file.valid()) {
          if (opened.mode == platform::Io_Mode::Buffered) {
            unbuffered = false;
            os_.Drop_Cache(opened.file);
          }
          if (!mode_logged) Log(std::string("Transfer Mode:") + platform::Io_Mode_Name(opened.mode));
          mode_logged = true;
          int error = 0;
          std::int64_t got = os_.Read_Full(opened.file, buffer.data(), buffer.size(), error);
          if (error == 0 && got == block_size) ++blocks;  // only whole blocks count
          if (error != 0) failures.Note(files[i], error);
          opened.file.close();
        } else {
          failures.Note(files[i], opened.error);
        }
        if (stopprogram) host_.Display_Loading_Panel(true, "Stopping...");
        elapsed = Milliseconds_Between(start, Now());
        Pump();
      }
      error_line = failures.Text();
    } catch (const std::exception& error) {
      error_line = Error_Line(error);
    }
    end = Now();
  }
  double rate = Calculate_Speed(start, end, blocks, block_size);
  Pump();
  Show_Result(GraphPosition, rate);
  return Finish_Test("Random Read Test Finish", error_line, 0);
}
