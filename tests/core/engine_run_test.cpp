// Whole runs through the engine on file systems the tests mount themselves.
#include <gtest/gtest.h>

#include <filesystem>

#include "engine/plan.h"
#include "fake_host.h"
#include "platform/platform.h"

namespace fs = std::filesystem;

namespace {

bool Is_Root() { return ::geteuid() == 0; }

class Engine_Run_Test : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!Is_Root()) GTEST_SKIP() << "mounting a test file system needs root";
  }
  TMyGraph graph;
  Fake_Host host;
  Benchmark_Engine engine{graph, host, platform::System_Platform(), platform::System_Inventory_Provider(),
                          System_Clock()};
};

}  // namespace

TEST_F(Engine_Run_Test, FullRunMeasuresEighteenRatesAndLeavesNothing) {
  Mounted_File_System disk(Mounted_File_System::Kind::Tmpfs, 160);
  ASSERT_TRUE(disk.mounted());
  engine.Start(disk.path(), "1");

  for (int i = 0; i <= kLastTest; ++i) {
    EXPECT_GT(graph.GraphColumn[i].Value, 0.0) << graph.GraphColumn[i].Description;
    EXPECT_NE(host.labels[graph.GraphColumn[i].TestSpeedLabel], "00.00");
    // Memory answers on tmpfs, and no counters can tell: never called the device's answer.
    EXPECT_EQ(graph.GraphColumn[i].Check.verdict, Device_Verdict::Not_Checked) << i;
  }
  EXPECT_TRUE(host.Logged("Device Counters:not checked, tmpfs has no block device"));
  EXPECT_EQ(host.drawn.size(), 18u);
  EXPECT_EQ(host.reports, 1);
  EXPECT_EQ(host.grid_rows, 1);
  EXPECT_TRUE(host.errors.empty()) << host.errors.front();
  const std::string folder = disk.path() + "/_Quillorane";
  EXPECT_FALSE(fs::exists(folder));
  EXPECT_TRUE(fs::is_empty(disk.path()));
  EXPECT_TRUE(Logged_In_Order(host, {"Benchmark Start", "Synthetic Test Start", "Target Drive:" + disk.path(),
                                     "Target Folder:" + folder, "Calculating Buffer Size Start",
                                     "Buffer Size:524.29 KB", "Calculating Buffer Size Finish",
                                     "Buffer Size:524.29 KB", "Sequential Write Start", "Sequential Write Finish",
                                     "Sequential Read Start", "Getting Temporary file size", "Sequential Read Finish",
                                     "Random Write Test Start", "Random Write Test Finish", "Random Read Test Start",
                                     "Random Read Test Finish", "Deleting Temp Dir:" + folder,
                                     "Synthetic Test Finish"}));
  EXPECT_TRUE(host.Logged_Prefix("Targer Free Space:"));
  EXPECT_TRUE(host.Logged_Prefix("Final Temporary Sample Size:"));
  EXPECT_TRUE(host.Logged_Prefix("Target File:" + folder + "/"));
  for (const std::string& line : host.log) EXPECT_EQ(line.rfind("Error", 0), std::string::npos) << line;
  // Back to idle: controls enabled, the button reads "Start", the panel hidden.
  EXPECT_EQ(host.run_state, Run_State::Idle);
  EXPECT_TRUE(host.start_enabled);
  EXPECT_TRUE(host.controls_enabled);
  EXPECT_FALSE(host.panel_visible);
  EXPECT_FALSE(engine.programrunning);
  EXPECT_EQ(engine.DEFAULTSECONDS, 1);
}

TEST_F(Engine_Run_Test, StopDuringAFileWriteKeepsItsPartialRateAndReportsNothing) {
  Mounted_File_System disk(Mounted_File_System::Kind::Tmpfs, 160);
  ASSERT_TRUE(disk.mounted());
  int pumps_in_4k_write = 0;
  host.on_pump = [&] {
    if (host.panel_text == "Random 4K Write  Start..." && ++pumps_in_4k_write == 200) host.Press_Stop(engine);
  };
  engine.Start(disk.path(), "1");

  ASSERT_TRUE(engine.stopprogram);
  EXPECT_GT(graph.GraphColumn[6].Value, 0.0);  // the partial 4K write rate is shown
  EXPECT_NE(host.labels["test3W"], "00.00");
  for (int i = 7; i <= kLastTest; ++i) {
    EXPECT_EQ(graph.GraphColumn[i].Value, -1.0) << i;
    EXPECT_EQ(host.labels[graph.GraphColumn[i].TestSpeedLabel], "00.00") << i;
  }
  EXPECT_EQ(host.reports, 0);
  EXPECT_EQ(host.grid_rows, 0);
  EXPECT_TRUE(host.Logged("Abort on user request!!!!!!!!!!!!!!!!!!"));
  EXPECT_NE(std::find(host.panel_texts.begin(), host.panel_texts.end(), "Stopping, please wait..."),
            host.panel_texts.end());
  EXPECT_FALSE(fs::exists(disk.path() + "/_Quillorane"));
  EXPECT_EQ(host.run_state, Run_State::Idle);
  EXPECT_TRUE(host.start_enabled);
}

