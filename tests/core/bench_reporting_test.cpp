// The headless runner's reporting: a short run reported as the window reports it, the queue
// replayed with one line per file, and the empty server setting that keeps it offline.
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>

#include "loopback_server.h"
#include "reporting/message_queue.h"
#include "reporting/report_codec.h"
#include "scratch_folder.h"

namespace {

struct Run_Result {
  int status = -1;
  std::string output;
};

// Runs the runner with arguments; its stderr is dropped.
Run_Result Run_Bench(const std::string& arguments) {
  Run_Result result;
  FILE* pipe = ::popen((std::string(PS_BENCH_PATH) + " " + arguments + " 2>/dev/null").c_str(), "r");
  if (pipe == nullptr) return result;
  char block[4096];
  for (std::size_t n; (n = std::fread(block, 1, sizeof block, pipe)) > 0;) result.output.append(block, n);
  const int status = ::pclose(pipe);
  result.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return result;
}

std::string Last_Line(const std::string& text) {
  std::string trimmed = text;
  while (!trimmed.empty() && trimmed.back() == '\n') trimmed.pop_back();
  return trimmed.substr(trimmed.rfind('\n') + 1);
}

// The runner's state, settings and log in the test's own folder.
class Bench_Test : public ::testing::Test {
 protected:
  Scratch_Folder scratch;
  Env_Override state{"XDG_STATE_HOME", scratch / "state"};
  Env_Override settings{"PLATTERSCOPE_SETTINGS", scratch / "settings.conf"};
  Env_Override temp{"TMPDIR", scratch.path()};
};

}  // namespace

TEST_F(Bench_Test, SendReportsAFinishedRunAndPrintsTheStatus) {
  Loopback_Server server([](const std::string&) { return Loopback_Server::Ok("[RESULT]1[/RESULT]"); });
  Env_Override online("PLATTERSCOPE_SERVER", server.host());
  // The run works in a folder of the build tree: a listed drive, unlike a RAM-backed /tmp.
  const std::string target = std::string(PS_BUILD_FOLDER) + "/bench-send-" + std::to_string(::getpid());
  std::filesystem::create_directories(target);
  const Run_Result run = Run_Bench("--target " + target + " --only 512b --seconds 1 --send");
  std::filesystem::remove_all(target);
  EXPECT_EQ(Last_Line(run.output), "OK") << run.output;
  EXPECT_EQ(run.status, 0);
  const auto requests = server.Requests();
  ASSERT_EQ(requests.size(), 2u);
  EXPECT_NE(requests[1].find("name=\"512BW\""), std::string::npos);
  EXPECT_EQ(requests[1].find("name=\"WRITE\""), std::string::npos) << "only the pairs that ran";

  Env_Override offline("PLATTERSCOPE_SERVER", "");
  std::filesystem::create_directories(target);
  const Run_Result quiet = Run_Bench("--target " + target + " --only 512b --seconds 1 --send");
  std::filesystem::remove_all(target);
  EXPECT_EQ(Last_Line(quiet.output), "Not sent (offline)");
  EXPECT_EQ(quiet.status, 3);
  EXPECT_EQ(server.Requests().size(), 2u);
}

TEST_F(Bench_Test, ReplayQueuePrintsOneLinePerFile) {
  Loopback_Server server([](const std::string&) { return Loopback_Server::Ok("[RESULT]1[/RESULT]"); });
  Env_Override online("PLATTERSCOPE_SERVER", server.host());
  auto record = std::make_unique<MY_UploadFileRecord>();
  record->URL.Assign(server.url("/uploadresults2.php?Ver=1&CompId=7"));
  record->HostName.Assign(server.host());
  ASSERT_TRUE(Save_Message_Queue(*record, Queue_Folder(), [](const std::string&) {}));
  std::ofstream(Queue_Folder() + "/broken.dat") << "short";

  const Run_Result replay = Run_Bench("--replay-queue");
  EXPECT_EQ(replay.status, 0) << replay.output;
  EXPECT_NE(replay.output.find("sent " + Queue_Folder() + "/"), std::string::npos) << replay.output;
  EXPECT_NE(replay.output.find("moved aside " + Queue_Folder() + "/broken.dat (shorter than one record (5 bytes)"),
            std::string::npos)
      << replay.output;
  EXPECT_EQ(server.Requests().size(), 2u);
}
