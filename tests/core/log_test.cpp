// The daily log: where it goes, that it stays the user's own, whole lines only, and the
// guard against interleaved lines.
#include <gtest/gtest.h>

#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QDate>
#include <QLocale>

#include <algorithm>
#include <cerrno>
#include <filesystem>
#include <fstream>
#include <regex>
#include <stdexcept>

#include "common/global_functions.h"
#include "common/log.h"
#include "core/bench_process.h"
#include "core/scratch_folder.h"

namespace {

namespace fs = std::filesystem;

bool Is_Root() { return ::geteuid() == 0; }

// Every log goes to a throw-away temporary folder, and its fallback to a state folder beside it.
class LogTest : public ::testing::Test {
 protected:
  Scratch_Folder temp;
  Env_Override tmpdir{"TMPDIR", temp.path()};
  Env_Override state{"XDG_STATE_HOME", temp / "state"};

  static std::string Day_File() { return fs::path(Log_File_Path()).filename().string(); }
  // Each user has a folder of its own in the shared temporary folder.
  static std::string Log_Folder_Name() { return "core_tests-logs-" + std::to_string(::geteuid()); }
  std::string Temp_Log() const { return temp / Log_Folder_Name() + "/" + Day_File(); }
  std::string State_Log() const { return temp / "state/Quillorane/logs/" + Day_File(); }

  std::vector<std::string> Lines() { return Lines_Of(Log_File_Path()); }
  std::vector<std::string> Lines_Of(const std::string& file) {
    const std::string text = Read_Whole_File(file);
    std::vector<std::string> lines;
    std::size_t from = 0;
    for (std::size_t at; (at = text.find("\r\n", from)) != std::string::npos; from = at + 2)
      lines.push_back(text.substr(from, at - from));
    EXPECT_EQ(from, text.size()) << "text after the last line end";
    return lines;
  }

