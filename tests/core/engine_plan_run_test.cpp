// Whole runs of the plan on the in-memory disk, each on its worker: the result as a value,
// the events in order, Stop at any point, the time limits, the block size by drive type and
// the order in which files are read.
#include <gtest/gtest.h>

#include <map>

#include "memory_rig.h"

namespace {

using platform::Entry_Kind;

// The plan's test at position, as its activity text shows it.
std::string Panel_Text(int position) {
  const std::string d = kPlannedTests[static_cast<std::size_t>(position)].Description;
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
  const Run_Result& result = rig.Run();
  EXPECT_EQ(result.outcome, Run_Outcome::Completed);
  EXPECT_EQ(result.drive, "/srv/scratch");
  EXPECT_EQ(result.seconds, 1);
  for (int i = 0; i <= kLastTest; ++i) {
    const Test_Result& test = result.tests[static_cast<std::size_t>(i)];
    EXPECT_EQ(test.key, kPlannedTests[static_cast<std::size_t>(i)].NameTag);
    EXPECT_GT(test.rate, 0.0) << test.key;
    EXPECT_TRUE(test.note.empty()) << test.key << ": " << test.note;
    // What the observer heard at the test's end is the result.
    EXPECT_EQ(rig.observer.finished.at(i).rate, test.rate) << test.key;
  }
  EXPECT_TRUE(rig.observer.errors.empty()) << rig.observer.errors.front();
  EXPECT_TRUE(rig.Nothing_Left());
  EXPECT_EQ(rig.disk.Free(), 100'000'000'000LL);
  const std::string folder = rig.Folder();
  EXPECT_TRUE(Logged_In_Order(
      rig.observer, {"Benchmark Start", "Synthetic Test Start", "Target Drive:/srv/scratch", "Target Folder:" + folder,
                     "Calculating Buffer Size Start", "Buffer Size:8.39 MB", "Calculating Buffer Size Finish",
                     "Buffer Size:8.39 MB", "Targer Free Space:100 GB", "Final Temporary Sample Size:90 GB",
                     "Sequential Write Start", "Transfer Mode:direct (unbuffered)", "Sequential Write Finish",
                     "Sequential Read Start", "Getting Temporary file size", "Sequential Read Finish",
                     "Random Write Test Start", "Random Write Test Finish", "Random Read Test Start",
                     "Random Read Test Finish", "Deleting Temp Dir:" + folder, "Synthetic Test Finish"}));
  for (const std::string& line : rig.observer.log) EXPECT_EQ(line.rfind("Error", 0), std::string::npos) << line;
  EXPECT_TRUE(rig.observer.activity.empty()) << "nothing is shown once the run is over";
}

TEST(Engine_Plan_Run_Test, TheObserverHearsTheTestsInOrderEachWithItsLiveRateBetweenStartAndEnd) {
  Memory_Rig rig;
  rig.Only({0, 3});
  // At every call: the live rates belong to the test going on, and grow no faster than the
  // disk (1 GB/s and a little for the calls).
  std::size_t seen = 0;
  rig.observer.on_call = [&] {
    if (rig.observer.live.size() == seen) return;
    seen = rig.observer.live.size();
    const Fake_Observer::Live_Rate& last = rig.observer.live.back();
    EXPECT_EQ(last.position, rig.observer.current);
    EXPECT_GT(last.seconds, 0.0);
    EXPECT_LE(static_cast<double>(last.bytes) / 1e6 / last.seconds, 1000.0);
  };
  rig.Run(2);
  EXPECT_EQ(rig.observer.events,
            (std::vector<std::string>{"tests begin", "started 0", "finished 0", "started 1", "finished 1", "started 6",
                                      "finished 6", "started 7", "finished 7"}));
  for (int position : {0, 1, 6, 7}) {
    const auto count = std::count_if(rig.observer.live.begin(), rig.observer.live.end(),
                                     [&](const Fake_Observer::Live_Rate& live) { return live.position == position; });
    EXPECT_GE(count, 5) << position << ": a few times a second";
  }
  // The window's labels: the last rate so far is close to the result.
  const auto last_write = std::find_if(rig.observer.live.rbegin(), rig.observer.live.rend(),
                                       [](const Fake_Observer::Live_Rate& live) { return live.position == 6; });
  ASSERT_NE(last_write, rig.observer.live.rend());
  EXPECT_NEAR(static_cast<double>(last_write->bytes) / 1e6 / last_write->seconds, rig.result.tests[6].rate,
              0.05 * rig.result.tests[6].rate);
}

TEST(Engine_Plan_Run_Test, AStopBeforeTheTestsIsKept) {
  // At the very first call of the run (the runner's Ctrl-C during the pause before the
  // tests), and just after the tests begin (the window's first press of Stop).
  for (bool at_begin : {false, true}) {
    Memory_Rig rig;
    rig.observer.on_call = [&] {
      if (!at_begin || rig.observer.events.size() == 1) rig.Stop();
    };
    rig.Run();
    EXPECT_EQ(rig.result.outcome, Run_Outcome::Stopped) << at_begin;
    for (int i = 0; i <= kLastTest; ++i) EXPECT_EQ(rig.result.tests[static_cast<std::size_t>(i)].rate, -1.0) << i;
    EXPECT_EQ(rig.observer.events, std::vector<std::string>{"tests begin"});
    EXPECT_EQ(rig.disk.counts.creates, 0);
    EXPECT_TRUE(rig.observer.Logged("Abort on user request!!!!!!!!!!!!!!!!!!"));
    EXPECT_TRUE(rig.Nothing_Left());
  }
}

TEST(Engine_Plan_Run_Test, AStopDuringAnyTestEndsTheRunThere) {
  for (int stopped_at = 0; stopped_at <= kLastTest; ++stopped_at) {
    Memory_Rig rig;
    int live = 0;
    rig.observer.on_call = [&] {
      if (rig.observer.current == stopped_at && rig.observer.live.size() > 0 &&
          rig.observer.live.back().position == stopped_at && ++live == 2)
        rig.Stop();
    };
    rig.Run();
    ASSERT_EQ(rig.result.outcome, Run_Outcome::Stopped) << stopped_at;
    for (int i = 0; i < stopped_at; ++i) EXPECT_GT(rig.result.tests[i].rate, 0.0) << stopped_at << " " << i;
    EXPECT_GE(rig.result.tests[stopped_at].rate, 0.0) << stopped_at;  // its partial rate is kept
    EXPECT_EQ(rig.observer.finished.at(stopped_at).rate, rig.result.tests[stopped_at].rate);
    for (int i = stopped_at + 1; i <= kLastTest; ++i) EXPECT_EQ(rig.result.tests[i].rate, -1.0) << stopped_at << " " << i;
    EXPECT_EQ(rig.observer.events.back(), "finished " + std::to_string(stopped_at)) << "no test starts after a stop";
    EXPECT_TRUE(rig.Nothing_Left()) << stopped_at;
  }
}

TEST(Engine_Plan_Run_Test, AStopInsideAnyWaitEndsTheWaitAtOnce) {
  // The run's waits: the pause after Start, the second after each sequential transfer and the
  // half second after the write. A stop in any of them ends it at its next tenth of a second.
  struct Case {
    const char* what;
    int closed_files;  // the wait after the file was closed this many times
    int sleep;         // and this tenth of a second into it
  };
  const Case cases[] = {
      {"the pause after Start", 0, 3},
      {"the second after the write", 1, 2},
      {"the half second after the write", 1, 12},
      {"the second after the read", 2, 5},
  };
  for (const Case& c : cases) {
    Memory_Rig rig;
    rig.Only({0});
    std::int64_t stopped_ms = -1;
    int sleeps = 0;
    rig.clock.on_sleep = [&](int) {
      const auto closed = std::count_if(rig.observer.log.begin(), rig.observer.log.end(),
                                        [](const std::string& line) { return line.rfind("Closing File:", 0) == 0; });
      if (closed == c.closed_files && ++sleeps == c.sleep) {
        stopped_ms = rig.clock.Elapsed_Ms();
        rig.Stop();
      }
    };
    rig.Run(5);
    ASSERT_GE(stopped_ms, 0) << c.what;
    EXPECT_EQ(rig.result.outcome, Run_Outcome::Stopped) << c.what;
    // What follows is one tenth of a second and the clean-up, far below the rest of the wait.
    EXPECT_LT(rig.clock.Elapsed_Ms() - stopped_ms, 150) << c.what;
    EXPECT_TRUE(rig.Nothing_Left()) << c.what;
  }
}

TEST(Engine_Plan_Run_Test, AnErrorThatEscapesTheRunReachesItsCallerAfterTheCleanUp) {
  struct Observer_Failure {
    int position;
  };
  Memory_Rig rig;
  rig.Only({3});
  bool thrown = false;
  rig.observer.on_call = [&] {
    if (rig.observer.current == 7 && !thrown) {
      thrown = true;
      throw Observer_Failure{7};
    }
  };
  try {
    rig.Run();
    ADD_FAILURE() << "the error did not reach the caller";
  } catch (const Observer_Failure& failure) {
    EXPECT_EQ(failure.position, 7);
  }
  EXPECT_TRUE(rig.observer.Logged("Synthetic Test Finish"));
  EXPECT_TRUE(rig.Nothing_Left());
}

TEST(Engine_Plan_Run_Test, TheSequentialWriteRunsTwiceTheTestTimeTheFileTestsOnce) {
  Memory_Rig rig;
  // When each test first and last moved data, on the hand clock.
  std::map<std::string, std::pair<std::int64_t, std::int64_t>> spans;
  rig.disk.before = [&](const std::string& op, const std::string&) {
    if (op != "write" && op != "open") return;
    auto [at, fresh] = spans.try_emplace(rig.observer.activity, rig.clock.Elapsed_Ms(), rig.clock.Elapsed_Ms());
    if (!fresh) at->second.second = rig.clock.Elapsed_Ms();
  };
  const int seconds = 3;
  rig.Run(seconds);
  for (int position = 0; position <= kLastTest; ++position) {
    if (position == 1) continue;  // the sequential read reads the whole file, however long that takes
    const auto [first, last] = spans.at(Panel_Text(position));
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
    if (c.type >= 0) rig.inventory = &typed;
    rig.Only({0});
    rig.Run();
    EXPECT_TRUE(Logged_In_Order(rig.observer, {"Calculating Buffer Size Start", c.logged, "Calculating Buffer Size Finish"}))
        << c.work;
    EXPECT_GT(rig.result.tests[1].rate, 0.0) << c.work;
  }
}

TEST(Engine_Plan_Run_Test, FilesAreReadInCyclesInTheOrderTheFoldersListThem) {
  // Three files are read 1, 2, 3, 1, 2, 3 ... (two blocks beyond the reserve stay for the
  // folder).
  const std::int64_t folder_blocks = 2 * 4096;
  Memory_Rig three(kFreeSpaceReserve + folder_blocks + 3 * 4096 + 100);
  three.Only({3});
  three.Run();
  const std::vector<std::string>& reads = three.disk.Reads();
  ASSERT_GT(reads.size(), 7u);
  for (std::size_t i = 1; i < 7; ++i)  // the first open is the one that chooses the transfer mode
    EXPECT_EQ(reads[i], three.Folder() + "/temp-" + std::to_string((i - 1) % 3 + 1) + ".tmp") << i;

  // 60,001 files: the last goes into the sub-folder tmp-1 as temp-0.tmp; the folder's own
  // files are read first, then the sub-folder's.
  Memory_Rig many(kFreeSpaceReserve + folder_blocks + 60001LL * 4096 + 100);
  many.Only({1});
  std::vector<std::string> files;
  many.observer.on_call = [&] {
    if (files.empty() && many.observer.activity == "Random 512B Read  Start...") files = many.disk.Paths_Under(many.Folder());
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
  EXPECT_GT(many.result.tests[3].rate, 0.0);
  EXPECT_TRUE(many.Nothing_Left());
  EXPECT_FALSE(many.observer.Logged_Prefix("Error"));
}
