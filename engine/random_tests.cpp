// The file tests: many one-block files written through the cache and forced out one by
// one, then read back unbuffered in cycles until the test time is up.
#include <algorithm>
#include <deque>
#include <new>
#include <stdexcept>
#include <vector>

#include "common/log.h"
#include "engine/benchmark.h"
#include "engine/device_span.h"
#include "engine/plan.h"

namespace {

constexpr int kFilesPerFolder = 60000;
// What a file is charged against the free space until the first one shows what it takes.
constexpr std::int64_t kCommonAllocationUnit = 4096;

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

// One file to read: the open folder that holds it and its name there.
struct Listed_File {
  const platform::Folder_Handle* folder;
  std::string name;
  std::string path;  // for messages
};

// The files of the run's folder that the pair's write made, in the order the folders list
// them: a folder's own files first, then each sub-folder's, depth first. Sub-folders on
// another file system are not entered.
class Read_List {
 public:
  Read_List(platform::Platform& os, const std::set<std::string>& written, std::uint64_t mount, const platform::Progress& pump)
      : os_(os), written_(written), mount_(mount), pump_(pump) {}

  void Collect(const platform::Folder_Handle& folder, const std::string& path, const std::string& prefix) {
    int error = 0;
    const std::vector<platform::Folder_Entry> entries = os_.List(folder, error);
    std::vector<std::string> subs;
    for (const platform::Folder_Entry& entry : entries) {
      if (entry.kind == platform::Entry_Kind::File && written_.count(prefix + entry.name) != 0)
        files.push_back({&folder, entry.name, path + "/" + entry.name});
      else if (entry.kind == platform::Entry_Kind::Folder && entry.name[0] != '.')
        subs.push_back(entry.name);
    }
    if (pump_) pump_();
    for (const std::string& name : subs) {
      platform::Folder_Result sub = os_.Open_Sub_Folder(folder, name);
      if (sub.error != 0 || os_.Facts(sub.folder).mount != mount_) continue;
      sub_folders_.push_back(std::move(sub.folder));
      Collect(sub_folders_.back(), path + "/" + name, prefix + name + "/");
    }
  }

  std::vector<Listed_File> files;

 private:
  std::deque<platform::Folder_Handle> sub_folders_;  // open while their files are read
  platform::Platform& os_;
  const std::set<std::string>& written_;
  std::uint64_t mount_;
  platform::Progress pump_;
};

// Where a file test's files go: temp-1.tmp on in the run's folder; past 60,000 files a new
// sub-folder tmp-1 inside it, then tmp-2 inside that, each numbered on from temp-0.tmp.
class File_Places {
 public:
  File_Places(platform::Platform& os, const platform::Run_Folder& run)
      : os_(os), run_(run), folder_(&run.Folder()), path_(run.Path()) {}

  // Moves on to the next file; false, with the error line, when its folder cannot be made.
  bool Next(std::string& error_line) {
    if (++n_ <= kFilesPerFolder) return true;
    const std::string name = "tmp-" + std::to_string(++sub_folders_);
    std::string reason;
    int error = 0;
    platform::Folder_Handle next = platform::Make_Own_Folder(os_, *folder_, name, run_.Mount(), reason, error);
    if (!next.valid()) {
      error_line = "Error creating folder " + path_ + "/" + name + ": " + reason;
      return false;
    }
    sub_ = std::move(next);
    folder_ = &sub_;
    path_ += "/" + name;
    prefix_ += name + "/";
    n_ = 0;
    return true;
  }
  const platform::Folder_Handle& Folder() const { return *folder_; }
  std::string Name() const { return "temp-" + std::to_string(n_) + ".tmp"; }
  std::string Path() const { return path_ + "/" + Name(); }
  // The file's path inside the run's folder.
  std::string Relative() const { return prefix_ + Name(); }

