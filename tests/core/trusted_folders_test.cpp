// The folders the program writes for later, walked from "/" one folder at a time: what makes a
// path the user's own to write, the state and cache folders' fallback, and, as root with an
// ordinary user's environment, the queue and the log kept out of that user's folders.
#include <gtest/gtest.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "common/log.h"
#include "platform/trusted_folders.h"
#include "reporting/message_queue.h"
#include "scratch_folder.h"

namespace fs = std::filesystem;

namespace {

constexpr uid_t kOtherUser = 65534;

bool Is_Root() { return ::geteuid() == 0; }

void Give(const std::string& path, uid_t owner, mode_t mode) {
  ASSERT_EQ(::lchown(path.c_str(), owner, owner), 0) << path;
  if (!fs::is_symlink(path)) {
    ASSERT_EQ(::chmod(path.c_str(), mode), 0) << path;
  }
}

// A folder of another user's (a home) beside root's own, in a scratch folder anyone may enter.
class Trusted_Folder_Test : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!Is_Root()) GTEST_SKIP() << "needs root, to act beside another user";
    ASSERT_EQ(::chmod(scratch.path().c_str(), 0755), 0);
    fs::create_directories(home);
    Give(home, kOtherUser, 0755);
  }

  Scratch_Folder scratch;
  std::string home = scratch / "home/user";
};

}  // namespace

TEST_F(Trusted_Folder_Test, OnlyFoldersAndLinksOfTheUserOrRootLeadToTheFolder) {
  const std::string root_only = scratch / "root-only";
  fs::create_directories(root_only);
  fs::create_directories(scratch / "open");
  fs::create_directories(scratch / "sticky");
  Give(scratch / "open", 0, 0777);
  Give(scratch / "sticky", 0, 01777);
  fs::create_symlink(root_only, scratch / "sticky/link");  // another user's, in a folder like /tmp
  Give(scratch / "sticky/link", kOtherUser, 0);
  fs::create_symlink(root_only, scratch / "system-link");  // root's own, as /home -> /var/home

  struct Case {
    std::string path;
    bool usable;
    bool foreign;
  };
  const Case cases[] = {
      {scratch / "a/b/c", true, false},
      {home + "/.local/state/Quillorane", false, true},
      {scratch / "sticky/link/Quillorane", false, true},
      {scratch / "open/Quillorane", false, true},
      {scratch / "open", false, true},
      {scratch / "sticky/Quillorane", true, false},
      {scratch / "system-link/Quillorane", true, false},
      {scratch / "a/../system-link/./x", true, false},
  };
  Umask_Override open_umask(0);
  for (const Case& c : cases) {
    std::string reason;
    bool foreign = false;
    EXPECT_EQ(platform::Trusted_Folder_Path(c.path, reason, foreign), c.usable) << c.path << ": " << reason;
    const platform::Trusted_Folder opened = platform::Open_Trusted_Folder(c.path, 0700);
    EXPECT_EQ(opened.folder.valid(), c.usable) << c.path << ": " << opened.reason;
    EXPECT_EQ(opened.foreign, c.foreign) << c.path;
    if (!c.usable) {
      EXPECT_NE(opened.reason.find("Cannot use folder " + scratch.path()), std::string::npos) << opened.reason;
    }
  }
  EXPECT_EQ(Mode_Of(scratch / "a"), 0700u) << "made with exactly the mode asked for";
  EXPECT_EQ(Mode_Of(scratch / "a/b/c"), 0700u);
  EXPECT_TRUE(fs::exists(root_only + "/Quillorane")) << "root's own link was followed";
  EXPECT_TRUE(fs::is_empty(root_only + "/Quillorane")) << "another user's link was not";
  EXPECT_TRUE(fs::is_empty(home)) << "nothing is made in another user's folder";
  EXPECT_FALSE(fs::exists(scratch / "open/Quillorane"));
  EXPECT_FALSE(platform::Open_Trusted_Folder("relative/path", 0700).folder.valid());
}

