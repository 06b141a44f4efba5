// The run's own folder: claimed fresh and private, locked against a second run, emptied
// without following a link or entering another file system. In memory (any user), and on
// the real file system for what needs no root.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <fstream>

#include "platform/memory_platform.h"
#include "platform/posix_platform.h"
#include "platform/run_folder.h"
#include "scratch_folder.h"

namespace fs = std::filesystem;
using platform::Claim_Status;
using platform::Entry_Kind;
using platform::Run_Folder;

namespace {

constexpr unsigned kOther = 2000;  // another user of the machine

struct Memory_Run_Folder : ::testing::Test {
  Memory_Run_Folder() { disk.Add_Folder("/srv/shared", 0, 01777); }
  Claim_Status Claim(Run_Folder& folder) { return folder.Claim(disk, "/srv/shared", "_Quillorane", reason); }
  platform::Memory_Platform disk;
  std::string reason;
};

}  // namespace

TEST_F(Memory_Run_Folder, WhateverTheNameHoldsGoesAndAPrivateFolderOfOursTakesItsPlace) {
  struct Case {
    const char* what;
    std::function<void(platform::Memory_Platform&)> plant;
  };
  const Case cases[] = {
      {"a link to a folder elsewhere", [](auto& d) { d.Add_Link("/srv/shared/_Quillorane", "/etc"); }},
      {"a file", [](auto& d) { d.Add_File("/srv/shared/_Quillorane", 5, kOther); }},
      {"another user's open folder with links inside",
       [](auto& d) {
         d.Add_Folder("/srv/shared/_Quillorane", kOther, 0777);
         d.Add_Link("/srv/shared/_Quillorane/temp-1.tmp", "/etc/secret");
         d.Add_Link("/srv/shared/_Quillorane/tmp-1", "/etc");
         d.Add_File("/srv/shared/_Quillorane/a/b/temp-0.tmp", 4096, kOther);
       }},
  };
  for (const Case& c : cases) {
    platform::Memory_Platform disk;
    disk.Add_Folder("/srv/shared", 0, 01777);  // shared and sticky, as /tmp is
    disk.Add_File("/etc/secret", 100, 0);
    disk.user = 0;  // the program often runs as root
    c.plant(disk);
    Run_Folder folder;
    std::string reason;
    ASSERT_EQ(folder.Claim(disk, "/srv/shared", "_Quillorane", reason), Claim_Status::Claimed) << c.what << ": " << reason;
    const platform::Entry_Facts facts = disk.Facts(folder.Folder());
    EXPECT_EQ(facts.kind, Entry_Kind::Folder) << c.what;
    EXPECT_EQ(facts.owner, 0u) << c.what;
    EXPECT_EQ(facts.mode, 0700u) << c.what;
    EXPECT_TRUE(disk.Paths_Under("/srv/shared/_Quillorane").empty()) << c.what;
    EXPECT_EQ(disk.Size("/etc/secret"), 100) << c.what;  // what the links pointed at is untouched
    EXPECT_EQ(disk.Kind("/etc"), Entry_Kind::Folder) << c.what;
  }
}

TEST_F(Memory_Run_Folder, AFolderThatCannotBeMadeOursIsRefusedWithTheReason) {
  // An ordinary user cannot remove another user's leftover from a shared sticky folder.
  disk.Add_Folder("/srv/shared/_Quillorane", kOther, 0755);
  Run_Folder folder;
  EXPECT_EQ(Claim(folder), Claim_Status::Refused);
  EXPECT_EQ(reason, "cannot remove /srv/shared/_Quillorane: Operation not permitted");
  EXPECT_FALSE(folder.claimed());
  EXPECT_EQ(disk.Kind("/srv/shared/_Quillorane"), Entry_Kind::Folder);
  // Another user who takes the name again each time it is freed: given up after a few tries.
  disk.user = 0;
  disk.before = [&](const std::string& op, const std::string& path) {
    if (op == "mkdir" && path == "/srv/shared/_Quillorane") disk.Add_Folder(path, kOther, 0777);
  };
  EXPECT_EQ(Claim(folder), Claim_Status::Refused);
  EXPECT_EQ(reason, "File exists");
}

TEST_F(Memory_Run_Folder, AnotherFileSystemMountedInsideIsNeverEntered) {
  disk.user = 0;
  disk.Add_Folder("/srv/shared/_Quillorane/mnt", 0, 0755);
  disk.Mount("/srv/shared/_Quillorane/mnt");
  disk.Add_File("/srv/shared/_Quillorane/mnt/keep.txt", 10, 0);
  disk.Add_File("/srv/shared/_Quillorane/temp-1.tmp", 10, 0);
  Run_Folder folder;
  EXPECT_EQ(Claim(folder), Claim_Status::Refused);
  EXPECT_EQ(reason, "cannot remove /srv/shared/_Quillorane/mnt: another file system is mounted there");
  EXPECT_EQ(disk.Size("/srv/shared/_Quillorane/mnt/keep.txt"), 10);

  // A mount that appears inside the run's folder later is left as well.
  disk.Add_Folder("/other", 0, 0755);
  Run_Folder other;
  ASSERT_EQ(other.Claim(disk, "/other", "_Quillorane", reason), Claim_Status::Claimed) << reason;
  disk.Add_Folder("/other/_Quillorane/mnt", 0, 0755);
  disk.Mount("/other/_Quillorane/mnt");
  disk.Add_File("/other/_Quillorane/mnt/keep.txt", 10, 0);
  disk.Add_File("/other/_Quillorane/temp-1.tmp", 10, 0);
  EXPECT_FALSE(other.Empty(reason));
  EXPECT_EQ(reason, "cannot remove /other/_Quillorane/mnt: another file system is mounted there");
  EXPECT_EQ(disk.Kind("/other/_Quillorane/temp-1.tmp"), Entry_Kind::Missing);
  EXPECT_EQ(disk.Size("/other/_Quillorane/mnt/keep.txt"), 10);
  EXPECT_FALSE(other.Remove(reason));
  EXPECT_EQ(disk.Size("/other/_Quillorane/mnt/keep.txt"), 10);
}

