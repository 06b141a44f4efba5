// Whole runs of the plan on the in-memory disk: the run's states, Stop at any point, the
// time limits, the block size by drive type and the order in which files are read.
#include <gtest/gtest.h>

#include <map>

#include "memory_rig.h"

namespace {

using platform::Entry_Kind;

// The plan's test at position, as its loading-panel text shows it.
std::string Panel_Text(const TMyGraph& graph, int position) {
  const std::string& d = graph.GraphColumn[position].Description;
  return position < 2 ? d + " Start..." : d + "  Start...";
}

// A drive of one type, or one that cannot be asked.
class Typed_Inventory : public platform::Inventory_Provider {
 public:
  Typed_Inventory(int type, bool ok) : type_(type), ok_(ok) {}
  void Instances_Of(const std::string&, const std::function<void(const platform::Cim_Instance&)>&) override {}
  platform::Volume_Information Volume(const std::string&) override {
    platform::Volume_Information info;
    info.ok = info.space_ok = ok_;
    info.drive_type = type_;
    info.block_size = 4096;
    info.free_blocks = info.total_blocks = 1000;
    return info;
  }
  platform::Disk_Extent Volume_Disk_Extent(const std::string&) override { return {}; }

 private:
  int type_;
  bool ok_;
};

}  // namespace

