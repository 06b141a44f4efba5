// The headless runner started as its own process, as a user starts it: with its output in
// files or a pipe, signals sent from outside, and optionally as another user. PS_BENCH
// names another executable to run instead (an older build, to see a fault again).
#pragma once

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "scratch_folder.h"

inline std::string Bench_Executable() {
  const char* other = std::getenv("PS_BENCH");
  return other != nullptr && *other != '\0' ? other : PS_BENCH_PATH;
}

// Waits until done() holds, checking every 5 ms; false when timeout_ms passed first.
inline bool Wait_Until(const std::function<bool()>& done, int timeout_ms) {
  const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms);
  while (!done()) {
    if (std::chrono::steady_clock::now() > end) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  return true;
}

class Bench_Process {
 public:
  struct Setup {
    std::string log_folder;  // the runner's TMPDIR, where its diagnostic log goes
    std::string out_file, err_file;  // used unless pipe_output
    bool pipe_output = false;        // stdout and stderr into one pipe, read with Pipe()
    int uid = -1;                    // run as this user (and group)
    bool ignore_hangup = false;      // start with SIGHUP ignored, as nohup starts a program
    std::vector<std::string> env = {};  // more of the environment, NAME=value
  };

  Bench_Process(const std::vector<std::string>& args, const Setup& setup) {
    std::vector<std::string> words{Bench_Executable()};
    words.insert(words.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (std::string& word : words) argv.push_back(word.data());
    argv.push_back(nullptr);
    std::vector<std::string> env{"TMPDIR=" + setup.log_folder, "LANG=C"};
    env.insert(env.end(), setup.env.begin(), setup.env.end());
    std::vector<char*> envp;
    for (std::string& entry : env) envp.push_back(entry.data());
    envp.push_back(nullptr);
    int pipe_fds[2] = {-1, -1};
    if (setup.pipe_output && ::pipe(pipe_fds) != 0) return;
    const int out = setup.pipe_output ? pipe_fds[1] : ::open(setup.out_file.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0666);
    const int err = setup.pipe_output ? pipe_fds[1] : ::open(setup.err_file.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0666);
    pid_ = ::fork();
    if (pid_ == 0) {
      // Only async-signal-safe calls from here on: the child starts as a user would start it.
      for (int sig : {SIGINT, SIGTERM, SIGHUP, SIGPIPE}) ::signal(sig, SIG_DFL);
      if (setup.ignore_hangup) ::signal(SIGHUP, SIG_IGN);
      sigset_t none;
      sigemptyset(&none);
      ::sigprocmask(SIG_SETMASK, &none, nullptr);
      ::dup2(out, 1);
      ::dup2(err, 2);
      if (pipe_fds[0] >= 0) ::close(pipe_fds[0]);
      if (setup.uid >= 0 && (::setresgid(setup.uid, setup.uid, setup.uid) != 0 ||
                             ::setresuid(setup.uid, setup.uid, setup.uid) != 0))
        ::_exit(126);
      ::execve(argv[0], argv.data(), envp.data());
      ::_exit(127);
    }
    if (setup.pipe_output) {
      ::close(pipe_fds[1]);
      pipe_ = pipe_fds[0];
    } else {
      ::close(out);
      ::close(err);
    }
  }
  Bench_Process(const Bench_Process&) = delete;
  Bench_Process& operator=(const Bench_Process&) = delete;
  ~Bench_Process() {
    if (pid_ > 0 && status_ < 0) {
      ::kill(pid_, SIGKILL);
      Wait();
    }
    Close_Pipe();
  }

  bool started() const { return pid_ > 0; }
  void Signal(int sig) const { ::kill(pid_, sig); }
  int Pipe() const { return pipe_; }
  void Close_Pipe() {
    if (pipe_ >= 0) ::close(pipe_);
    pipe_ = -1;
  }
  // Whether the process has ended (its status is then kept).
  bool Ended() {
    int raw = 0;
    if (status_ < 0 && pid_ > 0 && ::waitpid(pid_, &raw, WNOHANG) == pid_)
      status_ = WIFEXITED(raw) ? WEXITSTATUS(raw) : 128 + WTERMSIG(raw);
    return status_ >= 0 || pid_ <= 0;
  }
  // The exit status, or 128 + the signal that ended it; -1 when it did not end within
  // timeout_ms (it is then killed).
  int Wait(int timeout_ms = 60000) {
    if (Wait_Until([&] { return Ended(); }, timeout_ms)) return status_;
    ::kill(pid_, SIGKILL);
    ::waitpid(pid_, nullptr, 0);
    pid_ = -1;
    return -1;
  }

 private:
  pid_t pid_ = -1;
  int pipe_ = -1;
  int status_ = -1;
};
