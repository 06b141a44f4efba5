// A whole run of the headless runner as an ordinary user (uid 65534, no groups, a clean
// environment) on a file system that user owns: no step may need administrative rights.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <cstdio>
#include <filesystem>
#include <set>

#include "core/mounted_file_system.h"

namespace fs = std::filesystem;

namespace {

constexpr uid_t kOrdinaryUser = 65534;

// What the command printed on standard output, and its exit status.
struct Command_Result {
  std::string output;
  int status = -1;
};

Command_Result Run_Command(const std::string& command) {
  Command_Result result;
  FILE* pipe = ::popen(command.c_str(), "r");
  if (pipe == nullptr) return result;
  char buffer[4096];
  std::size_t got = 0;
  while ((got = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) result.output.append(buffer, got);
  result.status = ::pclose(pipe);
  return result;
}

std::set<std::string> Entries(const std::string& folder) {
  std::set<std::string> names;
  for (const auto& entry : fs::directory_iterator(folder)) names.insert(entry.path().filename().string());
  return names;
}

}  // namespace

TEST(OrdinaryUserTest, AWholeRunMeasuresEighteenRatesAndLeavesNothing) {
  if (::geteuid() != 0) GTEST_SKIP() << "switching to another user and mounting a test file system need root";
  Mounted_File_System disk(Mounted_File_System::Kind::Ext4, 256);
  ASSERT_TRUE(disk.mounted());
  // The user reaches the mount point, owns it and its temporary folder, and runs a copy
  // of the runner from a folder it may enter.
  ASSERT_EQ(::chmod(fs::path(disk.path()).parent_path().c_str(), 0711), 0);
  ASSERT_EQ(::chown(disk.path().c_str(), kOrdinaryUser, kOrdinaryUser), 0);
  Scratch_Folder temp, tools;
  ASSERT_EQ(::chown(temp.path().c_str(), kOrdinaryUser, kOrdinaryUser), 0);
  ASSERT_EQ(::chmod(tools.path().c_str(), 0711), 0);
  const std::string runner = tools / "platterscope-bench";
  fs::copy_file(PS_BENCH_EXE, runner);

  const std::string uid = std::to_string(kOrdinaryUser);
  const Command_Result run = Run_Command("setpriv --reuid=" + uid + " --regid=" + uid + " --clear-groups env -i PATH=/usr/bin:/bin"
                                 " HOME=/nonexistent TMPDIR=" + temp.path() + " " + runner + " --target " + disk.path() +
                                 " --seconds 1 --json");
  ASSERT_EQ(run.status, 0) << run.output;

  const QJsonObject result = QJsonDocument::fromJson(QByteArray::fromStdString(run.output)).object();
  EXPECT_FALSE(result.value("stopped").toBool(true)) << run.output;
  const QJsonArray tests = result.value("tests").toArray();
  ASSERT_EQ(tests.size(), 18) << run.output;
  for (const auto& test : tests)
    EXPECT_GT(test.toObject().value("mbps").toDouble(), 0.0) << test.toObject().value("key").toString().toStdString();

  EXPECT_EQ(Entries(disk.path()), std::set<std::string>{"lost+found"});  // ext4's own folder only
  // The run's log is the user's own, and it is all the run kept.
  const std::string own_logs = "platterscope-bench-logs-" + uid;
  ASSERT_EQ(Entries(temp.path()), std::set<std::string>{own_logs});
  const std::string logs = temp / own_logs;
  ASSERT_EQ(Entries(logs).size(), 1u);
  struct stat log {};
  ASSERT_EQ(::stat(fs::directory_iterator(logs)->path().c_str(), &log), 0);
  EXPECT_EQ(log.st_uid, kOrdinaryUser);
  EXPECT_GT(log.st_size, 0);
}