TEST(Engine_Plan_Run_Test, AWholeRunMeasuresEighteenRatesAndLeavesNothing) {
  Memory_Rig rig;
  rig.Run();
  for (int i = 0; i <= kLastTest; ++i) {
    EXPECT_GT(rig.graph.GraphColumn[i].Value, 0.0) << rig.graph.GraphColumn[i].Description;
    EXPECT_NE(rig.host.labels[rig.graph.GraphColumn[i].TestSpeedLabel], "00.00");
  }
  EXPECT_EQ(rig.engine.Outcome(), Run_Outcome::Completed);
  EXPECT_EQ(rig.host.drawn.size(), 18u);
  EXPECT_EQ(rig.host.reports, 1);
  EXPECT_EQ(rig.host.grid_rows, 1);
  EXPECT_TRUE(rig.host.errors.empty()) << rig.host.errors.front();
  EXPECT_TRUE(rig.Nothing_Left());
  EXPECT_EQ(rig.disk.Free(), 100'000'000'000LL);
  const std::string folder = rig.Folder();
  EXPECT_TRUE(Logged_In_Order(
      rig.host, {"Benchmark Start", "Synthetic Test Start", "Target Drive:/srv/scratch", "Target Folder:" + folder,
                 "Calculating Buffer Size Start", "Buffer Size:8.39 MB", "Calculating Buffer Size Finish",
                 "Buffer Size:8.39 MB", "Targer Free Space:100 GB", "Final Temporary Sample Size:90 GB",
                 "Sequential Write Start", "Transfer Mode:direct (unbuffered)", "Sequential Write Finish",
                 "Sequential Read Start", "Getting Temporary file size", "Sequential Read Finish",
                 "Random Write Test Start", "Random Write Test Finish", "Random Read Test Start",
                 "Random Read Test Finish", "Deleting Temp Dir:" + folder, "Synthetic Test Finish"}));
  for (const std::string& line : rig.host.log) EXPECT_EQ(line.rfind("Error", 0), std::string::npos) << line;
  // The button went from idle to running and back; the controls are enabled again.
  EXPECT_EQ(rig.host.states, (std::vector<Run_State>{Run_State::Running, Run_State::Idle}));
  EXPECT_TRUE(rig.host.start_enabled);
  EXPECT_TRUE(rig.host.controls_enabled);
  EXPECT_FALSE(rig.host.panel_visible);
  EXPECT_FALSE(rig.engine.programrunning);
  EXPECT_EQ(rig.engine.DEFAULTSECONDS, 1);
}

TEST(Engine_Plan_Run_Test, AStopFromTheFirstPumpOnIsKept) {
  // At the very first pump (the runner's Ctrl-C during the pause before the tests), and at
  // the first pump after the button reading "Stop" is enabled (the window's press).
  for (bool by_button : {false, true}) {
    Memory_Rig rig;
    bool pressed = false;
    rig.host.on_pump = [&] {
      if (pressed) return;
      if (by_button) pressed = rig.host.Press_Stop(rig.engine);
      else pressed = (rig.engine.Request_Stop(), true);
    };
    rig.Run();
    ASSERT_TRUE(pressed);
    EXPECT_EQ(rig.engine.Outcome(), Run_Outcome::Stopped) << by_button;
    EXPECT_TRUE(rig.engine.stopprogram);
    for (int i = 0; i <= kLastTest; ++i) EXPECT_EQ(rig.graph.GraphColumn[i].Value, -1.0) << i;
    EXPECT_EQ(rig.disk.counts.creates, 0);
    EXPECT_EQ(rig.host.reports, 0);
    EXPECT_EQ(rig.host.grid_rows, 0);
    EXPECT_TRUE(rig.host.Logged("Abort on user request!!!!!!!!!!!!!!!!!!"));
    EXPECT_EQ(rig.host.states, (std::vector<Run_State>{Run_State::Running, Run_State::Stopping, Run_State::Idle}));
    EXPECT_TRUE(rig.Nothing_Left());
  }
}

TEST(Engine_Plan_Run_Test, AStopDuringAnyTestEndsTheRunThere) {
  for (int stopped_at = 0; stopped_at <= kLastTest; ++stopped_at) {
    Memory_Rig rig;
    int pumps = 0;
    const std::string text = Panel_Text(rig.graph, stopped_at);
    rig.host.on_pump = [&] {
      if (rig.host.panel_text == text && ++pumps == 3) rig.host.Press_Stop(rig.engine);
    };
    rig.Run();
    ASSERT_EQ(rig.engine.Outcome(), Run_Outcome::Stopped) << stopped_at;
    for (int i = 0; i < stopped_at; ++i) EXPECT_GT(rig.graph.GraphColumn[i].Value, 0.0) << stopped_at << " " << i;
    EXPECT_GE(rig.graph.GraphColumn[stopped_at].Value, 0.0) << stopped_at;  // its partial rate is shown
    for (int i = stopped_at + 1; i <= kLastTest; ++i) {
      EXPECT_EQ(rig.graph.GraphColumn[i].Value, -1.0) << stopped_at << " " << i;
      EXPECT_EQ(rig.host.labels[rig.graph.GraphColumn[i].TestSpeedLabel], "00.00") << stopped_at << " " << i;
    }
    EXPECT_EQ(rig.host.reports, 0);
    EXPECT_NE(std::find(rig.host.panel_texts.begin(), rig.host.panel_texts.end(), "Stopping, please wait..."),
              rig.host.panel_texts.end());
    EXPECT_TRUE(rig.Nothing_Left()) << stopped_at;
    EXPECT_EQ(rig.host.run_state, Run_State::Idle);
    EXPECT_TRUE(rig.host.start_enabled);
  }
}

TEST(Engine_Plan_Run_Test, TheSequentialWriteRunsTwiceTheTestTimeTheFileTestsOnce) {
  Memory_Rig rig;
  // When each test first and last moved data, on the hand clock.
  std::map<std::string, std::pair<std::int64_t, std::int64_t>> spans;
  rig.disk.before = [&](const std::string& op, const std::string&) {
    if (op != "write" && op != "open") return;
    auto [at, fresh] = spans.try_emplace(rig.host.panel_text, rig.clock.Elapsed_Ms(), rig.clock.Elapsed_Ms());
    if (!fresh) at->second.second = rig.clock.Elapsed_Ms();
  };
  const int seconds = 3;
  rig.Run(seconds);
  for (int position = 0; position <= kLastTest; ++position) {
    if (position == 1) continue;  // the sequential read reads the whole file, however long that takes
    const auto [first, last] = spans.at(Panel_Text(rig.graph, position));
    const std::int64_t limit = (position == 0 ? 2 : 1) * seconds * 1000;
    EXPECT_LE(last - first, limit + 1) << position;  // the clock's milliseconds are rounded
    EXPECT_GE(last - first, limit - 20) << position;
  }
}

TEST(Engine_Plan_Run_Test, TheSequentialBlockSizeFollowsTheDriveType) {
  struct Case {
    const char* work;
    int type;  // -1: the fixture inventory tells; otherwise a drive of that type
    bool known;
    const char* logged;
  };
  const Case cases[] = {
      {"/srv/scratch", -1, true, "Buffer Size:8.39 MB"},  {"/media/usb", -1, true, "Buffer Size:524.29 KB"},
      {"/mnt/share", -1, true, "Buffer Size:131.07 KB"},  {"/ram", platform::kDriveRam, true, "Buffer Size:524.29 KB"},
      {"/odd", platform::kDriveUnknown, true, "Buffer Size:524.29 KB"}, {"/gone", platform::kDriveFixed, false, "Buffer Size:524.29 KB"},
  };
  for (const Case& c : cases) {
    Memory_Rig rig(100'000'000'000LL, c.work);
    Typed_Inventory typed(c.type, c.known);
    if (c.type >= 0) rig.engine.Use_Inventory(typed);
    rig.Only({0});
    rig.Run();
    EXPECT_TRUE(Logged_In_Order(rig.host, {"Calculating Buffer Size Start", c.logged, "Calculating Buffer Size Finish"}))
        << c.work;
    EXPECT_GT(rig.graph.GraphColumn[1].Value, 0.0) << c.work;
  }
}

TEST(Engine_Plan_Run_Test, FilesAreReadInCyclesInTheOrderTheFoldersListThem) {
  // Three files are read 1, 2, 3, 1, 2, 3 ...
  Memory_Rig three(kFreeSpaceReserve + 3 * 4096 + 100);
  three.Only({3});
  three.Run();
  const std::vector<std::string>& reads = three.disk.Reads();
  ASSERT_GT(reads.size(), 7u);
  for (std::size_t i = 1; i < 7; ++i)  // the first open is the one that chooses the transfer mode
    EXPECT_EQ(reads[i], three.Folder() + "/temp-" + std::to_string((i - 1) % 3 + 1) + ".tmp") << i;

  // 60,001 files: the last goes into the sub-folder tmp-1 as temp-0.tmp; the folder's own
  // files are read first, then the sub-folder's.
  Memory_Rig many(kFreeSpaceReserve + 60001LL * 4096 + 100);
  many.Only({1});
  std::vector<std::string> files;
  many.host.on_pump = [&] {
    if (files.empty() && many.host.panel_text == "Random 512B Read  Start...") files = many.disk.Paths_Under(many.Folder());
  };
  many.Run(20);
  EXPECT_EQ(files.size(), 60002u);  // 60,001 files and the sub-folder
  EXPECT_NE(std::find(files.begin(), files.end(), many.Folder() + "/temp-60000.tmp"), files.end());
  EXPECT_EQ(std::find(files.begin(), files.end(), many.Folder() + "/temp-60001.tmp"), files.end());
  EXPECT_NE(std::find(files.begin(), files.end(), many.Folder() + "/tmp-1/temp-0.tmp"), files.end());
  const std::vector<std::string>& order = many.disk.Reads();
  ASSERT_GT(order.size(), 60002u);
  EXPECT_EQ(order[60000], many.Folder() + "/temp-60000.tmp");
  EXPECT_EQ(order[60001], many.Folder() + "/tmp-1/temp-0.tmp");
  EXPECT_EQ(order[60002], many.Folder() + "/temp-1.tmp");
  EXPECT_GT(many.graph.GraphColumn[3].Value, 0.0);
  EXPECT_TRUE(many.Nothing_Left());
  EXPECT_FALSE(many.host.Logged_Prefix("Error"));
}
