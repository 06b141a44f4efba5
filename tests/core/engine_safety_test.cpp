// The runner as its own process on the real file system: signals, a closed output, two
// runs at once, and, as root, other users' links, a mount inside the folder, a stale
// foreign file and the free-space reserve on a small tmpfs. Each case is what a user or
// another local user can do; PS_BENCH=<older build> shows the faults these guard against.
#include <gtest/gtest.h>
#include <sys/file.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/statvfs.h>

#include <filesystem>
#include <fstream>

#include "bench_process.h"
#include "mounted_file_system.h"

namespace fs = std::filesystem;

namespace {

constexpr int kNobody = 65534;
constexpr std::int64_t kMiB = 1 << 20;

bool Is_Root() { return ::geteuid() == 0; }

// The rate the runner's JSON output gives for a test key; -1 when it has none.
double Json_Rate(const std::string& json, const std::string& key) {
  const std::size_t at = json.find("{\"key\":\"" + key + "\"");
  const std::size_t mbps = at == std::string::npos ? at : json.find("\"mbps\":", at);
  return mbps == std::string::npos ? -1.0 : std::stod(json.substr(mbps + 7));
}

// A work folder, the runner's output files and a log folder, all in one scratch folder
// that every user may enter.
class Runner_Process_Test : public ::testing::Test {
 protected:
  Runner_Process_Test() {
    ::chmod(scratch.path().c_str(), 0755);
    fs::create_directory(work);
    fs::create_directory(logs);
    ::chmod(logs.c_str(), 01777);  // shared by every user, as /tmp is
  }
  Bench_Process::Setup Setup(const std::string& name, int uid = -1) const {
    return {logs, scratch / (name + ".out"), scratch / (name + ".err"), false, uid};
  }
  std::string Out(const std::string& name) const { return Read_Whole_File(scratch / (name + ".out")); }
  std::string Err(const std::string& name) const { return Read_Whole_File(scratch / (name + ".err")); }
  bool Run_Folder_Has_Files() const {
    std::error_code ec;
    return fs::exists(work + "/_Quillorane/temp-1.tmp", ec);
  }
  bool Nothing_Left() const { return fs::is_empty(work); }

  Scratch_Folder scratch;
  std::string work = scratch / "work";
  std::string logs = scratch / "logs";
};

// Another file system's folder mounted over a folder for the length of a test.
class Bind_Mount {
 public:
  Bind_Mount(const std::string& source, const std::string& target) : target_(target) {
    mounted_ = ::mount(source.c_str(), target.c_str(), nullptr, MS_BIND, nullptr) == 0;
  }
  ~Bind_Mount() {
    if (mounted_) ::umount2(target_.c_str(), MNT_DETACH);
  }
  bool mounted() const { return mounted_; }

 private:
  std::string target_;
  bool mounted_ = false;
};

}  // namespace

TEST_F(Runner_Process_Test, ACtrlCFromTheFirstMomentOnStopsTheRunEachTime) {
  Bench_Process bench({"--target", work, "--only", "4k", "--seconds", "5"}, Setup("run"));
  ASSERT_TRUE(bench.started());
  // Both arrive during the pause before the tests, before the window's button could be
  // pressed; the second is as good as the first.
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  bench.Signal(SIGINT);
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  bench.Signal(SIGINT);
  EXPECT_EQ(bench.Wait(), 130) << Err("run");
  EXPECT_EQ(Out("run"), "stopped\n");
  EXPECT_TRUE(Nothing_Left());
}

TEST_F(Runner_Process_Test, ASignalDuringATestStopsTheRunAtOnceAndExitsWithItsStatusAfterTheCleanUp) {
  // 128 and the signal, as a shell gives it: 130 for Ctrl-C, 143 for SIGTERM, 129 for a
  // closed terminal.
  for (const auto& [signal, status] : {std::pair{SIGINT, 130}, std::pair{SIGTERM, 143}, std::pair{SIGHUP, 129}}) {
    Bench_Process bench({"--target", work, "--only", "4k", "--seconds", "20"}, Setup("run"));
    ASSERT_TRUE(Wait_Until([&] { return Run_Folder_Has_Files(); }, 10000)) << Err("run");
    const auto sent = std::chrono::steady_clock::now();
    bench.Signal(signal);
    EXPECT_EQ(bench.Wait(), status) << Err("run");
    // Long before the forty seconds the two tests would take.
    EXPECT_LT(std::chrono::steady_clock::now() - sent, std::chrono::seconds(10));
    const std::string out = Out("run");
    EXPECT_EQ(out.rfind("4KW    Random 4K Write", 0), 0u) << "the partial rate: " << out;
    EXPECT_EQ(out.find("4KR"), std::string::npos) << out;
    EXPECT_NE(out.find("stopped\n"), std::string::npos) << out;
    EXPECT_TRUE(Nothing_Left()) << signal;
  }
}