TEST_F(Memory_Run_Folder, ASecondClaimOfTheSameFolderIsBusyUntilTheFirstLetsGo) {
  disk.user = 0;
  Run_Folder first, second;
  ASSERT_EQ(Claim(first), Claim_Status::Claimed);
  disk.Add_File("/srv/shared/_Quillorane/temp-1.tmp", 10, 0);
  EXPECT_EQ(Claim(second), Claim_Status::Busy);
  EXPECT_EQ(disk.Kind("/srv/shared/_Quillorane/temp-1.tmp"), Entry_Kind::File);  // nothing touched
  EXPECT_TRUE(first.Remove(reason)) << reason;
  EXPECT_EQ(disk.Kind("/srv/shared/_Quillorane"), Entry_Kind::Missing);
  EXPECT_EQ(Claim(second), Claim_Status::Claimed);
  // A file system that keeps no locks is run on unguarded rather than not at all.
  second.Release();
  disk.faults.lock_error = ENOLCK;
  EXPECT_EQ(Claim(first), Claim_Status::Claimed);
  EXPECT_EQ(disk.open_handles(), 2);
}

// Any user may open a shared work folder, or put a folder of its own under the run's name,
// and hold its lock: neither is a run of this user's.
TEST_F(Memory_Run_Folder, LocksThatOtherUsersCanTakeNeverHoldARunUp) {
  disk.user = 0;
  Run_Folder folder;
  platform::Folder_Result work = disk.Open_Folder("/srv/shared");
  ASSERT_EQ(disk.Lock_Folder(work.folder), 0);
  EXPECT_EQ(Claim(folder), Claim_Status::Claimed) << reason;
  EXPECT_TRUE(folder.Remove(reason)) << reason;

  disk.Add_Folder("/srv/shared/_Quillorane", kOther, 0700);
  platform::Folder_Result planted = disk.Open_Folder("/srv/shared/_Quillorane");
  ASSERT_EQ(disk.Lock_Folder(planted.folder), 0);
  EXPECT_EQ(Claim(folder), Claim_Status::Claimed) << reason;
  EXPECT_EQ(disk.Facts(folder.Folder()).owner, 0u);
}

TEST(Posix_Run_Folder, ClaimAndCleanUpNeverFollowALinkAndTwoClaimsAreKeptApart) {
  Scratch_Folder scratch;
  const std::string work = scratch / "work";
  const std::string outside = scratch.Make_File("outside/keep.txt", 7);
  fs::create_directories(work + "/_Quillorane/deep");
  fs::create_symlink(outside, work + "/_Quillorane/temp-1.tmp");
  fs::create_directory_symlink(scratch / "outside", work + "/_Quillorane/deep/tmp-1");
  scratch.Make_File("work/_Quillorane/deep/temp-0.tmp");

  platform::Posix_Platform os;
  Run_Folder folder, second;
  std::string reason;
  ASSERT_EQ(folder.Claim(os, work, "_Quillorane", reason), Claim_Status::Claimed) << reason;
  EXPECT_TRUE(fs::is_empty(work + "/_Quillorane"));
  struct stat st {};
  ASSERT_EQ(::lstat((work + "/_Quillorane").c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 07777, 0700u);
  EXPECT_EQ(st.st_uid, ::geteuid());
  EXPECT_EQ(Read_Whole_File(outside), std::string(7, 'x'));

  EXPECT_EQ(second.Claim(os, work + "/", "_Quillorane", reason), Claim_Status::Busy);

  fs::create_directories(work + "/_Quillorane/tmp-1/tmp-2");
  fs::create_symlink(outside, work + "/_Quillorane/tmp-1/tmp-2/temp-0.tmp");
  EXPECT_TRUE(folder.Empty(reason)) << reason;
  EXPECT_TRUE(fs::is_empty(work + "/_Quillorane"));
  EXPECT_TRUE(folder.Remove(reason)) << reason;
  EXPECT_FALSE(fs::exists(work + "/_Quillorane"));
  EXPECT_EQ(Read_Whole_File(outside), std::string(7, 'x'));
  EXPECT_EQ(second.Claim(os, work, "_Quillorane", reason), Claim_Status::Claimed) << reason;
}
