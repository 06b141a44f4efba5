// The engine against a disk that misbehaves or runs short: the in-memory disk with the
// faults a test switches on, and a hand clock, so that every case takes milliseconds.
#include <gtest/gtest.h>

#include <cerrno>
#include <set>

#include "memory_rig.h"

namespace {

using platform::Entry_Kind;

constexpr std::int64_t kMiB = 1 << 20;

long Count_Lines(const Fake_Observer& observer, const std::string& prefix) {
  return std::count_if(observer.log.begin(), observer.log.end(),
                       [&](const std::string& l) { return l.rfind(prefix, 0) == 0; });
}

// Calls the action at the first call of the run that shows the activity text.
void At_Panel(Fake_Observer& observer, const std::string& text, std::function<void()> action) {
  observer.on_call = [&observer, text, action, done = false]() mutable {
    if (!done && observer.activity == text) {
      done = true;
      action();
    }
  };
}

}  // namespace

TEST(Engine_Fault_Test, AFolderThatCannotBeMadeTheRunsOwnIsAFailedRun) {
  // An ordinary user, a shared sticky folder, and a leftover of another user in it.
  Memory_Rig rig(100'000'000'000LL, "/shared");
  rig.disk.Add_Folder("/shared", 0, 01777);
  rig.disk.Add_Folder("/shared/_Quillorane", 2000, 0755);
  rig.disk.Add_File("/shared/_Quillorane/temp-1.tmp", 4096, 2000);
  rig.Run();
  EXPECT_EQ(rig.result.outcome, Run_Outcome::Refused);
  EXPECT_TRUE(rig.observer.Logged("Error creating temp folder, Target Fodler:/shared/_Quillorane"));
  ASSERT_EQ(rig.observer.errors.size(), 1u);
  EXPECT_EQ(rig.observer.errors[0],
            "Cannot create folder /shared/_Quillorane: cannot remove /shared/_Quillorane/temp-1.tmp: Permission denied");
  EXPECT_EQ(rig.result.error, rig.observer.errors[0]);
  EXPECT_TRUE(rig.observer.Logged("Synthetic Test Finish"));
  EXPECT_FALSE(rig.observer.Logged_Prefix("Deleting Temp Dir:"));
  for (int i = 0; i <= kLastTest; ++i) EXPECT_EQ(rig.result.tests[i].rate, -1.0);
  EXPECT_EQ(rig.disk.Kind("/shared/_Quillorane/temp-1.tmp"), Entry_Kind::File);  // not ours: left alone
}

TEST(Engine_Fault_Test, FailedOrShortWritesAreNotCountedAndEndTheWrite) {
  for (bool short_write : {false, true}) {
    Memory_Rig rig;
    rig.Only({0, 3});
    rig.disk.faults.write_error = ENOSPC;
    rig.disk.faults.short_write = short_write;
    rig.Run();
    EXPECT_EQ(rig.disk.counts.writes, 2) << "a failing disk must not be written to until the time is up";
    EXPECT_EQ(rig.result.tests[0].rate, 0.0);
    EXPECT_EQ(rig.result.tests[6].rate, 0.0);
    ASSERT_GE(rig.observer.errors.size(), 2u);  // the user is told, not only the log
    EXPECT_EQ(rig.observer.errors[0].rfind("Error writing file " + rig.Folder() + "/", 0), 0u) << rig.observer.errors[0];
    EXPECT_NE(rig.observer.errors[0].find(".tmp: No space left on device"), std::string::npos) << rig.observer.errors[0];
    EXPECT_TRUE(rig.observer.Logged("Error writing file " + rig.Folder() + "/temp-1.tmp: No space left on device"));
    EXPECT_TRUE(rig.Nothing_Left());
  }
}

TEST(Engine_Fault_Test, FailedReadsCountNothingAndAreReportedOnceAtTheEnd) {
  Memory_Rig rig(kFreeSpaceReserve + 2 * 4096 + 3 * 4096 + 100);
  rig.Only({3});  // three 4K files, and the folder's two blocks
  At_Panel(rig.observer, "Random 4K Read  Start...", [&] { rig.disk.faults.read_error = EIO; });
  rig.Run();
  EXPECT_GT(rig.result.tests[6].rate, 0.0);
  EXPECT_EQ(rig.result.tests[7].rate, 0.0);
  ASSERT_EQ(rig.observer.errors.size(), 1u);
  EXPECT_EQ(rig.observer.errors[0].rfind("Error reading file " + rig.Folder() + "/temp-", 0), 0u) << rig.observer.errors[0];
  EXPECT_NE(rig.observer.errors[0].find("Input/output error ("), std::string::npos) << rig.observer.errors[0];
  EXPECT_TRUE(rig.observer.Logged(rig.observer.errors[0]));
}

TEST(Engine_Fault_Test, EveryWholeBlockCountsTheFirstReadBlockToo) {
  // Room for one and a half blocks of 8 MiB above the reserve: one block is written, and
  // the one-block file reads at a rate above 0.
  Memory_Rig one(kFreeSpaceReserve + 12 * kMiB);
  one.Only({0});
  one.Run();
  EXPECT_GT(one.result.tests[0].rate, 0.0);
  EXPECT_GT(one.result.tests[1].rate, 0.0);
  EXPECT_TRUE(one.observer.Logged("Temporary File Size:8.39 MB"));
  // Room for half a block: no block is written, the file stays empty, both rates are 0.
  Memory_Rig none(kFreeSpaceReserve + 4 * kMiB);
  none.Only({0});
  none.Run();
  EXPECT_EQ(none.result.tests[0].rate, 0.0);
  EXPECT_EQ(none.result.tests[1].rate, 0.0);
  EXPECT_TRUE(none.observer.Logged("Temporary File Size:0 bytes"));
}

TEST(Engine_Fault_Test, AFileSystemThatRefusesDirectTransferIsReadAfterItsCacheIsDropped) {
  Memory_Rig rig;
  rig.Only({0});
  rig.disk.faults.refuse_direct = true;
  rig.Run();
  EXPECT_TRUE(rig.observer.Logged("Transfer Mode:buffered"));
  EXPECT_FALSE(rig.observer.Logged("Transfer Mode:direct (unbuffered)"));
  EXPECT_EQ(rig.disk.counts.cache_drops, 2);  // after the write, and before the read
  EXPECT_GT(rig.result.tests[1].rate, 0.0);
}

TEST(Engine_Fault_Test, TheReserveIsNeverCrossedNotEvenByOneBlock) {
  // Room above the reserve for 5.5 sequential blocks of 8 MiB, then for 3.5 files of 4 MiB:
  // a block that would not fit is not written.
  struct Case {
    int pair;
    std::int64_t room;
    int position;
    std::int64_t expected_bytes;
  };
  for (const Case c : {Case{0, 44 * kMiB, 0, 40 * kMiB}, Case{8, 14 * kMiB, 16, 12 * kMiB}}) {
    Memory_Rig rig(kFreeSpaceReserve + c.room);
    rig.Only({c.pair});
    std::int64_t most_used = 0;
    rig.observer.on_call = [&] { most_used = std::max(most_used, kFreeSpaceReserve + c.room - rig.disk.Free()); };
    rig.Run();
    EXPECT_GE(rig.disk.Lowest_Free(), kFreeSpaceReserve) << c.pair;
    EXPECT_EQ(most_used, c.expected_bytes) << c.pair;
    EXPECT_GT(rig.result.tests[c.position].rate, 0.0);
  }
}

TEST(Engine_Fault_Test, FilesAreChargedWhatTheyReallyTakeOnTheDrive) {
  // What one file takes comes from the file itself, not from the file system's transfer
  // size (about 1 MiB on network file systems): 512-byte files in 4 KiB units fill the
  // room but for two blocks kept for the folder; in 64 KiB units they fill it without
  // crossing the reserve.
  struct Case {
    std::int64_t unit;
    std::size_t files;
  };
  for (const Case c : {Case{4096, 98}, Case{65536, 4}}) {
    Memory_Rig rig(kFreeSpaceReserve + 100 * 4096);
    rig.disk.allocation_unit = c.unit;
    rig.Only({1});
    std::size_t files = 0;
    At_Panel(rig.observer, "Random 512B Read  Start...", [&] { files = rig.disk.Paths_Under(rig.Folder()).size(); });
    rig.Run();
    EXPECT_EQ(files, c.files) << c.unit;
    EXPECT_GE(rig.disk.Lowest_Free(), kFreeSpaceReserve);
  }
}

TEST(Engine_Fault_Test, LeftoversOfAKilledRunAreRemovedBeforeTheFreeSpaceIsMeasured) {
  Memory_Rig rig(1'000'000'000);
  rig.disk.Add_Folder(rig.Folder(), rig.disk.user);
  rig.disk.Add_File(rig.Folder() + "/4321.tmp", 900'000'000, rig.disk.user);
  rig.Only({0});
  rig.Run();
  EXPECT_TRUE(rig.observer.Logged("Targer Free Space:1 GB"));
  EXPECT_TRUE(rig.observer.Logged("Final Temporary Sample Size:900 MB"));
}

TEST(Engine_Fault_Test, ATestThatHasNoRoomSaysWhyWithBothFiguresInOneUnit) {
  const std::string reserve = " MB free, 20.97 MB must stay free";
  struct Case {
    const char* what;
    std::int64_t capacity;
    std::string free;         // as the notes write it
    std::set<int> no_room;    // the writes that found no room, and so their reads nothing
  };
  const Case cases[] = {
      {"below the reserve", 16 * kMiB, "16.78", {0, 2, 4, 6, 8, 10, 12, 14, 16}},
      {"exactly at the reserve", kFreeSpaceReserve, "20.97", {0, 2, 4, 6, 8, 10, 12, 14, 16}},
      {"less than a sequential block above it", kFreeSpaceReserve + 4'990'000, "25.96", {0}},
  };
  for (const Case& c : cases) {
    Memory_Rig rig(c.capacity);
    rig.Run();
    EXPECT_EQ(rig.result.outcome, Run_Outcome::Completed) << c.what;  // the run still completes and is reported
    for (int i = 0; i <= kLastTest; ++i) {
      const Test_Result& test = rig.result.tests[i];
      const bool write_had_no_room = c.no_room.count(i - i % 2) != 0;
      std::string note;
      if (write_had_no_room && i % 2 == 1) note = "Nothing to read: the write before it had no room above the reserve";
      else if (write_had_no_room)
        note = std::string("Not enough free space for ") + (i == 0 ? "one block of 8.39 MB: " : "one file of ") +
               (i == 0 ? "" : Format_Size(kPlannedTests[i].BufferSize, "0.##", false) + ": ") + c.free + reserve;
      EXPECT_EQ(test.note, note) << c.what << " " << test.key;
      if (write_had_no_room) {
        EXPECT_EQ(test.rate, 0.0) << c.what << " " << test.key;
        // Logged and told, with the test's name.
        EXPECT_TRUE(rig.observer.Logged(std::string(kPlannedTests[i].Description) + ": " + note)) << test.key;
      } else {
        EXPECT_GT(test.rate, 0.0) << c.what << " " << test.key;
      }
    }
    EXPECT_EQ(rig.observer.status.find("Not enough free space") != std::string::npos ||
                  rig.observer.status.find("Nothing to read") != std::string::npos,
              true)
        << rig.observer.status;
    EXPECT_TRUE(rig.Nothing_Left());
  }
  // A run that starts at or below the reserve says so first, for the whole drive.
  Memory_Rig at(kFreeSpaceReserve);
  at.Run();
  EXPECT_TRUE(at.observer.Logged("Not enough free space on /srv/scratch: 20.97" + reserve));
}

TEST(Engine_Fault_Test, ErrorTextsNameThePathAndThePlainReason) {
  Memory_Rig rig;
  rig.disk.Add_File("/srv/file", 10, rig.disk.user);
  rig.request.drive = "/srv/file";
  rig.Run();
  EXPECT_EQ(rig.result.outcome, Run_Outcome::Refused);
  EXPECT_EQ(rig.result.error, "Cannot write to /srv/file: Not a directory");
  ASSERT_EQ(rig.observer.errors.size(), 1u);
  EXPECT_EQ(rig.observer.errors[0], "Cannot write to /srv/file: Not a directory");

  rig.observer.errors.clear();
  rig.request.drive = rig.work;
  rig.Only({3});
  rig.disk.faults.create_error = EACCES;
  rig.Run();
  ASSERT_EQ(rig.observer.errors.size(), 1u);
  EXPECT_EQ(rig.observer.errors[0], "Error creating file " + rig.Folder() + "/temp-1.tmp: Permission denied");
  for (const std::string& line : rig.observer.log) EXPECT_EQ(line.find("::"), std::string::npos) << line;

  // A folder that is not the run's own is never emptied.
  rig.disk.Add_File("/srv/scratch/keep.txt", 10, rig.disk.user);
  Benchmark_Run(rig.observer, {}, rig.Services()).Delete_All_Tree("/srv/scratch");
  EXPECT_TRUE(rig.observer.Logged("Error deleting temp folder:/srv/scratch"));
  EXPECT_EQ(rig.disk.Size("/srv/scratch/keep.txt"), 10);
}

TEST(Engine_Fault_Test, TheReadModeIsChosenAndLoggedOncePerTestOutsideTheTimedSpan) {
  Memory_Rig rig;
  rig.Only({1, 3, 8});
  rig.Run();
  EXPECT_EQ(rig.disk.counts.alignment_queries, 3);
  EXPECT_EQ(Count_Lines(rig.observer, "Transfer Mode:"), 3);
  // A file system that needs a larger alignment than the 512-byte block reads buffered.
  Memory_Rig coarse;
  coarse.disk.dio_alignment = 4096;
  coarse.Only({1, 3});
  coarse.Run();
  EXPECT_TRUE(Logged_In_Order(coarse.observer, {"Random Read Test Start", "Transfer Mode:buffered", "Random Read Test Start",
                                            "Transfer Mode:direct (unbuffered)"}));
}

TEST(Engine_Fault_Test, AStaleFileOfAnotherUserIsNeverRead) {
  // Something else puts a file into the run's folder; the run's own writes all fail. The
  // read measures only what the pair wrote: here nothing.
  Memory_Rig rig;
  rig.Only({3});
  const std::string stale = rig.Folder() + "/temp-7.tmp";
  rig.disk.before = [&](const std::string& op, const std::string& path) {
    if (op == "create" && rig.disk.Kind(stale) == Entry_Kind::Missing) {
      rig.disk.Add_File(stale, 4096, 2000);
      rig.disk.faults.create_error = EIO;
    }
    (void)path;
  };
  rig.Run();
  EXPECT_EQ(rig.result.tests[7].rate, 0.0);
  EXPECT_TRUE(std::find(rig.disk.Reads().begin(), rig.disk.Reads().end(), stale) == rig.disk.Reads().end());
  EXPECT_TRUE(rig.disk.Reads().empty());
}

TEST(Engine_Fault_Test, ASecondRunOnTheSameFolderIsRefusedAndTheFirstStaysValid) {
  Memory_Rig rig;
  rig.Only({3, 4});
  Fake_Observer second_observer;
  Run_Result second;
  Run_Request second_request = rig.request;
  auto run_second = [&] { second = ::Run(second_request, second_observer, {}, rig.Services()); };
  At_Panel(rig.observer, "Random 4K Write  Start...", run_second);
  rig.Run();
  EXPECT_EQ(second.outcome, Run_Outcome::Refused);
  ASSERT_EQ(second_observer.errors.size(), 1u);
  EXPECT_EQ(second_observer.errors[0], "Another run is using /srv/scratch/_Quillorane");
  EXPECT_EQ(second.error, second_observer.errors[0]);
  EXPECT_TRUE(second_observer.Logged("Another run is using /srv/scratch/_Quillorane"));
  // The first run measured every test it was asked for, without an error, and is reported.
  EXPECT_EQ(rig.result.outcome, Run_Outcome::Completed);
  EXPECT_TRUE(rig.observer.errors.empty()) << rig.observer.errors.front();
  for (int i : {6, 7, 8, 9}) EXPECT_GT(rig.result.tests[i].rate, 0.0) << i;
  EXPECT_TRUE(rig.Nothing_Left());
  // Once the first run is over the folder is free again.
  run_second();
  EXPECT_EQ(second.outcome, Run_Outcome::Completed);
}