TEST_F(Runner_Process_Test, UnderNohupAHangUpStopsNothing) {
  Bench_Process::Setup setup = Setup("run");
  setup.ignore_hangup = true;
  Bench_Process bench({"--target", work, "--only", "4k", "--seconds", "1", "--json"}, setup);
  ASSERT_TRUE(Wait_Until([&] { return Run_Folder_Has_Files(); }, 10000)) << Err("run");
  bench.Signal(SIGHUP);
  EXPECT_EQ(bench.Wait(), 0) << Err("run");
  EXPECT_NE(Out("run").find("\"stopped\":false"), std::string::npos) << Out("run");
  EXPECT_GT(Json_Rate(Out("run"), "4KR"), 0.0) << Out("run");
  EXPECT_TRUE(Nothing_Left());
}

TEST_F(Runner_Process_Test, AClosedOutputEndsNothingButThePrinting) {
  Bench_Process::Setup setup = Setup("run");
  setup.pipe_output = true;
  Bench_Process bench({"--target", work, "--only", "4k", "--seconds", "1"}, setup);
  char c = 0;
  while (::read(bench.Pipe(), &c, 1) == 1 && c != '\n') {
  }
  bench.Close_Pipe();  // as "platterscope-bench ... 2>&1 | head -1" does
  EXPECT_EQ(bench.Wait(), 0);
  EXPECT_TRUE(Nothing_Left());
}

// Every output of the runner sent where it cannot go, as "> file-on-a-full-disk" does.
TEST_F(Runner_Process_Test, ResultsThatCannotBeWrittenAreAFailureWithTheReason) {
  const std::vector<std::vector<std::string>> commands = {
      {"--target", work, "--only", "4k", "--seconds", "1"},
      {"--target", work, "--only", "4k", "--seconds", "1", "--json"},
      {"--target", work, "--only", "4k", "--seconds", "1", "--csv"},
      {"--target", work, "--sustained", "--size", "16M"},
      {"--list-drives"},
      {"--profile"},
      {"--computer-id"},
  };
  for (const auto& args : commands) {
    Bench_Process::Setup setup = Setup("run");
    setup.out_file = "/dev/full";
    setup.env = {"PLATTERSCOPE_SETTINGS=" + scratch / "settings.conf"};
    Bench_Process bench(args, setup);
    EXPECT_EQ(bench.Wait(), 1) << args[0] << " " << args.back() << ": " << Err("run");
    EXPECT_TRUE(Err("run").ends_with("platterscope-bench: Cannot write the results: No space left on device\n"))
        << args[0] << " " << args.back() << ": " << Err("run");
    EXPECT_TRUE(Nothing_Left());
  }
}

// Another file system mounted in the run's folder while it runs: the folder cannot go.
TEST_F(Runner_Process_Test, AFolderLeftBehindAtTheEndIsAFailureOnStderr) {
  if (!Is_Root()) GTEST_SKIP() << "mounting needs root";
  scratch.Make_File("elsewhere/keep.txt", 4);
  Bench_Process bench({"--target", work, "--only", "4k", "--seconds", "1", "--json"}, Setup("run"));
  ASSERT_TRUE(Wait_Until([&] { return Run_Folder_Has_Files(); }, 10000)) << Err("run");
  fs::create_directories(work + "/_Quillorane/mnt");
  Bind_Mount mount(scratch / "elsewhere", work + "/_Quillorane/mnt");
  ASSERT_TRUE(mount.mounted());
  EXPECT_EQ(bench.Wait(), 1);
  EXPECT_NE(Out("run").find("\"stopped\":false"), std::string::npos) << "the results are still printed";
  EXPECT_TRUE(Err("run").ends_with("platterscope-bench: The run's folder " + work +
                                   "/_Quillorane was left behind: cannot remove " + work +
                                   "/_Quillorane/mnt: another file system is mounted there\n"))
      << Err("run");
  EXPECT_EQ(Read_Whole_File(scratch / "elsewhere/keep.txt"), "xxxx");
}

