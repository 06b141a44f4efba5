// The engine against a disk that misbehaves: a platform that passes everything to the real
// one except the faults a test switches on.
#include <gtest/gtest.h>

#include <cerrno>
#include <filesystem>
#include <fstream>

#include "engine/plan.h"
#include "fake_host.h"

namespace fs = std::filesystem;

namespace {

class Faulty_Platform : public platform::Platform {
 public:
  platform::Open_Result Open_Transfer_File(const std::string& path, bool create, bool unbuffered) override {
    ++opens;
    return Platform::Open_Transfer_File(path, create, unbuffered && !refuse_direct);
  }
  std::int64_t Write_All(platform::File_Handle& file, const void* data, std::size_t n, int& error) override {
    ++writes;
    if (write_error != 0) {
      std::int64_t half = short_write ? Platform::Write_All(file, data, n / 2, error) : 0;
      error = write_error;
      return half;
    }
    return Platform::Write_All(file, data, n, error);
  }
  std::int64_t Read_Full(platform::File_Handle& file, void* data, std::size_t n, int& error) override {
    if (read_error != 0) {
      error = read_error;
      return 0;
    }
    return Platform::Read_Full(file, data, n, error);
  }
  int Sync_And_Drop_Cache(platform::File_Handle& file) override {
    ++cache_drops;
    return Platform::Sync_And_Drop_Cache(file);
  }
  std::int64_t Disk_Free(const std::string& path) override {
    return free_bytes >= 0 ? free_bytes : Platform::Disk_Free(path);
  }
  std::int64_t Allocation_Unit(const std::string& path) override {
    return allocation_unit > 0 ? allocation_unit : Platform::Allocation_Unit(path);
  }
  bool Make_Folders(const std::string& folder, std::string& reason) override {
    if (refuse_folders) {
      reason = "Permission denied";
      return false;
    }
    return Platform::Make_Folders(folder, reason);
  }

  bool refuse_direct = false;
  bool refuse_folders = false;
  int write_error = 0;
  int read_error = 0;
  bool short_write = false;
  std::int64_t free_bytes = -1;
  std::int64_t allocation_unit = -1;
  int opens = 0, writes = 0, cache_drops = 0;
};

class Engine_Fault_Test : public ::testing::Test {
 protected:
  void SetUp() override {
    Clean_ALL_Stats(graph, host);
    engine.DEFAULTSECONDS = 1;
    folder = scratch.path() + "/_Quillorane";
    fs::create_directory(folder);
  }
  Scratch_Folder scratch;
  std::string folder;
  TMyGraph graph;
  Fake_Host host;
  Faulty_Platform os;
  Benchmark_Engine engine{graph, host, os};
};

}  // namespace

TEST_F(Engine_Fault_Test, AFolderThatCannotBeCreatedIsAFailedRun) {
  fs::remove(folder);
  os.refuse_folders = true;
  engine.StartButtonClick(scratch.path(), "1");
  EXPECT_FALSE(engine.run_started);
  EXPECT_TRUE(host.Logged("Error creating temp folder, Target Fodler:" + folder));
  ASSERT_EQ(host.errors.size(), 1u);
  EXPECT_EQ(host.errors[0], "Cannot create folder " + folder + ": Permission denied");
  EXPECT_EQ(host.reports, 0);
  EXPECT_EQ(host.grid_rows, 0);
  EXPECT_TRUE(host.Logged("Synthetic Test Finish"));
  for (int i = 0; i <= kLastTest; ++i) EXPECT_EQ(graph.GraphColumn[i].Value, -1.0);
}

TEST_F(Engine_Fault_Test, FailedOrShortWritesAreNotCountedAndEndTheWrite) {
  for (bool short_write : {false, true}) {
    os.write_error = ENOSPC;
    os.short_write = short_write;
    os.writes = 0;
    host.log.clear();
    const std::string file = folder + "/seq.tmp";
    EXPECT_TRUE(engine.Sequential_Write(file, 0, 1 << 30));
    EXPECT_EQ(os.writes, 1) << "a failing disk must not be written to until the time is up";
    EXPECT_EQ(graph.GraphColumn[0].Value, 0.0);
    EXPECT_TRUE(host.Logged("Error writing file " + file + ": No space left on device"));
    ASSERT_FALSE(host.errors.empty());  // the user is told, not only the log
    EXPECT_EQ(host.errors.back(), "Error writing file " + file + ": No space left on device");

    os.writes = 0;
    EXPECT_TRUE(engine.Random_Write(folder, 2));
    EXPECT_EQ(os.writes, 1);
    EXPECT_EQ(graph.GraphColumn[2].Value, 0.0);
  }
}

TEST_F(Engine_Fault_Test, SmallFilesAreChargedAtLeastOneAllocationUnitAgainstTheFreeSpace) {
  os.allocation_unit = 4096;
  os.free_bytes = kFreeSpaceReserve + 10 * 4096;
  engine.DEFAULTSECONDS = 30;
  struct Case { int position; int files; };
  for (const Case c : {Case{2, 10} /* 512 B */, Case{6, 10} /* 4 KiB */, Case{8, 1} /* 64 KiB */}) {
    EXPECT_TRUE(engine.Random_Write(folder, c.position));
    std::vector<std::string> files;
    Find_Files(files, folder, "*.*");
    EXPECT_EQ(files.size(), static_cast<std::size_t>(c.files)) << graph.GraphColumn[c.position].Description;
    engine.Delete_All_Tree(folder);
  }
}

