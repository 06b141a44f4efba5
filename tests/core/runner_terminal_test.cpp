// The runner started on a terminal (a pseudo-terminal, as a user's shell gives it) and with
// its output in files: the progress line on the one, nothing extra on the other.
#include <gtest/gtest.h>
#include <poll.h>
#include <pty.h>

#include <cerrno>

#include "bench_process.h"

namespace {

// Runs the runner with args on a new pseudo-terminal; returns all it wrote there, or what it
// wrote until timeout_ms passed.
std::string Run_On_Terminal(const std::vector<std::string>& args, const std::string& log_folder, int& status,
                            int timeout_ms = 60000) {
  std::vector<std::string> words{Bench_Executable()};
  words.insert(words.end(), args.begin(), args.end());
  std::vector<char*> argv;
  for (std::string& word : words) argv.push_back(word.data());
  argv.push_back(nullptr);
  std::string tmpdir = "TMPDIR=" + log_folder, lang = "LANG=C";
  char* envp[] = {tmpdir.data(), lang.data(), nullptr};
  int terminal = -1;
  const pid_t pid = ::forkpty(&terminal, nullptr, nullptr, nullptr);
  if (pid == 0) {
    ::execve(argv[0], argv.data(), envp);
    ::_exit(127);
  }
  std::string seen;
  status = -1;
  if (pid < 0) return seen;
  const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms);
  for (;;) {
    pollfd ready{terminal, POLLIN, 0};
    if (std::chrono::steady_clock::now() > end) ::kill(pid, SIGKILL);
    if (::poll(&ready, 1, 100) <= 0) continue;
    char block[4096];
    const ssize_t n = ::read(terminal, block, sizeof block);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;  // EIO: the runner has closed the terminal's other side
    seen.append(block, static_cast<std::size_t>(n));
  }
  ::close(terminal);
  int raw = 0;
  ::waitpid(pid, &raw, 0);
  status = WIFEXITED(raw) ? WEXITSTATUS(raw) : 128 + WTERMSIG(raw);
  return seen;
}

}  // namespace

TEST(Runner_Terminal_Test, ATerminalGetsAProgressLineAFileNothingExtra) {
  Scratch_Folder target, logs;
  const std::vector<std::string> args{"--target", target.path(), "--seconds", "1", "--only", "4k"};
  int status = -1;
  const std::string shown = Run_On_Terminal(args, logs.path(), status);
  EXPECT_EQ(status, 0) << shown;
  EXPECT_NE(shown.find("\r\x1b[K[....................] 0/2  "), std::string::npos) << shown;
  EXPECT_NE(shown.find("\r\x1b[K[####################] 2/2  0 s left"), std::string::npos) << shown;
  EXPECT_NE(shown.find("\r\x1b[K4KW    Random 4K Write"), std::string::npos) << "the results start on a clean line";
  EXPECT_EQ(shown.find("Start...\r\n"), std::string::npos) << "no loading-panel lines of their own";

  Bench_Process plain(args, {logs.path(), target / "out.txt", target / "err.txt"});
  ASSERT_TRUE(plain.started());
  EXPECT_EQ(plain.Wait(), 0);
  const std::string err = Read_Whole_File(target / "err.txt");
  // The loading panel's texts as they change, as before there was a progress line: nothing
  // to delete before the run, then the clean-ups between the pairs.
  EXPECT_EQ(err, "Deleting temporary files, please wait...\n"
                 "Random 4K Write  Start...\nRandom 4K Read  Start...\n"
                 "Deleting temporary files, please wait...\nDeleting temporary files, please wait...\n");
  EXPECT_NE(Read_Whole_File(target / "out.txt").find("4KR    Random 4K Read"), std::string::npos);
}