TEST_F(Runner_Process_Test, ASecondRunOnTheFolderIsRefusedAndTheFirstStaysValid) {
  Bench_Process first({"--target", work, "--only", "4k", "--seconds", "2", "--json"}, Setup("first"));
  ASSERT_TRUE(Wait_Until([&] { return Run_Folder_Has_Files(); }, 10000)) << Err("first");
  Bench_Process second({"--target", work, "--only", "4k", "--seconds", "1"}, Setup("second"));
  EXPECT_EQ(second.Wait(), 1);
  EXPECT_NE(Err("second").find("platterscope-bench: Another run is using " + work + "/_Quillorane\n"), std::string::npos)
      << Err("second");
  EXPECT_EQ(first.Wait(), 0) << Err("first");
  const std::string json = Out("first");
  EXPECT_GT(Json_Rate(json, "4KW"), 0.0) << json;
  EXPECT_GT(Json_Rate(json, "4KR"), 0.0) << json;
  EXPECT_NE(json.find("\"stopped\":false"), std::string::npos) << json;
  EXPECT_TRUE(Err("first").empty()) << Err("first");
  EXPECT_TRUE(Nothing_Left());
}

// Another user opens the shared work folder and holds its lock for as long as it likes.
TEST_F(Runner_Process_Test, AnotherUsersLockOnTheWorkFolderHoldsNoRunUp) {
  if (!Is_Root()) GTEST_SKIP() << "needs root, to act as another user";
  ::chmod(work.c_str(), 01777);  // shared, as /tmp is
  int ready[2];
  ASSERT_EQ(::pipe(ready), 0);
  const pid_t holder = ::fork();
  ASSERT_GE(holder, 0);
  if (holder == 0) {
    if (::setresgid(kNobody, kNobody, kNobody) != 0 || ::setresuid(kNobody, kNobody, kNobody) != 0) ::_exit(1);
    const int fd = ::open(work.c_str(), O_RDONLY | O_DIRECTORY);
    const char locked = fd >= 0 && ::flock(fd, LOCK_EX | LOCK_NB) == 0 ? 'y' : 'n';
    (void)!::write(ready[1], &locked, 1);
    for (;;) ::pause();
  }
  ::close(ready[1]);
  char locked = 0;
  (void)!::read(ready[0], &locked, 1);
  ::close(ready[0]);
  EXPECT_EQ(locked, 'y');
  Bench_Process bench({"--target", work, "--only", "4k", "--seconds", "1", "--json"}, Setup("run"));
  EXPECT_EQ(bench.Wait(), 0) << Err("run");
  ::kill(holder, SIGKILL);
  ::waitpid(holder, nullptr, 0);
  EXPECT_EQ(Err("run").find("Another run"), std::string::npos) << Err("run");
  EXPECT_GT(Json_Rate(Out("run"), "4KW"), 0.0) << Out("run");
  EXPECT_TRUE(Nothing_Left());
}

// The folder the user names is the one measured, or the run is refused with the reason:
// kernel file systems, and a folder the user cannot write to (never the home folder instead).
TEST_F(Runner_Process_Test, ATargetIsMeasuredItselfOrRefusedWithTheReason) {
  if (!Is_Root()) GTEST_SKIP() << "needs root, to run as another user";
  const std::string home = scratch / "home";
  fs::create_directory(home);
  ASSERT_EQ(::chown(home.c_str(), kNobody, kNobody), 0);
  const std::string root_only = scratch / "root-only";
  fs::create_directory(root_only);
  ::chmod(root_only.c_str(), 0700);
  struct Case {
    std::string target;
    int uid;
    std::string says;
  };
  const Case cases[] = {
      {"/proc", -1, "Cannot write to /proc: proc is not a disk file system"},
      {"/sys", -1, "Cannot write to /sys: sysfs is not a disk file system"},
      {root_only, kNobody, "Cannot write to " + root_only + ": Permission denied"},
  };
  for (const Case& c : cases) {
    Bench_Process::Setup setup = Setup("run", c.uid);
    setup.env = {"HOME=" + home};
    Bench_Process bench({"--target", c.target, "--only", "4k", "--seconds", "1"}, setup);
    EXPECT_EQ(bench.Wait(), 1) << c.target;
    EXPECT_EQ(Err("run"), "platterscope-bench: " + c.says + "\n") << "nothing to delete, nothing said of it";
    EXPECT_EQ(Out("run"), "");
  }
  EXPECT_TRUE(fs::is_empty(home)) << "no other folder is measured instead";
  EXPECT_TRUE(fs::is_empty(root_only));
}

