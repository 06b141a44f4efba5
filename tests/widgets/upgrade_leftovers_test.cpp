// The start-up clean-up of upgrade leftovers when another user has planted a link or a
// folder of their own beside the program, or could plant one.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <QTemporaryDir>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "app/upgrade_leftovers.h"

namespace fs = std::filesystem;

namespace {

void Make_File(const fs::path& path) { std::ofstream(path) << "x"; }

// A program folder with the program and a leftover of an upgrade, and, elsewhere, two files
// of root's that must survive whatever the folder holds.
class Program_Folder_Fixture : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(scratch.isValid());
    fs::create_directories(program_folder);
    ::chmod(program_folder.c_str(), 0755);
    Make_File(program_folder / "platterscope");
    Make_File(program_folder / "_Quillorane-platterscope.exe");
    fs::create_directories(elsewhere);
    for (const char* name : {"passwd", "shadow"}) Make_File(elsewhere / name);
  }
  // Runs the clean-up; wait stands in for the pause before each attempt.
  void Clean(const std::function<void()>& wait = [] {}) {
    Remove_Upgrade_Leftovers((program_folder / "platterscope").string(),
                             {[](const std::string&) {}, wait, [this](const std::string& line) { log.push_back(line); }});
  }
  bool Untouched_Elsewhere() const { return fs::exists(elsewhere / "passwd") && fs::exists(elsewhere / "shadow"); }

  QTemporaryDir scratch;
  fs::path program_folder = fs::path(scratch.path().toStdString()) / "opt/platterscope";
  fs::path elsewhere = fs::path(scratch.path().toStdString()) / "etc";
  std::vector<std::string> log;
};

}  // namespace

TEST_F(Program_Folder_Fixture, ALeftoverFolderOfTheProgramsOwnIsRemovedWithItsFiles) {
  fs::create_directory(program_folder / "_Quillorane");
  Make_File(program_folder / "_Quillorane/setup.exe");
  Clean();
  EXPECT_FALSE(fs::exists(program_folder / "_Quillorane-platterscope.exe"));
  EXPECT_FALSE(fs::exists(program_folder / "_Quillorane"));
  EXPECT_TRUE(fs::exists(program_folder / "platterscope"));
}

TEST_F(Program_Folder_Fixture, APlantedLinkIsNeverFollowedNotEvenOneSwappedInDuringTheWait) {
  fs::create_directory_symlink(elsewhere, program_folder / "_Quillorane");
  Clean();
  EXPECT_TRUE(Untouched_Elsewhere()) << "a link in place of the folder";
  EXPECT_FALSE(fs::exists(program_folder / "_Quillorane-platterscope.exe"));
  EXPECT_TRUE(fs::is_symlink(program_folder / "_Quillorane"));

  fs::remove(program_folder / "_Quillorane");
  fs::create_directory(program_folder / "_Quillorane");
  Make_File(program_folder / "_Quillorane-platterscope.exe");
  Clean([&] {  // the real folder is swapped for a link while the clean-up waits
    fs::rename(program_folder / "_Quillorane", program_folder.parent_path() / "moved");
    fs::create_directory_symlink(elsewhere, program_folder / "_Quillorane");
  });
  EXPECT_TRUE(Untouched_Elsewhere()) << "a link swapped in during the wait";
}

TEST_F(Program_Folder_Fixture, AFolderOfAnotherUserBesideTheProgramIsLeftAlone) {
  if (::geteuid() != 0) GTEST_SKIP() << "needs root to act as two users";
  fs::create_directory(program_folder / "_Quillorane");
  Make_File(program_folder / "_Quillorane/keep");
  ASSERT_EQ(::chown((program_folder / "_Quillorane").c_str(), 65534, 65534), 0);
  Clean();
  EXPECT_TRUE(fs::exists(program_folder / "_Quillorane/keep"));
  EXPECT_FALSE(fs::exists(program_folder / "_Quillorane-platterscope.exe"));
}

TEST_F(Program_Folder_Fixture, AProgramFolderThatOthersCanWriteToIsNotCleanedAndTheLogSaysWhy) {
  ::chmod(program_folder.c_str(), 0777);
  fs::create_directory_symlink(elsewhere, program_folder / "_Quillorane");
  Clean();
  EXPECT_TRUE(Untouched_Elsewhere());
  EXPECT_TRUE(fs::exists(program_folder / "_Quillorane-platterscope.exe"));
  ASSERT_EQ(log.size(), 1u);
  EXPECT_NE(log[0].find(program_folder.string()), std::string::npos) << log[0];
}

TEST_F(Program_Folder_Fixture, DownloadedInstallersAndTheMovedProgramAreRemoved) {
  Make_File(program_folder / "_Quillorane24608791234567.run");
  Make_File(program_folder / "_Quillorane-platterscope");
  Clean();
  EXPECT_FALSE(fs::exists(program_folder / "_Quillorane24608791234567.run"));
  EXPECT_FALSE(fs::exists(program_folder / "_Quillorane-platterscope"));
  EXPECT_TRUE(fs::exists(program_folder / "platterscope"));
}