TEST_F(Trusted_Folder_Test, AStateOrCacheFolderOfAnotherUserGivesWayToTheUsersOwnHome) {
  const passwd* pw = ::getpwuid(::geteuid());
  ASSERT_NE(pw, nullptr);
  const std::string own = pw->pw_dir;
  Env_Override state("XDG_STATE_HOME", home + "/.local/state");
  Env_Override cache("XDG_CACHE_HOME", "relative");  // not absolute: $HOME's .cache
  Env_Override user_home("HOME", home);
  std::string note;
  EXPECT_EQ(platform::User_State_Folder(&note), own + "/.local/state");
  EXPECT_NE(note.find(home + "/.local/state is not used (Cannot use folder " + home + ": it belongs to another user)"),
            std::string::npos)
      << note;
  note.clear();
  EXPECT_EQ(platform::User_Cache_Folder(&note), own + "/.cache");
  EXPECT_NE(note.find(home + "/.cache"), std::string::npos) << note;

  Env_Override own_state("XDG_STATE_HOME", scratch / "state");
  note.clear();
  EXPECT_EQ(platform::User_State_Folder(&note), scratch / "state");
  EXPECT_EQ(note, "");
}

// Root run with the user's environment: the user's state folder holds a link to a folder of
// root's, where a file of root's waits.
TEST_F(Trusted_Folder_Test, RootNeverQueuesOrReplaysThroughAnotherUsersFolders) {
  const std::string secret = scratch / "root-only/Quillorane/QuilloraneQueue";
  fs::create_directories(secret);
  Give(scratch / "root-only", 0, 0700);
  std::ofstream(secret + "/payroll.dat") << "salaries";
  fs::create_directories(home + "/.local");
  Give(home + "/.local", kOtherUser, 0755);
  fs::create_symlink(scratch / "root-only", home + "/.local/state");
  Give(home + "/.local/state", kOtherUser, 0);

  std::vector<std::string> log;
  const Queue_Log logger = [&log](const std::string& line) { log.push_back(line); };
  int sent = 0;
  Process_Message_Queue(home + "/.local/state/Quillorane/QuilloraneQueue",
                        [&sent](const MY_UploadFileRecord&) {
                          ++sent;
                          return std::string();
                        }, logger);
  EXPECT_EQ(Read_Whole_File(secret + "/payroll.dat"), "salaries");
  EXPECT_FALSE(fs::exists(secret + "/payroll.bad"));
  EXPECT_EQ(sent, 0);

  fs::create_directories(home + "/other/state");
  Give(home + "/other", kOtherUser, 0755);
  Give(home + "/other/state", kOtherUser, 0755);
  EXPECT_FALSE(Save_Message_Queue(MY_UploadFileRecord(), home + "/other/state/Quillorane/QuilloraneQueue", logger));
  EXPECT_TRUE(fs::is_empty(home + "/other/state")) << "no folder of root's is left in the user's";
  ASSERT_FALSE(log.empty());
  EXPECT_NE(log.back().find("it belongs to another user"), std::string::npos) << log.back();
}

// The temporary folder a user's environment names: root's log goes to its own state folder,
// and says why in the log, not on the terminal.
TEST_F(Trusted_Folder_Test, RootsLogStaysOutOfAnotherUsersTemporaryFolder) {
  Env_Override tmpdir("TMPDIR", home);
  Env_Override state("XDG_STATE_HOME", scratch / "state");
  ::testing::internal::CaptureStderr();
  Write_Log("root's line");
  EXPECT_EQ(::testing::internal::GetCapturedStderr(), "");
  EXPECT_TRUE(fs::is_empty(home));
  const std::string logged = Read_Whole_File(Log_File_Path());
  EXPECT_EQ(Log_File_Path().rfind(scratch / "state/Quillorane/logs/", 0), 0u) << Log_File_Path();
  EXPECT_NE(logged.find("root's line"), std::string::npos) << logged;
  EXPECT_NE(logged.find("The log is kept in " + scratch / "state/Quillorane/logs: Cannot use folder " + home +
                        ": it belongs to another user"),
            std::string::npos)
      << logged;
}