 private:
  platform::Platform& os_;
  const platform::Run_Folder& run_;
  const platform::Folder_Handle* folder_;
  platform::Folder_Handle sub_;  // the sub-folder being filled, once the first one is full
  std::string path_, prefix_;
  int n_ = 0;
  int sub_folders_ = 0;
};

}  // namespace

bool Benchmark_Run::Random_Write(const std::string& TargetFolder, int GraphPosition) {
  const Planned_Test& entry = kPlannedTests[static_cast<std::size_t>(GraphPosition)];
  const std::string D = entry.Description;
  Log("Random Write Test Start");
  observer_.Activity(D + " " + " Start...");
  std::int64_t blocks = 0, elapsed = 0;
  const std::int64_t block_size = entry.BufferSize;
  const std::int64_t limit_ms = static_cast<std::int64_t>(DEFAULTSECONDS) * 1000;
  if (Stopping()) return false;
  written_.clear();
  write_had_no_room_ = false;
  // Each file is charged what it really takes on the drive (the first one shows it), and the
  // free space is asked again before every file, so that the drive keeps its 20 MiB whatever
  // the block size, the file system and the folders' growth.
  std::int64_t charge = std::max((block_size + kCommonAllocationUnit - 1) / kCommonAllocationUnit, std::int64_t{1}) *
                        kCommonAllocationUnit;
  bool charge_known = false;
  bool out_of_room = false;
  std::string error_line;
  Device_Span span(os_, run_folder_.Folder());
  TDateTime start = clock_.Now(), end = start;
  {
    platform::Aligned_Buffer buffer(static_cast<std::size_t>(block_size));
    try {
      if (!buffer.valid()) throw std::bad_alloc();
      if (!run_folder_.claimed() || TargetFolder != run_folder_.Path())
        throw std::invalid_argument(TargetFolder + " is not the run's folder");
      Fill_Random_Buffer(buffer.data(), buffer.size());
      File_Places place(os_, run_folder_);
      span.Begin();
      start = clock_.Now();
      Live_Span(start);
      // A file is written only when it fits above the reserve.
      while (!Stopping() && elapsed <= limit_ms) {
        if (!Fits_Above_Reserve(charge)) {
          out_of_room = true;
          break;
        }
        if (!place.Next(error_line)) break;
        platform::Open_Result opened = os_.Create_File(place.Folder(), place.Name(), false);
        if (!opened.file.valid()) {
          error_line = "Error creating file " + place.Path() + ": " + platform::Error_Text(opened.error);
          break;
        }
        int error = 0;
        os_.Write_All(opened.file, buffer.data(), buffer.size(), error);
        if (error == 0) error = os_.Flush_File(opened.file);
        if (error == 0) os_.Drop_Cache(opened.file);  // the read must find it on the drive
        if (error == 0 && !charge_known) {
          charge = std::max(os_.Allocated_Bytes(opened.file), block_size);
          charge_known = true;
        }
        if (error == 0) error = opened.file.close();
        if (error == 0) {  // a file counts only when its whole block reached the drive
          ++blocks;
          written_.insert(place.Relative());
        }
        elapsed = Milliseconds_Between(start, clock_.Now());
        Live_Bytes(blocks * block_size);
        Checkpoint();
        if (error != 0) {
          error_line = "Error writing file " + place.Path() + ": " + platform::Error_Text(error);
          break;
        }
      }
    } catch (const std::exception& error) {
      error_line = Error_Line(kEngineErrorName, error.what());
    }
    end = clock_.Now();
  }
  if (blocks == 0 && out_of_room) No_Room(GraphPosition, "one file of " + Format_Size(block_size, "0.##", false));
  const Device_Check check = span.End(false, blocks * block_size);
  double rate = Calculate_Speed(start, end, blocks, block_size);
  Checkpoint();
  Show_Result(GraphPosition, rate, check);
  return Finish_Test("Random Write Test Finish", error_line, 0);
}

