// posix_spawn of a program in a session of its own, with its standard input from /dev/null,
// its signals as a fresh program expects them, and a wait for its end when asked.
#include "platform/processes.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <vector>

#include "platform/files.h"

extern char** environ;

namespace platform {

namespace {

// Owns the spawn attributes and file actions for the length of one start.
class Spawn_Setup {
 public:
  Spawn_Setup() {
    attributes_ok_ = ::posix_spawnattr_init(&attributes_) == 0;
    actions_ok_ = ::posix_spawn_file_actions_init(&actions_) == 0;
  }
  Spawn_Setup(const Spawn_Setup&) = delete;
  Spawn_Setup& operator=(const Spawn_Setup&) = delete;
  ~Spawn_Setup() {
    if (attributes_ok_) ::posix_spawnattr_destroy(&attributes_);
    if (actions_ok_) ::posix_spawn_file_actions_destroy(&actions_);
  }

  // A new session, so that the program's end (or its terminal's) does not end the child;
  // the signal mask and dispositions as a fresh program expects them; inherited, when given,
  // is the one descriptor handed to the child (its close-on-exec mark is taken off there only).
  int Prepare(int inherited = -1) {
    if (!attributes_ok_ || !actions_ok_) return ENOMEM;
    sigset_t none, all;
    sigemptyset(&none);
    sigfillset(&all);
    int error = ::posix_spawnattr_setflags(&attributes_, POSIX_SPAWN_SETSID | POSIX_SPAWN_SETSIGMASK |
                                                             POSIX_SPAWN_SETSIGDEF);
    if (error == 0) error = ::posix_spawnattr_setsigmask(&attributes_, &none);
    if (error == 0) error = ::posix_spawnattr_setsigdefault(&attributes_, &all);
    if (error == 0) error = ::posix_spawn_file_actions_addopen(&actions_, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    if (error == 0 && inherited >= 0) error = ::posix_spawn_file_actions_adddup2(&actions_, inherited, inherited);
    return error;
  }

  const posix_spawnattr_t* Attributes() const { return &attributes_; }
  const posix_spawn_file_actions_t* Actions() const { return &actions_; }

 private:
  posix_spawnattr_t attributes_{};
  posix_spawn_file_actions_t actions_{};
  bool attributes_ok_ = false;
  bool actions_ok_ = false;
};

int Wait_For(pid_t child, int& exit_code) {
  int status = 0;
  while (::waitpid(child, &status, 0) < 0) {
    if (errno != EINTR) return errno;
  }
  exit_code = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  return 0;
}

}  // namespace

bool Run_And_Wait(const std::string& program, const std::string& parameters, bool wait, int& exit_code,
                  std::string& reason) {
  exit_code = 0;
  Spawn_Setup setup;
  int error = setup.Prepare();
  std::vector<char*> arguments{const_cast<char*>(program.c_str())};
  if (!parameters.empty()) arguments.push_back(const_cast<char*>(parameters.c_str()));
  arguments.push_back(nullptr);
  pid_t child = -1;
  if (error == 0) error = ::posix_spawn(&child, program.c_str(), setup.Actions(), setup.Attributes(),
                                        arguments.data(), environ);
  if (error != 0) {
    reason = "Cannot start " + program + ": " + Error_Text(error);
    return false;
  }
  if (wait && (error = Wait_For(child, exit_code)) != 0)
    reason = "Cannot wait for " + program + ": " + Error_Text(error);
  return true;
}

bool Run_Descriptor(const Descriptor& program, const std::string& name, std::string& reason) {
  if (!program.valid()) {
    reason = "Cannot start " + name + ": no verified file is open";
    return false;
  }
  Spawn_Setup setup;
  int error = setup.Prepare(program.native());
  std::string own = "/proc/self/fd/" + std::to_string(program.native());
  char* arguments[] = {own.data(), nullptr};
  pid_t child = -1;
  if (error == 0) error = ::posix_spawn(&child, own.c_str(), setup.Actions(), setup.Attributes(), arguments, environ);
  if (error != 0) {
    reason = "Cannot start " + name + ": " + Error_Text(error);
    return false;
  }
  return true;
}

}  // namespace platform
