// The platterscope-server executable run by a test as a child process: started on a free
// loopback port, stopped or killed by the test, and never outliving it.
#pragma once

#include <sys/types.h>

#include <string>
#include <vector>

class Server_Process {
 public:
  // Runs platterscope-server with the arguments and waits for its "listening on port" line.
  explicit Server_Process(const std::vector<std::string>& arguments);
  ~Server_Process();
  Server_Process(const Server_Process&) = delete;
  Server_Process& operator=(const Server_Process&) = delete;

  int port() const { return port_; }  // 0 when it did not start
  pid_t pid() const { return pid_; }
  std::string host() const { return "127.0.0.1:" + std::to_string(port_); }
  const std::string& output() const { return output_; }
  // Sends the signal and waits for the process; its exit status as waitpid gives it.
  int Signal(int signal_number);

 private:
  pid_t pid_ = -1;
  int port_ = 0;
  std::string output_;
};

// Another program (argv[0] a full path) running beside a test, its output in a log file;
// ended with SIGTERM (SIGKILL after 5 s) with its owner, never outliving the test.
class Background_Program {
 public:
  Background_Program(const std::vector<std::string>& argv, const std::string& log_path);
  ~Background_Program();
  Background_Program(const Background_Program&) = delete;
  Background_Program& operator=(const Background_Program&) = delete;
  bool Running() const;

 private:
  pid_t pid_ = -1;
};

// Runs a program (argv[0] a full path) to its end, killed after timeout_seconds; its exit
// code (-1 when killed) and everything it printed.
int Run_Program(const std::vector<std::string>& argv, int timeout_seconds, std::string& output);

// The same for platterscope-server with these arguments.
int Run_Server_Command(const std::vector<std::string>& arguments, std::string& output);
