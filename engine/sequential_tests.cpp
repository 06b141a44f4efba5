// The sequential pair: one large file written block by block for a fixed time (or until
// the free-space limit), then read back whole, both bypassing the page cache.
#include <cerrno>
#include <filesystem>
#include <new>

#include "common/log.h"
#include "engine/benchmark.h"
#include "engine/device_span.h"
#include "engine/plan.h"

namespace {

std::string Folder_Of(const std::string& file) { return std::filesystem::path(file).parent_path().string(); }

std::string Size_Text(std::int64_t bytes) { return Format_Size(bytes, "0.##", false); }

}  // namespace

bool Benchmark_Run::Sequential_Write(const std::string& SrcFile, int GraphPosition, std::int64_t targetfreespace) {
  const Planned_Test& entry = kPlannedTests[static_cast<std::size_t>(GraphPosition)];
  const std::string D = entry.Description;
  Log(D + " Start");
  observer_.Activity(D + " Start...");
  write_had_no_room_ = false;
  std::int64_t total = 0, blocks = 0, elapsed = 0;
  std::int64_t block_size = entry.BufferSize;
  const std::int64_t limit_ms = static_cast<std::int64_t>(DEFAULTSECONDS) * 2000;
  std::string error_line;
  Device_Span span(os_, run_folder_.Folder());
  span.Begin();
  TDateTime start = clock_.Now();
  Live_Span(start);
  try {
    if (block_size <= 0) block_size = Calculate_Buffer_Size(Folder_Of(SrcFile));
    Log("Temporary File Size:" + Size_Text(sample_size_));
    Log("Creating File:" + SrcFile);
    platform::Aligned_Buffer buffer(static_cast<std::size_t>(block_size));
    if (!buffer.valid()) throw std::bad_alloc();
    Fill_Random_Buffer(buffer.data(), buffer.size());
    const std::string name = Name_In_Run_Folder(SrcFile);
    platform::Open_Result opened;
    if (name.empty()) opened.error = EXDEV;
    else opened = os_.Create_File(run_folder_.Folder(), name, true);
    if (!opened.file.valid()) {
      error_line = "Error creating file " + SrcFile + ": " + platform::Error_Text(opened.error);
    } else {
      written_.insert(name);
      Log(std::string("Transfer Mode:") + platform::Io_Mode_Name(opened.mode));
      // A block is written only when it fits above the reserve.
      bool out_of_room = false;
      while (!Stopping() && elapsed <= limit_ms) {
        if (total + block_size > targetfreespace || !Fits_Above_Reserve(block_size)) {
          out_of_room = true;
          break;
        }
        int error = 0;
        std::int64_t written = os_.Write_All(opened.file, buffer.data(), buffer.size(), error);
        total += written;
        if (error == 0) ++blocks;  // only a whole block counts
        elapsed = Milliseconds_Between(start, clock_.Now());
        Live_Bytes(blocks * block_size);
        Checkpoint();
        if (error != 0) {
          error_line = "Error writing file " + SrcFile + ": " + platform::Error_Text(error);
          break;
        }
      }
      // The data must be on the drive before the span ends; a buffered file also leaves
      // the cache so that the read that follows reaches the drive.
      int error = opened.mode == platform::Io_Mode::Direct ? os_.Flush_File(opened.file)
                                                           : os_.Sync_And_Drop_Cache(opened.file);
      // Some file systems take "direct" transfers through the page cache all the same (ext4
      // with data=journal): the file's pages go in any case.
      if (error == 0 && opened.mode == platform::Io_Mode::Direct) os_.Drop_Cache(opened.file);
      if (error != 0 && error_line.empty())
        error_line = "Error flushing file " + SrcFile + ": " + platform::Error_Text(error);
      opened.file.close();
      Log("Closing File:" + SrcFile);
      if (blocks == 0 && out_of_room) No_Room(GraphPosition, "one block of " + Size_Text(block_size));
    }
  } catch (const std::exception& error) {
    error_line = Error_Line(kEngineErrorName, error.what());
  }
  TDateTime end = clock_.Now();
  const Device_Check check = span.End(false, blocks * block_size);
  if (Stopping()) observer_.Activity("Stopping...");
  double rate = Calculate_Speed(start, end, blocks, block_size);
  Checkpoint();
  Wait(1000);
  Show_Result(GraphPosition, rate, check);
  return Finish_Test(D + " Finish", error_line, 500);
}

bool Benchmark_Run::Sequential_Read(const std::string& SrcFile, int GraphPosition) {
  const Planned_Test& entry = kPlannedTests[static_cast<std::size_t>(GraphPosition)];
  const std::string D = entry.Description;
  Log(D + " Start");
  observer_.Activity(D + " Start...");
  std::int64_t total = 0, blocks = 0;
  std::int64_t block_size = entry.BufferSize;
  std::string error_line;
  Device_Span span(os_, run_folder_.Folder());
  span.Begin();
  TDateTime start = clock_.Now();
  Live_Span(start);
  try {
    if (block_size <= 0) block_size = Calculate_Buffer_Size(Folder_Of(SrcFile));
    Log("Getting Temporary file size");
    // Only the file this run wrote is read.
    const std::string name = Name_In_Run_Folder(SrcFile);
    platform::Open_Result opened;
    if (name.empty() || written_.count(name) == 0) opened.error = ENOENT;
    else opened = os_.Open_File(run_folder_.Folder(), name, true);
    const std::int64_t file_size = opened.file.valid() ? std::max<std::int64_t>(os_.File_Size(opened.file), 0) : 0;
    Log("Reading File:" + SrcFile);
    Log("Temporary File Size:" + Size_Text(file_size));
    platform::Aligned_Buffer buffer(static_cast<std::size_t>(block_size));
    if (!buffer.valid()) throw std::bad_alloc();
    if (!opened.file.valid()) {
      error_line = "Error opening file " + SrcFile + ": " + platform::Error_Text(opened.error);
    } else {
      Log(std::string("Transfer Mode:") + platform::Io_Mode_Name(opened.mode));
      if (opened.mode == platform::Io_Mode::Buffered) os_.Drop_Cache(opened.file);
      // Every whole block read counts, the first one too. The loop ends at the end of the
      // file, on a read error, or on Stop.
      bool first = true;
      while (first || (!Stopping() && total < file_size)) {
        int error = 0;
        std::int64_t got = os_.Read_Full(opened.file, buffer.data(), buffer.size(), error);
        total += got;
        if (error == 0 && got == block_size) ++blocks;
        if (error != 0) error_line = "Error reading file " + SrcFile + ": " + platform::Error_Text(error);
        if (error != 0 || got == 0) break;
        Live_Bytes(blocks * block_size);
        if (!first) Checkpoint();
        first = false;
      }
      opened.file.close();
      Log("Closing File:" + SrcFile);
    }
  } catch (const std::exception& error) {
    error_line = Error_Line(kEngineErrorName, error.what());
  }
  TDateTime end = clock_.Now();
  if (blocks == 0 && write_had_no_room_) Nothing_To_Read(GraphPosition);
  const Device_Check check = span.End(true, blocks * block_size);
  if (Stopping()) observer_.Activity("Stopping...");
  double rate = Calculate_Speed(start, end, blocks, block_size);
  Wait(1000);
  Show_Result(GraphPosition, rate, check);
  return Finish_Test(D + " Finish", error_line, 0);
}
