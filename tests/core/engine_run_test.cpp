// Whole runs through the engine, on its worker, on file systems the tests mount themselves.
#include <gtest/gtest.h>

#include <sys/statvfs.h>

#include <filesystem>

#include "common/worker.h"
#include "engine/benchmark.h"
#include "engine/plan.h"
#include "fake_observer.h"
#include "mounted_file_system.h"
#include "platform/platform.h"

namespace fs = std::filesystem;

namespace {

bool Is_Root() { return ::geteuid() == 0; }

class Engine_Run_Test : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!Is_Root()) GTEST_SKIP() << "mounting a test file system needs root";
  }
  // Runs the plan (only the pairs named, when some are) on drive on the running system.
  const Run_Result& Run_On(const std::string& drive, std::initializer_list<int> only = {}, int seconds = 1) {
    Run_Request request;
    request.drive = drive;
    request.seconds = seconds;
    if (only.size() > 0) {
      request.pairs.fill(false);
      for (int pair : only) request.pairs[static_cast<std::size_t>(pair)] = true;
    }
    stop = worker.Stop_Source();
    worker.Start([&](std::stop_token token) { return ::Run(request, observer, token); });
    result = worker.Take();
    return result;
  }
  Fake_Observer observer;
  Worker<Run_Result> worker;
  std::stop_source stop;
  Run_Result result;
};

}  // namespace

TEST_F(Engine_Run_Test, FullRunMeasuresEighteenRatesAndLeavesNothing) {
  Mounted_File_System disk(Mounted_File_System::Kind::Tmpfs, 160);
  ASSERT_TRUE(disk.mounted());
  Run_On(disk.path());

  EXPECT_EQ(result.outcome, Run_Outcome::Completed);
  for (int i = 0; i <= kLastTest; ++i) {
    EXPECT_GT(result.tests[i].rate, 0.0) << result.tests[i].key;
    // Memory answers on tmpfs, and no counters can tell: never called the device's answer.
    EXPECT_EQ(result.tests[i].check.verdict, Device_Verdict::Not_Checked) << i;
  }
  EXPECT_TRUE(observer.Logged("Device Counters:not checked, tmpfs has no block device"));
  EXPECT_EQ(observer.finished.size(), 18u);
  EXPECT_TRUE(observer.errors.empty()) << observer.errors.front();
  const std::string folder = disk.path() + "/_Quillorane";
  EXPECT_FALSE(fs::exists(folder));
  EXPECT_TRUE(fs::is_empty(disk.path()));
  EXPECT_TRUE(Logged_In_Order(observer, {"Benchmark Start", "Synthetic Test Start", "Target Drive:" + disk.path(),
                                         "Target Folder:" + folder, "Calculating Buffer Size Start",
                                         "Buffer Size:524.29 KB", "Calculating Buffer Size Finish",
                                         "Buffer Size:524.29 KB", "Sequential Write Start", "Sequential Write Finish",
                                         "Sequential Read Start", "Getting Temporary file size", "Sequential Read Finish",
                                         "Random Write Test Start", "Random Write Test Finish", "Random Read Test Start",
                                         "Random Read Test Finish", "Deleting Temp Dir:" + folder,
                                         "Synthetic Test Finish"}));
  EXPECT_TRUE(observer.Logged_Prefix("Targer Free Space:"));
  EXPECT_TRUE(observer.Logged_Prefix("Final Temporary Sample Size:"));
  EXPECT_TRUE(observer.Logged_Prefix("Target File:" + folder + "/"));
  for (const std::string& line : observer.log) EXPECT_EQ(line.rfind("Error", 0), std::string::npos) << line;
  EXPECT_TRUE(observer.activity.empty());
  EXPECT_EQ(result.seconds, 1);
}

TEST_F(Engine_Run_Test, StopDuringAFileWriteKeepsItsPartialRateAndEndsTheRun) {
  Mounted_File_System disk(Mounted_File_System::Kind::Tmpfs, 160);
  ASSERT_TRUE(disk.mounted());
  int calls_in_4k_write = 0;
  observer.on_call = [&] {
    if (observer.activity == "Random 4K Write  Start..." && ++calls_in_4k_write == 3) stop.request_stop();
  };
  Run_On(disk.path());

  ASSERT_EQ(result.outcome, Run_Outcome::Stopped);
  EXPECT_GT(result.tests[6].rate, 0.0);  // the partial 4K write rate is kept
  for (int i = 7; i <= kLastTest; ++i) EXPECT_EQ(result.tests[i].rate, -1.0) << i;
  EXPECT_TRUE(observer.Logged("Abort on user request!!!!!!!!!!!!!!!!!!"));
  EXPECT_FALSE(fs::exists(disk.path() + "/_Quillorane"));
}