bool Benchmark_Run::Choose_Read_Mode(std::int64_t block_size) {
  // The first file of the folder itself; the pair's write always starts there.
  auto first = std::find_if(written_.begin(), written_.end(),
                            [](const std::string& name) { return name.find('/') == std::string::npos; });
  if (first == written_.end()) return true;
  platform::Open_Result opened = os_.Open_File(run_folder_.Folder(), *first, true);
  if (!opened.file.valid()) return true;
  bool unbuffered = opened.mode == platform::Io_Mode::Direct;
  if (unbuffered) {
    // A file system that needs a larger alignment than the block gets buffered reads.
    const std::size_t alignment = os_.Direct_Io_Alignment(opened.file);
    unbuffered = alignment == 0 || block_size % static_cast<std::int64_t>(alignment) == 0;
  }
  Log(std::string("Transfer Mode:") + platform::Io_Mode_Name(unbuffered ? platform::Io_Mode::Direct
                                                                         : platform::Io_Mode::Buffered));
  return unbuffered;
}

bool Benchmark_Run::Random_Read(const std::string& SourceFolder, int GraphPosition) {
  const Planned_Test& entry = kPlannedTests[static_cast<std::size_t>(GraphPosition)];
  const std::string D = entry.Description;
  Log("Random Read Test Start");
  observer_.Activity(D + " " + " Start...");
  std::int64_t blocks = 0, elapsed = 0;
  const std::int64_t block_size = entry.BufferSize;
  const std::int64_t limit_ms = static_cast<std::int64_t>(DEFAULTSECONDS) * 1000;
  if (Stopping()) return false;
  const bool ours = run_folder_.claimed() && SourceFolder == run_folder_.Path();
  // Once per test and outside the timed span: whether the files can be read unbuffered.
  bool unbuffered = ours ? Choose_Read_Mode(block_size) : true;
  std::string error_line;
  Device_Span span(os_, run_folder_.Folder());
  span.Begin();
  TDateTime start = clock_.Now(), end = start;
  Live_Span(start);
  {
    platform::Aligned_Buffer buffer(static_cast<std::size_t>(block_size));
    try {
      if (!buffer.valid()) throw std::bad_alloc();
      Read_List list(os_, written_, run_folder_.Mount(), Checkpoint_Function());
      if (ours) list.Collect(run_folder_.Folder(), SourceFolder, "");
      const std::size_t count = list.files.size();
      Read_Failures failures;
      std::size_t i = count;
      while (count > 0 && !Stopping() && elapsed <= limit_ms) {
        if (++i >= count) i = 0;
        const Listed_File& file = list.files[i];
        platform::Open_Result opened = os_.Open_File(*file.folder, file.name, unbuffered);
        if (opened.file.valid()) {
          if (opened.mode == platform::Io_Mode::Buffered) os_.Drop_Cache(opened.file);
          int error = 0;
          std::int64_t got = os_.Read_Full(opened.file, buffer.data(), buffer.size(), error);
          if (error == 0 && got == block_size) ++blocks;  // only whole blocks count
          if (error != 0) failures.Note(file.path, error);
          // A file system that keeps "direct" reads in the page cache all the same would
          // serve the next cycle from there.
          if (opened.mode == platform::Io_Mode::Direct) os_.Drop_Cache(opened.file);
          opened.file.close();
        } else {
          failures.Note(file.path, opened.error);
        }
        if (Stopping()) observer_.Activity("Stopping...");
        elapsed = Milliseconds_Between(start, clock_.Now());
        Live_Bytes(blocks * block_size);
        Checkpoint();
      }
      error_line = failures.Text();
    } catch (const std::exception& error) {
      error_line = Error_Line(kEngineErrorName, error.what());
    }
    end = clock_.Now();
  }
  if (blocks == 0 && write_had_no_room_) Nothing_To_Read(GraphPosition);
  const Device_Check check = span.End(true, blocks * block_size);
  double rate = Calculate_Speed(start, end, blocks, block_size);
  Checkpoint();
  Show_Result(GraphPosition, rate, check);
  return Finish_Test("Random Read Test Finish", error_line, 0);
}
