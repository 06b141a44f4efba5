// The headless runner's reporting: a short run reported as the window reports it, the queue
// replayed with one line per file, the version check of an administrator, and the empty server
// setting that keeps it offline.
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <functional>

#include "loopback_server.h"
#include "platform/upgrade_files.h"
#include "reporting/installer_statement.h"
#include "reporting/message_queue.h"
#include "reporting/report_codec.h"
#include "scratch_folder.h"

namespace {

struct Run_Result {
  int status = -1;
  std::string output;
};

// Runs the runner with arguments; its stderr is dropped, or read with its output.
Run_Result Run_Bench(const std::string& arguments, bool with_errors = false) {
  Run_Result result;
  const char* errors = with_errors ? " 2>&1" : " 2>/dev/null";
  FILE* pipe = ::popen((std::string(PS_BENCH_PATH) + " " + arguments + errors).c_str(), "r");
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

TEST_F(Bench_Test, CheckUpdatesPrintsTheOfferAdsAndInstallersButAcceptsNoUnknownSigner) {
  Env_Override cache("XDG_CACHE_HOME", scratch / "cache");
  const std::string banner = "GIF89a banner bytes", installer = "#!/bin/sh\nexit 0\n";
  const std::string signature(128, 'a');  // well formed; the build's key verifies nothing of ours
  // Server text with a terminal's control sequence and a line break in it.
  Loopback_Server server(Loopback_Server::Serve(
      {{"/program_version3.php",
        "[VERSION]99.0.0[/VERSION][MESSAGES]news\x1b[2J.php[/MESSAGES][ADS]1,/ads/1.png," + MD5_Of_Text(banner) +
            "[BR]../x,/ads/1.png,[BR]2\nok,/ads/1.png,[/ADS][BR][FILE]/files/setup.run[/FILE][SIZE]" +
            std::to_string(installer.size()) + "[/SIZE][MD5]" + MD5_Of_Text(installer) +
            "[/MD5][TARGETFILE]p[/TARGETFILE][SIGNATURE]" + signature + "[/SIGNATURE]"},
       {"/ads/1.png", banner},
       {"/files/setup.run", installer}}));
  Env_Override online("PLATTERSCOPE_SERVER", server.host());
  const Run_Result run = Run_Bench("--check-updates");
  EXPECT_EQ(run.status, 0) << run.output;
  const std::string ads = scratch / "cache/Quillorane/ADS/";
  const std::string platform = Installer_Platform(platform::Machine_Name());
  EXPECT_EQ(run.output, "version offered: 99.0.0 (newer than " + std::string(PS_TEST_VERSION) + ")\n"
                        "news: news\\x1B[2J.php\n"
                        "ad 0: number 1, file " + ads + "1.png, active (downloaded)\n"
                        "ad 1: number ../x, file " + ads + "../x.png, inactive (the file name \"../x.png\" made from "
                        "its number and image is not a plain name)\n"
                        "ad 2: number 2\\nok, file " + ads + "2\\nok.png, inactive (its number holds a control "
                        "character)\n"
                        "installer in piece 3: not used: its statement (version 99.0.0, " + platform + ", p) is not "
                        "signed: the signature does not match the program's update key\n");
  for (const auto& entry : std::filesystem::directory_iterator(std::filesystem::path(PS_BENCH_PATH).parent_path()))
    EXPECT_NE(entry.path().filename().string().rfind("_Quillorane", 0), 0u) << "no installer is kept";

  Env_Override offline("PLATTERSCOPE_SERVER", "");
  EXPECT_EQ(Run_Bench("--check-updates").output, "Not checked (offline)\n");
  Env_Override unreachable("PLATTERSCOPE_SERVER", "127.0.0.1:1");
  const Run_Result none = Run_Bench("--check-updates");
  EXPECT_EQ(none.output, "no answer from http://127.0.0.1:1\n");
  EXPECT_EQ(none.status, 3);
}

TEST_F(Bench_Test, CheckUpdatesRefusesAnAnswerWhoseVersionIsNotAVersion) {
  Loopback_Server server(Loopback_Server::Serve({{"/program_version3.php", "[VERSION]1.0\r\nok: 2.0[/VERSION]"}}));
  Env_Override online("PLATTERSCOPE_SERVER", server.host());
  const Run_Result run = Run_Bench("--check-updates");
  EXPECT_EQ(run.output, "answer refused: [VERSION] \"1.0\\r\\nok: 2.0\" is not a version\n");
  EXPECT_EQ(run.status, 1);
}

// The package's installer runs --computer-id; whatever stands in the store's place, it says why
// the identifier could not be kept, and leaves that thing as it was.
TEST_F(Bench_Test, ComputerIdSaysWhyTheStoreCannotKeepIt) {
  const std::string store = scratch / "settings.conf";
  const std::string elsewhere = scratch.Make_File("elsewhere.conf", 3);
  struct Case {
    const char* what;
    std::function<void()> plant;
    std::string file;
    std::string says;
  };
  const Case cases[] = {
      {"a link", [&] { std::filesystem::create_symlink(elsewhere, store); }, store, "it is a link, not the store itself"},
      {"a pipe", [&] { ::mkfifo(store.c_str(), 0644); }, store, "it is not a plain file"},
      {"a folder", [&] { std::filesystem::create_directory(store); }, store, "it is not a plain file"},
      {"a folder others can write to",
       [&] {
         std::filesystem::create_directory(scratch / "open");
         ::chmod((scratch / "open").c_str(), 0777);
       },
       scratch / "open/settings.conf", "Cannot use folder " + scratch / "open: others may write to it"},
      {"a store of 2 MiB", [&] { std::filesystem::resize_file(scratch.Make_File("settings.conf"), 2 << 20); }, store,
       "it is larger than 1 MiB: it is neither read nor rewritten"},
  };
  for (const Case& c : cases) {
    std::filesystem::remove_all(store);
    c.plant();
    const auto before = std::filesystem::symlink_status(c.file).type();
    const std::uintmax_t size = std::filesystem::is_regular_file(c.file) ? std::filesystem::file_size(c.file) : 0;
    Env_Override in_place("PLATTERSCOPE_SETTINGS", c.file);
    const Run_Result run = Run_Bench("--computer-id", true);
    EXPECT_EQ(run.status, 1) << c.what;
    EXPECT_NE(run.output.find("platterscope-bench: Cannot store the computer identifier in " + c.file + ": "),
              std::string::npos)
        << c.what << ": " << run.output;
    EXPECT_NE(run.output.find(c.says), std::string::npos) << c.what << ": " << run.output;
    EXPECT_EQ(std::filesystem::symlink_status(c.file).type(), before) << c.what;
    if (size > 0) {
      EXPECT_EQ(std::filesystem::file_size(c.file), size) << c.what;
    }
  }
  EXPECT_EQ(Read_Whole_File(elsewhere), "xxx");
}