TEST_F(Engine_Run_Test, BelowTwentyMebibytesFreeEveryRateIsZeroAndTheRunCompletes) {
  Mounted_File_System disk(Mounted_File_System::Kind::Tmpfs, 16);
  ASSERT_TRUE(disk.mounted());
  Run_On(disk.path());
  for (int i = 0; i <= kLastTest; ++i) EXPECT_EQ(result.tests[i].rate, 0.0) << i;
  EXPECT_EQ(result.outcome, Run_Outcome::Completed);
  EXPECT_TRUE(fs::is_empty(disk.path()));
}

TEST_F(Engine_Run_Test, FixedDiskUsesEightMebibyteDirectBlocks) {
  Mounted_File_System disk(Mounted_File_System::Kind::Ext4, 200);
  ASSERT_TRUE(disk.mounted());
  Run_On(disk.path(), {0});
  EXPECT_TRUE(observer.Logged("Buffer Size:8.39 MB"));
  EXPECT_TRUE(observer.Logged("Transfer Mode:direct (unbuffered)"));
  EXPECT_GT(result.tests[0].rate, 0.0);
  EXPECT_GT(result.tests[1].rate, 0.0);
  for (int i : {0, 1}) {  // the loop device under the file system moved every byte
    const Device_Check& check = result.tests[i].check;
    EXPECT_EQ(check.verdict, Device_Verdict::Device) << Device_Check_Log_Line(check);
    EXPECT_EQ(check.device.rfind("loop", 0), 0u) << check.device;
    EXPECT_GE(check.device_bytes, check.counted_bytes);
    EXPECT_GT(check.counted_bytes, 0);
  }
  for (int i = 2; i <= kLastTest; ++i) EXPECT_EQ(result.tests[i].rate, -1.0) << i;
  EXPECT_FALSE(fs::exists(disk.path() + "/_Quillorane"));
}

TEST_F(Engine_Run_Test, ReadsReachTheDeviceWhereDirectTransfersGoThroughThePageCache) {
  // ext4 with data=journal accepts O_DIRECT and still keeps the data in the page cache: the
  // files leave it after they are written and read, or the reads measure memory.
  Mounted_File_System disk(Mounted_File_System::Kind::Ext4_Data_Journal, 400);
  ASSERT_TRUE(disk.mounted());
  Run_On(disk.path(), {0, 3});
  ASSERT_TRUE(observer.Logged("Transfer Mode:direct (unbuffered)"));
  for (int i : {1, 7}) {
    const Device_Check& check = result.tests[i].check;
    EXPECT_GT(check.counted_bytes, 0) << i;
    EXPECT_EQ(check.verdict, Device_Verdict::Device) << Device_Check_Log_Line(check);
  }
}

TEST_F(Engine_Run_Test, TheFileTestsKeepTheReserveWhereTheirFoldersGrowInSmallBlocks) {
  // On ext4 in blocks of 1 KiB a folder takes another block every few dozen names: a
  // run that charged only its files went below the reserve by its folders' blocks.
  Mounted_File_System disk(Mounted_File_System::Kind::Ext4_1K_Blocks, 25);
  ASSERT_TRUE(disk.mounted());
  std::int64_t lowest = INT64_MAX;
  observer.on_call = [&] {
    struct statvfs sv {};
    if (::statvfs(disk.path().c_str(), &sv) == 0)
      lowest = std::min<std::int64_t>(lowest, static_cast<std::int64_t>(sv.f_bavail) * sv.f_frsize);
  };
  Run_On(disk.path(), {1}, 6);
  EXPECT_GT(result.tests[2].rate, 0.0);
  EXPECT_TRUE(observer.Logged_Prefix("Random Read Test Start"));
  EXPECT_GE(lowest, kFreeSpaceReserve) << kFreeSpaceReserve - lowest << " bytes below the reserve";
  EXPECT_TRUE(fs::exists(disk.path() + "/lost+found"));
}

TEST(Engine_Refusal_Test, ADriveThatCannotBeWrittenIsRefusedBeforeTheRunStarts) {
  for (const std::string& drive : {std::string(), std::string("/nonexistent-platterscope-drive")}) {
    Fake_Observer observer;
    Run_Request request;
    request.drive = drive;
    const Run_Result result = ::Run(request, observer, {});
    EXPECT_EQ(result.outcome, Run_Outcome::Refused);
    ASSERT_EQ(observer.errors.size(), 1u);
    EXPECT_EQ(observer.errors[0].rfind("Cannot write to " + drive + ": ", 0), 0u) << observer.errors[0];
    EXPECT_EQ(result.error, observer.errors[0]);
    EXPECT_TRUE(observer.Logged(observer.errors[0]));
    EXPECT_FALSE(observer.Logged("Benchmark Start"));
    EXPECT_TRUE(observer.events.empty());
  }
}