TEST_F(Runner_Process_Test, AnotherUsersLinksNeverLeadARootRunOutsideItsFolder) {
  if (!Is_Root()) GTEST_SKIP() << "needs root, to run as root beside another user";
  ::chmod(work.c_str(), 01777);  // shared, as /tmp is
  const std::string victim = scratch.Make_File("victim/secret", 6);
  ::chmod(victim.c_str(), 0600);
  // The other user's folder, there before the run, and a process of theirs that keeps
  // putting links to the victim where the run's files go, and taking the folder's name.
  const std::string folder = work + "/_Quillorane";
  fs::create_directory(folder);
  ::chmod(folder.c_str(), 0777);
  ::chown(folder.c_str(), kNobody, kNobody);
  const pid_t racer = ::fork();
  if (racer == 0) {
    if (::setresgid(kNobody, kNobody, kNobody) != 0 || ::setresuid(kNobody, kNobody, kNobody) != 0) ::_exit(1);
    const std::string moved = folder + ".moved";
    for (;;) {
      ::rename(folder.c_str(), moved.c_str());  // the live folder renamed away ...
      ::mkdir(folder.c_str(), 0777);           // ... and one of theirs in its place
      for (int n = 0; n < 100; ++n) ::symlink(victim.c_str(), (folder + "/temp-" + std::to_string(n) + ".tmp").c_str());
      ::usleep(1000);
    }
  }
  Bench_Process bench({"--target", work, "--only", "4k", "--seconds", "1"}, Setup("run"));
  const int status = bench.Wait();
  ::kill(racer, SIGKILL);
  ::waitpid(racer, nullptr, 0);
  EXPECT_EQ(Read_Whole_File(victim), std::string(6, 'x')) << "a file outside the run's folder was written";
  // The run either measured in a folder of its own or, when the other user kept the name,
  // was refused with the reason.
  EXPECT_TRUE(status == 0 || status == 1) << status << " " << Err("run");
  fs::remove_all(folder);
  fs::remove_all(folder + ".moved");
}

TEST_F(Runner_Process_Test, AFileSystemMountedInsideTheFolderIsNeverEmptied) {
  if (!Is_Root()) GTEST_SKIP() << "mounting needs root";
  const std::string keep = scratch.Make_File("elsewhere/keep.txt", 4);
  fs::create_directories(work + "/_Quillorane/mnt");
  Bind_Mount mount(scratch / "elsewhere", work + "/_Quillorane/mnt");
  ASSERT_TRUE(mount.mounted());
  Bench_Process bench({"--target", work, "--only", "4k", "--seconds", "1", "--json"}, Setup("run"));
  EXPECT_EQ(bench.Wait(), 1);
  EXPECT_EQ(Err("run"), "platterscope-bench: Cannot create folder " + work + "/_Quillorane: cannot remove " + work +
                            "/_Quillorane/mnt: another file system is mounted there\n");
  EXPECT_EQ(Read_Whole_File(keep), "xxxx");
}

TEST_F(Runner_Process_Test, AStaleFileOfAnotherUserIsNeverRead) {
  if (!Is_Root()) GTEST_SKIP() << "needs root, to run as another user";
  // A folder of root's in a shared folder, with a file in it; the run is an ordinary user's.
  ::chmod(work.c_str(), 01777);
  scratch.Make_File("work/_Quillorane/temp-1.tmp", 4096);
  Bench_Process bench({"--target", work, "--only", "4k", "--seconds", "1", "--json"}, Setup("run", kNobody));
  EXPECT_EQ(bench.Wait(), 1) << Out("run");
  EXPECT_EQ(Out("run"), "");
  EXPECT_EQ(Err("run"), "platterscope-bench: Cannot create folder " + work + "/_Quillorane: cannot remove " + work +
                            "/_Quillorane/temp-1.tmp: Permission denied\n");
}

TEST_F(Runner_Process_Test, TheReserveHoldsOnASmallFileSystem) {
  if (!Is_Root()) GTEST_SKIP() << "mounting needs root";
  // 26 MiB above the reserve: neither half-block steps of the sequential write nor 4 MiB
  // files fit it exactly, so a loop that tests the limit before writing would cross it.
  Mounted_File_System disk(Mounted_File_System::Kind::Tmpfs, 46);
  ASSERT_TRUE(disk.mounted());
  const std::string target = disk.path();
  Bench_Process bench({"--target", target, "--only", "seq,4m", "--seconds", "1", "--json"}, Setup("run"));
  std::int64_t lowest = INT64_MAX;
  while (!bench.Ended()) {  // the files stay while they are read, a second at least
    struct statvfs sv {};
    if (::statvfs(target.c_str(), &sv) == 0)
      lowest = std::min<std::int64_t>(lowest, static_cast<std::int64_t>(sv.f_bavail) * sv.f_frsize);
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
  EXPECT_EQ(bench.Wait(), 0) << Err("run");
  EXPECT_GE(lowest, 20 * kMiB);
}