TEST_F(Engine_Run_Test, BelowTwentyMebibytesFreeEveryRateIsZeroAndTheRunCompletes) {
  Mounted_File_System disk(Mounted_File_System::Kind::Tmpfs, 16);
  ASSERT_TRUE(disk.mounted());
  engine.Start(disk.path(), "1");
  for (int i = 0; i <= kLastTest; ++i) EXPECT_EQ(graph.GraphColumn[i].Value, 0.0) << i;
  EXPECT_EQ(host.labels["test1W"], "0.00");
  EXPECT_EQ(host.reports, 1);
  EXPECT_EQ(host.grid_rows, 1);
  EXPECT_TRUE(fs::is_empty(disk.path()));
}

TEST_F(Engine_Run_Test, FixedDiskUsesEightMebibyteDirectBlocks) {
  Mounted_File_System disk(Mounted_File_System::Kind::Ext4, 200);
  ASSERT_TRUE(disk.mounted());
  engine.pair_selected.fill(false);
  engine.pair_selected[0] = true;
  engine.Start(disk.path(), "1");
  EXPECT_TRUE(host.Logged("Buffer Size:8.39 MB"));
  EXPECT_TRUE(host.Logged("Transfer Mode:direct (unbuffered)"));
  EXPECT_GT(graph.GraphColumn[0].Value, 0.0);
  EXPECT_GT(graph.GraphColumn[1].Value, 0.0);
  for (int i : {0, 1}) {  // the loop device under the file system moved every byte
    const Device_Check& check = graph.GraphColumn[i].Check;
    EXPECT_EQ(check.verdict, Device_Verdict::Device) << Device_Check_Log_Line(check);
    EXPECT_EQ(check.device.rfind("loop", 0), 0u) << check.device;
    EXPECT_GE(check.device_bytes, check.counted_bytes);
    EXPECT_GT(check.counted_bytes, 0);
  }
  for (int i = 2; i <= kLastTest; ++i) EXPECT_EQ(graph.GraphColumn[i].Value, -1.0) << i;
  EXPECT_FALSE(fs::exists(disk.path() + "/_Quillorane"));
}

TEST_F(Engine_Run_Test, ReadsReachTheDeviceWhereDirectTransfersGoThroughThePageCache) {
  // ext4 with data=journal accepts O_DIRECT and still keeps the data in the page cache: the
  // files leave it after they are written and read, or the reads measure memory.
  Mounted_File_System disk(Mounted_File_System::Kind::Ext4_Data_Journal, 400);
  ASSERT_TRUE(disk.mounted());
  engine.pair_selected.fill(false);
  engine.pair_selected[0] = engine.pair_selected[3] = true;
  engine.Start(disk.path(), "1");
  ASSERT_TRUE(host.Logged("Transfer Mode:direct (unbuffered)"));
  for (int i : {1, 7}) {
    const Device_Check& check = graph.GraphColumn[i].Check;
    EXPECT_GT(check.counted_bytes, 0) << i;
    EXPECT_EQ(check.verdict, Device_Verdict::Device) << Device_Check_Log_Line(check);
  }
}

TEST(Engine_Refusal_Test, ADriveThatCannotBeWrittenIsRefusedBeforeTheRunStarts) {
  TMyGraph graph;
  Fake_Host host;
  Benchmark_Engine engine(graph, host, platform::System_Platform(), platform::System_Inventory_Provider(),
                          System_Clock());
  for (const std::string& drive : {std::string(), std::string("/nonexistent-platterscope-drive")}) {
    host.errors.clear();
    engine.Start(drive, "1");
    EXPECT_EQ(engine.Outcome(), Run_Outcome::Refused);
    EXPECT_FALSE(engine.programrunning);
    ASSERT_EQ(host.errors.size(), 1u);
    EXPECT_EQ(host.errors[0].rfind("Cannot write to " + drive + ": ", 0), 0u) << host.errors[0];
    EXPECT_TRUE(host.Logged(host.errors[0]));
    EXPECT_FALSE(host.Logged("Benchmark Start"));
  }
  EXPECT_EQ(host.reports, 0);
}
