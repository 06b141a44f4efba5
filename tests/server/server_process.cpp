// Child processes of the server executable, with their standard output read through a pipe.
#include "server_process.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <regex>

namespace {

pid_t Spawn_Program(std::vector<std::string> argv, int& out_fd) {
  std::vector<char*> args;
  for (std::string& arg : argv) args.push_back(arg.data());
  args.push_back(nullptr);
  int pipe_fds[2];
  if (::pipe2(pipe_fds, O_CLOEXEC) != 0) return -1;
  const pid_t pid = ::fork();
  if (pid == 0) {
    ::dup2(pipe_fds[1], 1);
    ::dup2(pipe_fds[1], 2);
    ::prctl(PR_SET_PDEATHSIG, SIGKILL);
    ::execv(args[0], args.data());
    ::_exit(127);
  }
  ::close(pipe_fds[1]);
  out_fd = pipe_fds[0];
  return pid;
}

pid_t Spawn(const std::vector<std::string>& arguments, int& out_fd) {
  std::vector<std::string> argv{PS_SERVER_EXECUTABLE};
  argv.insert(argv.end(), arguments.begin(), arguments.end());
  return Spawn_Program(argv, out_fd);
}

// Reads what the child printed until the pattern shows up, it ends, or the time is up.
std::string Read_Until(int fd, const std::regex& pattern, std::smatch& match, int seconds = 20) {
  std::string text;
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
  while (std::chrono::steady_clock::now() < deadline) {
    if (std::regex_search(text, match, pattern)) break;
    pollfd ready{fd, POLLIN, 0};
    if (::poll(&ready, 1, 100) <= 0) continue;
    char buffer[4096];
    const ssize_t got = ::read(fd, buffer, sizeof buffer);
    if (got <= 0) break;
    text.append(buffer, static_cast<std::size_t>(got));
  }
  return text;
}

}  // namespace

Server_Process::Server_Process(const std::vector<std::string>& arguments) {
  int out = -1;
  pid_ = Spawn(arguments, out);
  if (pid_ < 0) return;
  static const std::regex kListening("listening on port ([0-9]+)");
  std::smatch match;
  output_ = Read_Until(out, kListening, match);
  if (std::regex_search(output_, match, kListening)) port_ = std::stoi(match[1]);
  ::close(out);  // later output goes nowhere; the server ignores SIGPIPE
}

Server_Process::~Server_Process() {
  if (pid_ > 0) Signal(SIGKILL);
}

int Server_Process::Signal(int signal_number) {
  if (pid_ <= 0) return -1;
  ::kill(pid_, signal_number);
  int status = 0;
  ::waitpid(pid_, &status, 0);
  pid_ = -1;
  return status;
}

Background_Program::Background_Program(const std::vector<std::string>& argv, const std::string& log_path) {
  std::vector<std::string> copy = argv;
  std::vector<char*> args;
  for (std::string& arg : copy) args.push_back(arg.data());
  args.push_back(nullptr);
  pid_ = ::fork();
  if (pid_ == 0) {
    const int log = ::open(log_path.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0600);
    ::dup2(log, 1);
    ::dup2(log, 2);
    ::prctl(PR_SET_PDEATHSIG, SIGKILL);
    ::execv(args[0], args.data());
    ::_exit(127);
  }
}

Background_Program::~Background_Program() {
  if (pid_ <= 0) return;
  ::kill(pid_, SIGTERM);
  for (int waited = 0; waited < 500; ++waited) {
    if (::waitpid(pid_, nullptr, WNOHANG) == pid_) return;
    ::usleep(10000);
  }
  ::kill(pid_, SIGKILL);
  ::waitpid(pid_, nullptr, 0);
}

bool Background_Program::Running() const { return pid_ > 0 && ::waitpid(pid_, nullptr, WNOHANG) == 0; }

int Run_Program(const std::vector<std::string>& argv, int timeout_seconds, std::string& output) {
  int out = -1;
  const pid_t pid = Spawn_Program(argv, out);
  if (pid < 0) return -1;
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(timeout_seconds);
  std::smatch never;
  output = Read_Until(out, std::regex("$^x"), never, timeout_seconds);
  ::close(out);
  int status = 0;
  if (std::chrono::steady_clock::now() >= deadline) ::kill(pid, SIGKILL);  // it never finished
  ::waitpid(pid, &status, 0);
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

int Run_Server_Command(const std::vector<std::string>& arguments, std::string& output) {
  std::vector<std::string> argv{PS_SERVER_EXECUTABLE};
  argv.insert(argv.end(), arguments.begin(), arguments.end());
  return Run_Program(argv, 60, output);
}
