// Ctrl-C and SIGTERM while the runner talks to a results server that accepts the connection
// and never answers: the transfer ends at once (not after the server's time limits), the
// runner exits with 128 and the signal, and a report it was sending waits whole in the
// queue. The peak tests, stopped the same way, exit alike and leave nothing on the disk.
// PS_BENCH=<older build> shows the runner waiting out the server instead.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "bench_process.h"
#include "loopback_server.h"
#include "mounted_file_system.h"
#include "reporting/message_queue.h"
#include "reporting/upload_record.h"

namespace fs = std::filesystem;

namespace {

using Clock = std::chrono::steady_clock;

// How long the runner may take from the signal to its exit: the transfer ends within a
// second, then a report is queued (forced to disk) and the process ends. The server's own
// limits would take 30 s and more.
constexpr auto kMostAfterSignal = std::chrono::milliseconds(2000);

Loopback_Server::Reply Silent(const std::string&) { return {Loopback_Server::Mode::Silent, ""}; }

std::vector<fs::path> Files_In(const fs::path& folder) {
  std::vector<fs::path> files;
  std::error_code ec;
  for (const auto& entry : fs::directory_iterator(folder, ec)) files.push_back(entry.path());
  return files;
}

class Runner_Transfer_Signals : public ::testing::Test {
 protected:
  Runner_Transfer_Signals() { fs::create_directories(logs); }
  ~Runner_Transfer_Signals() override {
    std::error_code ec;
    fs::remove_all(target, ec);
  }

  Bench_Process::Setup Setup() const {
    const char* path = std::getenv("PATH");
    return {logs,
            scratch / "bench.out",
            scratch / "bench.err",
            false,
            -1,
            false,
            {"PLATTERSCOPE_SERVER=" + server.host(), "XDG_STATE_HOME=" + scratch / "state",
             "XDG_CACHE_HOME=" + scratch / "cache", "PLATTERSCOPE_SETTINGS=" + scratch / "settings.conf",
             "HOME=" + scratch.path(), std::string("PATH=") + (path != nullptr ? path : "/usr/bin:/bin")}};
  }
  std::string Out() const { return Read_Whole_File(scratch / "bench.out"); }
  std::string Err() const { return Read_Whole_File(scratch / "bench.err"); }
  fs::path Queue() const { return scratch / "state/Quillorane/QuilloraneQueue"; }

  // Signals the runner once the server holds its first request; the time from the signal
  // to the runner's exit, and the exit status.
  std::pair<Clock::duration, int> Stop_While_Waiting(Bench_Process& bench, int signal, int wait_ms) {
    EXPECT_TRUE(Wait_Until([&] { return !server.Requests().empty() || bench.Ended(); }, wait_ms)) << Err();
    std::this_thread::sleep_for(std::chrono::milliseconds(100));  // well inside the transfer
    const Clock::time_point sent = Clock::now();
    bench.Signal(signal);
    const int status = bench.Wait(40000);
    return {Clock::now() - sent, status};
  }

  Scratch_Folder scratch;
  std::string logs = scratch / "logs";
  Loopback_Server server{Silent};
  // A run of --send works in a folder of the build tree: a listed drive, unlike a RAM-backed /tmp.
  std::string target = std::string(PS_BUILD_FOLDER) + "/bench-signal-" + std::to_string(::getpid());
};

struct Stop_Case {
  const char* what;
  std::vector<std::string> args;
  int signal;
  int status;
};

}  // namespace