  std::string Line_Tail(const std::string& text) {
    return " (" + Get_Computer_Name() + ")(" + Get_User_Name() + ")  " + text;
  }
};

TEST_F(LogTest, PathInTheTemporaryFolder) {
  const std::string path = Log_File_Path();
  const std::string folder = temp.path() + "/" + Log_Folder_Name() + "/";
  ASSERT_EQ(path.rfind(folder, 0), 0u) << path;
  const std::string day = QLocale().toString(QDate::currentDate(), QLocale::ShortFormat).toStdString();
  EXPECT_EQ(path, folder + Replace_Text(day, "/", "-") + "(core_tests).txt");
}

TEST_F(LogTest, AppendsOneCrLfLinePerCall) {
  Write_Log("first line");
  Write_Log("second: ä");
  const auto lines = Lines();
  ASSERT_EQ(lines.size(), 2u);
  const std::string day = QLocale().toString(QDate::currentDate(), QLocale::ShortFormat).toStdString();
  const std::string texts[] = {"first line", "second: ä"};
  for (std::size_t i = 0; i < 2; ++i) {
    EXPECT_EQ(lines[i].rfind(day + " ", 0), 0u) << lines[i];
    const std::string tail = Line_Tail(texts[i]);
    ASSERT_GT(lines[i].size(), day.size() + 1 + tail.size());
    EXPECT_EQ(lines[i].substr(lines[i].size() - tail.size()), tail);
    const std::string time = lines[i].substr(day.size() + 1, lines[i].size() - tail.size() - day.size() - 1);
    EXPECT_TRUE(std::regex_search(time, std::regex("^\\d{1,2}:\\d{2}:\\d{2}"))) << time;
  }
}

TEST_F(LogTest, EmptyTextCreatesNothing) {
  Write_Log("");
  EXPECT_FALSE(std::filesystem::exists(temp / Log_Folder_Name()));
}

TEST_F(LogTest, AnUnwritableTemporaryFolderFallsBackToTheStateFolderAndSaysSoOnce) {
  const std::string blocker = temp.Make_File("not-a-folder");
  Env_Override into_file("TMPDIR", blocker);
  ::testing::internal::CaptureStderr();
  EXPECT_NO_THROW(Write_Log("kept elsewhere"));
  EXPECT_NO_THROW(Write_Log("and again"));
  const std::string said = ::testing::internal::GetCapturedStderr();
  const auto lines = Lines_Of(State_Log());
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_NE(lines[1].find(Line_Tail("and again")), std::string::npos);
  EXPECT_NE(said.find(blocker), std::string::npos) << said;
  EXPECT_NE(said.find(temp / "state/Quillorane/logs"), std::string::npos) << said;
  EXPECT_EQ(std::count(said.begin(), said.end(), '\n'), 1) << said;
  EXPECT_EQ(Log_File_Path(), State_Log());
}

TEST_F(LogTest, TheLogIsTheUsersAlone) {
  const mode_t old_umask = ::umask(0);
  Write_Log("private");
  ::umask(old_umask);
  EXPECT_EQ(Mode_Of(temp / Log_Folder_Name()), 0700u);
  EXPECT_EQ(Mode_Of(Temp_Log()), 0600u);
  ::chmod(Temp_Log().c_str(), 0644);  // left so by an older version
  Write_Log("narrowed");
  EXPECT_EQ(Mode_Of(Temp_Log()), 0600u);
  EXPECT_EQ(Lines().size(), 2u);
}

TEST_F(LogTest, ControlCharactersInATextCannotForgeALine) {
  Write_Log("Target Drive:/mnt/a\r\n1/1/2024 00:00:00 (host)(root)  Forged\x1b[2J");
  const auto lines = Lines();
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_NE(lines[0].find(Line_Tail("Target Drive:/mnt/a\\r\\n1/1/2024 00:00:00 (host)(root)  Forged\\x1B[2J")),
            std::string::npos)
      << lines[0];
}

// An ordinary user on the same machine makes the log folder before root runs the program,
// and plants a link named like today's file that points at a file of root's.
TEST_F(LogTest, AFolderAndLinkPlantedByAnotherUserNeverReceiveALine) {
  if (!Is_Root()) GTEST_SKIP() << "needs root to act as two users";
  ASSERT_EQ(::chmod(temp.path().c_str(), 01777), 0);  // shared like /tmp
  const std::string victim = temp.Make_File("root-only/victim", 5);
  ASSERT_EQ(::chmod(victim.c_str(), 0600), 0);
  struct Case {
    const char* what;
    uid_t folder_owner;
    mode_t folder_mode;
  };
  const Case cases[] = {
      {"another user's folder", 65534, 0755},
      {"a folder of root's that anyone can write to", 0, 0777},
  };
  for (const Case& c : cases) {
    const std::string folder = temp / Log_Folder_Name();
    fs::remove_all(folder);
    ASSERT_EQ(::mkdir(folder.c_str(), c.folder_mode), 0);
    ASSERT_EQ(::chmod(folder.c_str(), c.folder_mode), 0);
    ASSERT_EQ(::chown(folder.c_str(), c.folder_owner, c.folder_owner), 0);
    const std::string link = folder + "/" + Day_File();
    ASSERT_EQ(::symlink(victim.c_str(), link.c_str()), 0);
    ASSERT_EQ(::lchown(link.c_str(), 65534, 65534), 0);
    Write_Log(std::string("root's line in ") + c.what);
    EXPECT_EQ(Read_Whole_File(victim), "xxxxx") << c.what;
    const std::string safe = Read_Whole_File(State_Log());
    EXPECT_NE(safe.find(std::string("root's line in ") + c.what), std::string::npos) << c.what;
    EXPECT_EQ(Mode_Of(temp / "state/Quillorane/logs"), 0700u);
  }
}

// A small file system of the test's own, filled to the last page.
class Full_Tmpfs {
 public:
  Full_Tmpfs() : point_(scratch_ / "mnt") {
    fs::create_directory(point_);
    mounted_ = ::mount("tmpfs", point_.c_str(), "tmpfs", 0, "size=256k") == 0;
  }
  ~Full_Tmpfs() {
    if (mounted_) ::umount2(point_.c_str(), MNT_DETACH);
  }
  bool mounted() const { return mounted_; }
  const std::string& path() const { return point_; }
  // Writes a filler file until the file system is full; false when it never got full.
  bool Fill() {
    std::ofstream filler(point_ + "/filler", std::ios::binary);
    const std::string block(4096, 'f');
    for (int i = 0; i < 1024 && filler.write(block.data(), block.size()) && filler.flush(); ++i) {
    }
    return !filler;
  }
  void Empty() { fs::remove(point_ + "/filler"); }