TEST_F(Engine_Fault_Test, FailedReadsCountNothingAndAreReportedOnceAtTheEnd) {
  engine.DEFAULTSECONDS = 30;
  os.free_bytes = kFreeSpaceReserve + 3 * 4096;
  ASSERT_TRUE(engine.Random_Write(folder, 6));  // three 4K files
  os.read_error = EIO;
  engine.DEFAULTSECONDS = 1;
  host.errors.clear();
  EXPECT_TRUE(engine.Random_Read(folder, 7));
  EXPECT_EQ(graph.GraphColumn[7].Value, 0.0);
  ASSERT_EQ(host.errors.size(), 1u);
  EXPECT_EQ(host.errors[0].rfind("Error reading file " + folder + "/temp-", 0), 0u) << host.errors[0];
  EXPECT_NE(host.errors[0].find("Input/output error ("), std::string::npos) << host.errors[0];
  EXPECT_TRUE(host.Logged(host.errors[0]));
}

TEST_F(Engine_Fault_Test, EveryWholeBlockCountsTheFirstReadBlockToo) {
  graph.GraphColumn[0].BufferSize = 65536;  // a small sequential block for the test
  graph.GraphColumn[1].BufferSize = 65536;
  const std::string file = folder + "/seq.tmp";
  // A limit below one block still writes exactly one block.
  EXPECT_TRUE(engine.Sequential_Write(file, 0, 1000));
  EXPECT_EQ(fs::file_size(file), 65536u);
  EXPECT_GT(graph.GraphColumn[0].Value, 0.0);
  // A one-block file reads at a rate above 0.
  EXPECT_TRUE(engine.Sequential_Read(file, 1));
  EXPECT_GT(graph.GraphColumn[1].Value, 0.0);
  // A negative limit (less than 20 MiB free) writes an empty file; both rates are 0.
  EXPECT_TRUE(engine.Sequential_Write(file, 0, -5));
  EXPECT_EQ(fs::file_size(file), 0u);
  EXPECT_TRUE(engine.Sequential_Read(file, 1));
  EXPECT_EQ(graph.GraphColumn[0].Value, 0.0);
  EXPECT_EQ(graph.GraphColumn[1].Value, 0.0);
}

TEST_F(Engine_Fault_Test, AFileSystemThatRefusesDirectTransferIsReadAfterItsCacheIsDropped) {
  os.refuse_direct = true;
  graph.GraphColumn[0].BufferSize = 65536;
  graph.GraphColumn[1].BufferSize = 65536;
  const std::string file = folder + "/seq.tmp";
  EXPECT_TRUE(engine.Sequential_Write(file, 0, 4 * 65536));
  EXPECT_TRUE(engine.Sequential_Read(file, 1));
  EXPECT_TRUE(host.Logged("Transfer Mode:buffered"));
  EXPECT_FALSE(host.Logged("Transfer Mode:direct (unbuffered)"));
  EXPECT_EQ(os.cache_drops, 1);  // the written file is synced and dropped before the read
  EXPECT_GT(graph.GraphColumn[1].Value, 0.0);
}

TEST_F(Engine_Fault_Test, CleanUpRemovesSubFoldersAndNeverLeavesTheRunFolder) {
  fs::create_directories(folder + "/tmp-1/tmp-2");
  std::ofstream(folder + "/tmp-1/tmp-2/temp-0.tmp") << "x";
  std::ofstream(folder + "/temp-1.tmp") << "x";
  const std::string outside = scratch.path() + "/keep.txt";
  std::ofstream(outside) << "x";
  engine.Delete_All_Tree(folder);
  EXPECT_TRUE(fs::is_directory(folder));
  EXPECT_TRUE(fs::is_empty(folder));
  // A folder that is not the run's own is never emptied.
  engine.Delete_All_Tree(scratch.path());
  EXPECT_TRUE(fs::exists(outside));
  EXPECT_TRUE(host.Logged("Error deleting temp folder:" + scratch.path()));
  // A link in place of the run's folder is removed, not followed.
  fs::remove(folder);
  fs::create_directory_symlink(scratch.path(), folder);
  engine.Delete_All_Tree(folder);
  EXPECT_TRUE(fs::exists(outside));
}

TEST_F(Engine_Fault_Test, SixtyThousandFilesRollOverIntoASubFolderAndAreCleanedUp) {
  if (::geteuid() != 0) GTEST_SKIP() << "mounting a test file system needs root";
  Mounted_File_System disk(Mounted_File_System::Kind::Tmpfs, 400);
  ASSERT_TRUE(disk.mounted());
  const std::string run_folder = disk.path() + "/_Quillorane";
  fs::create_directory(run_folder);
  // Free space that lets exactly 60,001 files of 512 bytes be written.
  os.free_bytes = kFreeSpaceReserve + 60001LL * 512;
  os.allocation_unit = 512;
  engine.DEFAULTSECONDS = 200;
  EXPECT_TRUE(engine.Random_Write(run_folder, 2));
  EXPECT_TRUE(fs::exists(run_folder + "/temp-60000.tmp"));
  EXPECT_FALSE(fs::exists(run_folder + "/temp-60001.tmp"));
  EXPECT_TRUE(fs::exists(run_folder + "/tmp-1/temp-0.tmp"));
  EXPECT_FALSE(fs::exists(run_folder + "/tmp-1/temp-1.tmp"));

  engine.DEFAULTSECONDS = 1;
  EXPECT_TRUE(engine.Random_Read(run_folder, 3));
  EXPECT_GT(graph.GraphColumn[3].Value, 0.0);

  engine.Delete_All_Tree(run_folder);
  EXPECT_TRUE(fs::is_empty(run_folder));
  EXPECT_FALSE(host.Logged_Prefix("Error"));
}