TEST_F(Runner_Transfer_Signals, ASignalEndsTheTransferAtOnceAndTheRunnerExitsWithItsStatus) {
  const Stop_Case cases[] = {
      {"version check, Ctrl-C", {"--check-updates"}, SIGINT, 130},
      {"version check, SIGTERM", {"--check-updates"}, SIGTERM, 143},
      {"report after a run, Ctrl-C", {"--target", target, "--only", "512b", "--seconds", "1", "--send"}, SIGINT, 130},
      {"report after a run, SIGTERM", {"--target", target, "--only", "512b", "--seconds", "1", "--send"}, SIGTERM, 143},
  };
  for (const Stop_Case& c : cases) {
    SCOPED_TRACE(c.what);
    fs::remove_all(scratch / "state");
    fs::create_directories(target);
    const std::size_t before = server.Requests().size();
    Bench_Process bench(c.args, Setup());
    ASSERT_TRUE(bench.started());
    ASSERT_TRUE(Wait_Until([&] { return server.Requests().size() > before || bench.Ended(); }, 60000)) << Err();
    const auto [span, status] = Stop_While_Waiting(bench, c.signal, 1000);
    EXPECT_EQ(status, c.status) << Out() << Err();
    EXPECT_LT(span, kMostAfterSignal) << std::chrono::duration_cast<std::chrono::milliseconds>(span).count() << " ms";
    if (c.args.front() == "--check-updates") {
      EXPECT_EQ(Out(), "Not checked (stopped)\n");
      continue;
    }
    // The report the server never confirmed waits in the queue, whole, and nothing else does.
    EXPECT_NE(Out().find("FAIL,Queue OK\n"), std::string::npos) << Out();
    const std::vector<fs::path> queued = Files_In(Queue());
    ASSERT_EQ(queued.size(), 1u);
    EXPECT_EQ(queued[0].extension(), ".dat");
    EXPECT_EQ(fs::file_size(queued[0]), sizeof(MY_UploadFileRecord));
    EXPECT_TRUE(fs::is_empty(target)) << "the run's folder is gone";
  }
}

TEST_F(Runner_Transfer_Signals, ACtrlCDuringTheReplayKeepsTheQueue) {
  auto record = std::make_unique<MY_UploadFileRecord>();
  record->URL.Assign(server.url("/uploadresults2.php?Ver=1&CompId=7"));
  record->HostName.Assign(server.host());
  ASSERT_TRUE(Save_Message_Queue(*record, Queue(), [](const std::string&) {}));
  const std::vector<fs::path> queued = Files_In(Queue());
  ASSERT_EQ(queued.size(), 1u);
  const std::string bytes = Read_Whole_File(queued[0]);
  Bench_Process bench({"--replay-queue"}, Setup());
  const auto [span, status] = Stop_While_Waiting(bench, SIGINT, 10000);
  EXPECT_EQ(status, 130) << Out() << Err();
  EXPECT_LT(span, kMostAfterSignal);
  EXPECT_EQ(Out(), "kept " + queued[0].string() + " (no answer from the server)\n");
  EXPECT_EQ(Files_In(Queue()), queued);
  EXPECT_EQ(Read_Whole_File(queued[0]), bytes) << "kept as it was";
}

TEST(Runner_Peak_Signal, CtrlCStopsThePeakTestsWithItsStatusAndLeavesNothing) {
  if (::geteuid() != 0) GTEST_SKIP() << "mounting a file system needs root";
  Mounted_File_System disk(Mounted_File_System::Kind::Ext4, 160);
  ASSERT_TRUE(disk.mounted());
  Scratch_Folder scratch;
  const std::string logs = scratch / "logs";
  fs::create_directories(logs);
  Bench_Process bench({"--target", disk.path(), "--peak", "--size", "64M", "--seconds", "5", "--json"},
                      {logs, scratch / "peak.out", scratch / "peak.err"});
  const auto written = [&] {
    for (const fs::path& entry : Files_In(disk.path()))
      if (entry.filename() != "lost+found") return true;
    return false;
  };
  ASSERT_TRUE(Wait_Until(written, 20000)) << Read_Whole_File(scratch / "peak.err");
  std::this_thread::sleep_for(std::chrono::milliseconds(500));
  bench.Signal(SIGINT);
  EXPECT_EQ(bench.Wait(), 130) << Read_Whole_File(scratch / "peak.err");
  EXPECT_FALSE(written()) << "nothing left on the disk";
}
