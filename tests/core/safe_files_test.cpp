// Files written for later: whole or not at all, never through a planted link, with the mode
// asked for whatever the umask.
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include <gtest/gtest.h>

#include "platform/safe_files.h"
#include "scratch_folder.h"

TEST(SafeFiles, AtomicWriteReplacesTheFileWholeWithTheModeAskedFor) {
  Scratch_Folder scratch;
  Umask_Override open_umask(0);
  scratch.Make_File("store.conf", 10);
  int error = 0;
  platform::Descriptor folder = platform::Open_Folder(scratch.path(), error);
  ASSERT_TRUE(folder.valid());
  std::string reason;
  ASSERT_TRUE(platform::Write_File_Atomically(folder, "store.conf", "new text", 0644, reason)) << reason;
  EXPECT_EQ(Read_Whole_File(scratch / "store.conf"), "new text");
  EXPECT_EQ(Mode_Of(scratch / "store.conf"), 0644u);
  int entries = 0;
  for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator(scratch.path())) ++entries;
  EXPECT_EQ(entries, 1) << "no temporary file is left behind";
  std::string back;
  ASSERT_TRUE(platform::Read_File_At(folder, "store.conf", back, error));
  EXPECT_EQ(back, "new text");
}

TEST(SafeFiles, APlantedLinkIsReplacedNeverFollowed) {
  Scratch_Folder scratch;
  const std::string victim = scratch.Make_File("victim", 5);
  std::filesystem::create_directory(scratch / "shared");
  std::filesystem::create_symlink(victim, scratch / "shared/queue.dat");
  int error = 0;
  platform::Descriptor folder = platform::Open_Folder(scratch / "shared", error);
  std::string reason;
  ASSERT_TRUE(platform::Write_File_Atomically(folder, "queue.dat", "record", 0600, reason)) << reason;
  EXPECT_EQ(Read_Whole_File(victim), "xxxxx");
  EXPECT_FALSE(std::filesystem::is_symlink(scratch / "shared/queue.dat"));
  std::string back;
  EXPECT_FALSE(platform::Read_File_At(folder, "missing", back, error));
  std::filesystem::create_symlink(victim, scratch / "shared/link");
  EXPECT_FALSE(platform::Read_File_At(folder, "link", back, error)) << "a link is never read through";
}

TEST(SafeFiles, APrivateFolderIsTheUsersAndOnlyAStickyOneIsOwnerOnly) {
  Scratch_Folder scratch;
  std::filesystem::create_directory(scratch / "a");
  ::chmod((scratch / "a").c_str(), 0700);
  int error = 0;
  platform::Descriptor own = platform::Open_Folder(scratch / "a", error);
  EXPECT_TRUE(platform::Folder_Is_Private(own));
  ::chmod((scratch / "a").c_str(), 0777);
  EXPECT_FALSE(platform::Folder_Is_Private(own));
  EXPECT_FALSE(platform::Folder_Is_Owner_Only(own));
  ::chmod((scratch / "a").c_str(), 01777);
  EXPECT_TRUE(platform::Folder_Is_Owner_Only(own)) << "a sticky folder protects its owners' entries";
  std::filesystem::create_symlink(scratch / "a", scratch / "link");
  EXPECT_FALSE(platform::Open_Folder(scratch / "link", error).valid());
}

TEST(SafeFiles, AppendingTakesOnlyAPlainFileOfTheFolder) {
  Scratch_Folder scratch;
  const std::string victim = scratch.Make_File("victim", 5);
  std::filesystem::create_directory(scratch / "logs");
  std::filesystem::create_symlink(victim, scratch / "logs/link.txt");
  ASSERT_EQ(::mkfifo((scratch / "logs/pipe.txt").c_str(), 0600), 0);
  int error = 0;
  platform::Descriptor folder = platform::Open_Folder(scratch / "logs", error);
  ASSERT_TRUE(folder.valid());
  EXPECT_FALSE(platform::Append_Line_At(folder, "link.txt", "line\n", 0600, error));
  EXPECT_EQ(Read_Whole_File(victim), "xxxxx");
  EXPECT_FALSE(platform::Append_Line_At(folder, "pipe.txt", "line\n", 0600, error)) << "and never waits on a pipe";
  ASSERT_TRUE(platform::Append_Line_At(folder, "day.txt", "one\n", 0600, error));
  ASSERT_TRUE(platform::Append_Line_At(folder, "day.txt", "two\n", 0600, error));
  EXPECT_EQ(Read_Whole_File(scratch / "logs/day.txt"), "one\ntwo\n");
}

