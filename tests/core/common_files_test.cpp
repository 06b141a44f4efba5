// Files, folders and the executable's own facts.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <set>

#include "common/global_functions.h"
#include "common/log.h"
#include "core/scratch_folder.h"

namespace fs = std::filesystem;

namespace {

bool Exists(const std::string& path) {
  std::error_code ec;
  return fs::exists(fs::symlink_status(path, ec));
}

TEST(GetFileSize, FirstMatchingEntry) {
  Scratch_Folder dir;
  dir.Make_File("big.bin", 3000);
  dir.Make_File("small.dat", 1000);
  struct Case {
    std::string path;
    bool kilobytes;
    std::int64_t expected;
  };
  const Case cases[] = {
      {dir / "big.bin", false, 3000}, {dir / "big.bin", true, 2},    {dir / "*.bin", false, 3000},
      {dir / "b?g.*", true, 2},       {dir / "small.dat", true, 1000}, {dir / "none.bin", false, 0},
      {dir / "*.zip", false, 0},      {dir.path() + "/missing/x", false, 0},
  };
  for (const auto& c : cases) EXPECT_EQ(Get_File_Size(c.path, c.kilobytes), c.expected) << c.path;
}

TEST(GetDiskFree, AskedOrMinusOne) {
  Scratch_Folder dir;
  EXPECT_EQ(Get_Disk_Free(""), -1);
  EXPECT_GT(Get_Disk_Free(dir.path()), 0);
}

TEST(MakeUniqueName, DigitsFromTheClockInTheFolder) {
  Scratch_Folder dir;
  const std::string first = Make_Unique_Name(dir.path(), "pre", ".tmp");
  const std::string head = dir.path() + "/pre";
  ASSERT_EQ(first.rfind(head, 0), 0u) << first;
  ASSERT_GT(first.size(), head.size() + 4);
  ASSERT_EQ(first.substr(first.size() - 4), ".tmp");
  const std::string digits = first.substr(head.size(), first.size() - head.size() - 4);
  EXPECT_GE(digits.size(), 7u);
  EXPECT_TRUE(std::all_of(digits.begin(), digits.end(), [](unsigned char c) { return std::isdigit(c); })) << digits;
  EXPECT_FALSE(Exists(first));

  dir.Make_File(fs::path(first).filename().string());
  const std::string second = Make_Unique_Name(dir.path() + "/", "pre", ".tmp");
  EXPECT_NE(second, first);
  EXPECT_EQ(second.rfind(head, 0), 0u) << second;
  EXPECT_FALSE(Exists(second));
}

// A folder with files that a mask takes or leaves, a hidden file, a sub-folder with a file
// and a link to the sub-folder.
class ClearFolder : public ::testing::Test {
 protected:
  void SetUp() override {
    for (const char* name : {"a.txt", "b.dat", "README", ".hidden.txt", "sub/c.txt"}) dir.Make_File(name);
    fs::create_directory_symlink(dir / "sub", dir / "link.txt");
  }
  Scratch_Folder dir;
};

TEST_F(ClearFolder, DeletesOnlyMatchingPlainFiles) {
  EXPECT_TRUE(Clear_Folder(dir.path(), "*.txt", false));
  EXPECT_FALSE(Exists(dir / "a.txt"));
  for (const char* kept : {"b.dat", "README", ".hidden.txt", "sub/c.txt", "link.txt"})
    EXPECT_TRUE(Exists(dir / kept)) << kept;

  Delete_Folder_Files(dir.path() + "/", "*.*");  // "*.*" takes names without a dot too
  EXPECT_FALSE(Exists(dir / "b.dat"));
  EXPECT_FALSE(Exists(dir / "README"));
  EXPECT_TRUE(Exists(dir / ".hidden.txt"));
  EXPECT_TRUE(Exists(dir / "sub/c.txt"));
}

TEST_F(ClearFolder, RemovingFailsWhileASubFolderIsLeft) {
  EXPECT_FALSE(Clear_Folder(dir.path(), "*", true));
  EXPECT_TRUE(fs::is_directory(dir.path()));
  EXPECT_FALSE(Exists(dir / "a.txt"));
  EXPECT_TRUE(Exists(dir / "sub/c.txt"));

  EXPECT_TRUE(Clear_Folder(dir / "sub", "*.*", true));
  EXPECT_FALSE(Exists(dir / "sub"));
}

TEST_F(ClearFolder, EmptyFolderNameTouchesNothing) {
  Cwd_Override cwd(dir.path());
  EXPECT_FALSE(Clear_Folder("", "*", false));
  EXPECT_FALSE(Clear_Folder("", "*", true));
  Delete_Folder_Files("", "*");
  EXPECT_TRUE(Exists(dir / "a.txt"));
  EXPECT_TRUE(Exists(dir / "README"));
}

TEST_F(ClearFolder, MatchingFileExists) {
  struct Case {
    std::string mask;
    bool expected;
  };
  const Case cases[] = {
      {dir / "*.txt", true},  {dir / "*.zip", false}, {dir / "su*", false},     // a folder is no file
      {dir / ".h*", true},    {dir / "sub/*", true},  {dir / "nowhere/*", false},
  };
  for (const auto& c : cases) EXPECT_EQ(Matching_File_Exists(c.mask), c.expected) << c.mask;

  Cwd_Override cwd(dir / "sub");
  EXPECT_TRUE(Matching_File_Exists("c.*"));
  EXPECT_FALSE(Matching_File_Exists("a.*"));
  fs::remove(dir / "sub/c.txt");
  dir.Make_File("sub/.only-hidden");
  EXPECT_FALSE(Matching_File_Exists("*"));  // hidden files count only when asked for
}

TEST(FindFiles, OwnFilesFirstThenSubFoldersDepthFirst) {
  Scratch_Folder dir;
  for (const char* name : {"a/1.txt", "a/x.dat", "a/.h.txt", "a/b/2.txt", "a/b/c/3.txt", "a/.git/4.txt"})
    dir.Make_File(name);
  fs::create_directory_symlink(dir / "a/b", dir / "a/link");  // not followed

  std::vector<std::string> list = {"kept"};
  int pumps = 0;
  ASSERT_TRUE(Find_Files(list, dir / "a/", "*.txt", [&] { ++pumps; }));
  ASSERT_EQ(list.size(), 5u);
  EXPECT_EQ(list[0], "kept");
  const std::set<std::string> own(list.begin() + 1, list.begin() + 3);
  EXPECT_EQ(own, (std::set<std::string>{dir / "a/1.txt", dir / "a/.h.txt"}));
  EXPECT_EQ(list[3], dir / "a/b/2.txt");
  EXPECT_EQ(list[4], dir / "a/b/c/3.txt");
  EXPECT_EQ(pumps, 6);  // twice for each of a, b and c
}

TEST(FindFiles, ErrorsAreLoggedAndGiveFalse) {
  Scratch_Folder temp;
  Env_Override tmpdir("TMPDIR", temp.path());
  std::vector<std::string> list;
  EXPECT_FALSE(Find_Files(list, "", "*"));
  EXPECT_FALSE(Find_Files(list, temp / "missing", "*"));
  EXPECT_TRUE(list.empty());
  const std::string log = Read_Whole_File(Log_File_Path());
  EXPECT_NE(log.find("std::invalid_argument error raised, with message : "), std::string::npos) << log;
  EXPECT_NE(log.find("filesystem_error error raised, with message : "), std::string::npos) << log;
}

TEST(ExecutableFacts, FileFolderAndVersion) {
  const std::string file = Get_Application_File();
  const std::string folder = Get_Application_Folder();
  ASSERT_FALSE(folder.empty());
  EXPECT_EQ(folder.back(), '/');
  EXPECT_EQ(file, folder + "core_tests");

  struct Case {
    int fields;
    std::string file;
    const char* expected;
  };
  const Case cases[] = {
      {0, "", "1.0.0.1"}, {4, file, "1.0.0.1"}, {3, "", "1.0.0"}, {2, "", "1.0"}, {1, "", "1"},
      {7, "", ""},        {-1, "", ""},         {0, "/bin/true", ""}, {0, "/nonexistent/file", ""},
  };
  for (const auto& c : cases) EXPECT_EQ(Get_File_Version(c.fields, c.file), c.expected) << c.fields << " " << c.file;
}

TEST(MachineFacts, TempFolderAndNames) {
  Scratch_Folder temp;
  {
    Env_Override tmpdir("TMPDIR", temp.path() + "//");
    EXPECT_EQ(Get_Temp_Folder(), temp.path() + "/");
  }
  for (const std::string& name : {Get_Computer_Name(), Get_User_Name()}) {
    EXPECT_FALSE(name.empty());
    EXPECT_TRUE(std::none_of(name.begin(), name.end(), [](unsigned char c) { return std::isupper(c) || c == ' '; }))
        << name;
  }
}

}  // namespace