 private:
  Scratch_Folder scratch_;
  std::string point_;
  bool mounted_ = false;
};

TEST_F(LogTest, AFullDiskDropsALineWholeInsteadOfGluingPartOfItToTheNext) {
  if (!Is_Root()) GTEST_SKIP() << "mounting a test file system needs root";
  Full_Tmpfs disk;
  ASSERT_TRUE(disk.mounted());
  Env_Override on_disk("TMPDIR", disk.path());
  Env_Override state_on_disk("XDG_STATE_HOME", disk.path() + "/state");
  Write_Log("before");
  ASSERT_TRUE(disk.Fill());
  ::testing::internal::CaptureStderr();
  Write_Log("long " + std::string(6000, 'L'));
  ::testing::internal::GetCapturedStderr();
  disk.Empty();
  Write_Log("after");
  const auto lines = Lines_Of(disk.path() + "/" + Log_Folder_Name() + "/" + Day_File());
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_NE(lines[0].find(Line_Tail("before")), std::string::npos);
  EXPECT_EQ(lines[1].find("LLLL"), std::string::npos) << "part of the dropped line";
  EXPECT_NE(lines[1].find(Line_Tail("after")), std::string::npos);
}

// Root's runner has logged in the shared temporary folder; then an ordinary user starts it.
TEST_F(LogTest, EachUserKeepsItsOwnLogInTheSharedTemporaryFolderWithoutAWord) {
  if (!Is_Root()) GTEST_SKIP() << "needs root to act as two users";
  ASSERT_EQ(::chmod(temp.path().c_str(), 01777), 0);  // shared like /tmp
  for (const int uid : {0, 65534}) {
    const std::string err = temp / ("err-" + std::to_string(uid));
    Bench_Process bench({"--list-drives"}, {temp.path(), temp / "out", err, false, uid});
    EXPECT_EQ(bench.Wait(), 0) << Read_Whole_File(err);
    EXPECT_EQ(Read_Whole_File(err), "") << "user " << uid;
    const std::string own = temp / ("platterscope-bench-logs-" + std::to_string(uid));
    struct stat st {};
    EXPECT_EQ(::stat(own.c_str(), &st), 0) << own;
    EXPECT_EQ(st.st_uid, static_cast<uid_t>(uid));
    EXPECT_EQ(st.st_mode & 07777, 0700u);
    EXPECT_TRUE(fs::is_directory(own) && !fs::is_empty(own));
  }
}

TEST(ErrorLine, ClassAndMessage) {
  EXPECT_EQ(Error_Line("EConvertError", "bad"), "EConvertError error raised, with message : bad");
  EXPECT_EQ(Error_Line(std::runtime_error("boom")), "std::runtime_error error raised, with message : boom");
  const std::exception& as_base = std::out_of_range("far");
  EXPECT_EQ(Error_Line(as_base), "std::out_of_range error raised, with message : far");
}

TEST_F(LogTest, GuardedLogFinishesANestedLineFirst) {
  Guarded_Log* guard = nullptr;
  int pumps = 0;
  Guarded_Log log([&] {
    if (++pumps == 1) guard->Local_Writelog("nested");
  });
  guard = &log;
  log.Local_Writelog("outer");
  EXPECT_FALSE(log.USING_WRITE_LOG);
  const auto lines = Lines();
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_NE(lines[0].find(Line_Tail("nested")), std::string::npos) << lines[0];
  EXPECT_NE(lines[1].find(Line_Tail("outer")), std::string::npos) << lines[1];
}

TEST_F(LogTest, GuardedLogWaitsWhileAWriteIsInProgress) {
  Guarded_Log* guard = nullptr;
  int pumps = 0;
  Guarded_Log log([&] {
    if (++pumps == 3) guard->USING_WRITE_LOG = false;  // the other write ends
  });
  guard = &log;
  log.USING_WRITE_LOG = true;
  log.Local_Writelog("after the wait");
  EXPECT_EQ(pumps, 3);
  EXPECT_FALSE(log.USING_WRITE_LOG);
  EXPECT_EQ(Lines().size(), 1u);
}

}  // namespace