TEST(SafeFiles, AFileTheUserNamesIsSavedWholeWithTheUsualRights) {
  Scratch_Folder scratch;
  Umask_Override usual(027);
  std::filesystem::create_directory(scratch / "real");
  std::filesystem::create_directory_symlink(scratch / "real", scratch / "documents");  // a folder the user links to
  std::string reason;
  // A new file: 0666 less the umask, through the linked folder.
  ASSERT_TRUE(platform::Save_File_Whole(scratch / "documents/runs.csv", "a,b\n", reason)) << reason;
  EXPECT_EQ(Read_Whole_File(scratch / "real/runs.csv"), "a,b\n");
  EXPECT_EQ(Mode_Of(scratch / "real/runs.csv"), 0640u);
  // A file replaced keeps its rights; a link in the file's place is replaced, not written through.
  ::chmod((scratch / "real/runs.csv").c_str(), 0600);
  ASSERT_TRUE(platform::Save_File_Whole(scratch / "real/runs.csv", "c,d\n", reason)) << reason;
  EXPECT_EQ(Mode_Of(scratch / "real/runs.csv"), 0600u);
  const std::string victim = scratch.Make_File("victim", 5);
  std::filesystem::create_symlink(victim, scratch / "real/graph.png");
  ASSERT_TRUE(platform::Save_File_Whole(scratch / "real/graph.png", "PNG", reason)) << reason;
  EXPECT_EQ(Read_Whole_File(victim), "xxxxx");
  EXPECT_EQ(Read_Whole_File(scratch / "real/graph.png"), "PNG");
  int entries = 0;
  for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator(scratch / "real")) ++entries;
  EXPECT_EQ(entries, 2) << "no temporary file is left behind";
}

// Root saves an export over a file another user put in a shared sticky folder.
TEST(SafeFiles, AReplacedFileKeepsOnlyThePermissionsOfTheUsersOwnFile) {
  if (::geteuid() != 0) GTEST_SKIP() << "needs root, to replace another user's file";
  Scratch_Folder scratch;
  Umask_Override usual(022);
  const std::string shared = scratch / "shared";
  std::filesystem::create_directory(shared);
  ::chmod(shared.c_str(), 01777);
  struct Case {
    const char* name;
    uid_t owner;
    mode_t before, after;
  };
  const Case cases[] = {
      {"foreign.csv", 65534, 06777, 0644},  // another user's: the usual rights of a new file
      {"own.csv", 0, 04750, 0750},          // the user's own: its rights, but no set-id bit
  };
  for (const Case& c : cases) {
    const std::string path = shared + "/" + c.name;
    std::ofstream(path) << "old";
    ASSERT_EQ(::chown(path.c_str(), c.owner, c.owner), 0);
    ASSERT_EQ(::chmod(path.c_str(), c.before), 0);
    std::string reason;
    ASSERT_TRUE(platform::Save_File_Whole(path, "new", reason)) << reason;
    EXPECT_EQ(Mode_Of(path), c.after) << c.name;
    EXPECT_EQ(Read_Whole_File(path), "new");
  }
}

TEST(SafeFiles, AFileThatCannotBeSavedSaysWhyAndLeavesNothing) {
  Scratch_Folder scratch;
  std::filesystem::create_directory(scratch / "folder");
  const struct {
    std::string path;
    const char* says;
  } cases[] = {
      {scratch / "missing/runs.csv", ": No such file or directory"},
      {scratch / "folder", ": Is a directory"},
      {scratch / "folder/", ": Is a directory"},
  };
  for (const auto& c : cases) {
    std::string reason;
    EXPECT_FALSE(platform::Save_File_Whole(c.path, "data", reason)) << c.path;
    EXPECT_NE(reason.find(c.path.substr(0, c.path.find_last_of('/'))), std::string::npos) << reason;
    EXPECT_NE(reason.find(c.says), std::string::npos) << reason;
  }
  EXPECT_TRUE(std::filesystem::is_empty(scratch / "folder"));
}
