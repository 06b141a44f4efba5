// platterscope-bench: the headless runner on the running system. Ctrl-C, SIGTERM and SIGHUP
// (unless it was ignored at start, as under nohup) stop the run (its clean-ups still run) and
// the runner then exits with 128 and the signal; a closed output ends nothing but the
// printing. On a terminal the run's progress is one line on stderr.
#include <unistd.h>

#include <csignal>
#include <iostream>

#include "bench/output_close.h"
#include "bench/runner.h"
#include "common/log.h"
#include "platform/platform.h"

namespace {

volatile std::sig_atomic_t stop_requests = 0;

void On_Stop_Signal(int signal) { stop_requests = signal; }

void Install_Signal_Handlers() {
  struct sigaction action {};
  action.sa_handler = On_Stop_Signal;
  action.sa_flags = SA_RESTART;
  sigemptyset(&action.sa_mask);
  for (int signal : {SIGINT, SIGTERM, SIGHUP}) {
    // Started under nohup (SIGHUP ignored), a closed terminal must not stop the run.
    struct sigaction before {};
    if (signal == SIGHUP && sigaction(signal, nullptr, &before) == 0 && before.sa_handler == SIG_IGN) continue;
    sigaction(signal, &action, nullptr);
  }
  // A reader that went away (platterscope-bench ... | head -1) makes writes fail with EPIPE
  // instead of ending the program in the middle of a run.
  std::signal(SIGPIPE, SIG_IGN);
}

}  // namespace

int main(int argc, char** argv) {
  Install_Signal_Handlers();
  Hold_Standard_Output();
  Output_Buffer out_buffer(STDOUT_FILENO);
  std::ostream out(&out_buffer);
  Guarded_Log log({});
  Runner_Services services{platform::System_Platform(),
                           platform::System_Inventory_Provider(),
                           System_Clock(),
                           out,
                           std::cerr,
                           [&log](const std::string& line) { log.Local_Writelog(line); },
                           &stop_requests,
                           ::isatty(STDERR_FILENO) == 1};
  const int status = Run_Runner(std::vector<std::string>(argv + 1, argv + argc), services);
  return Close_Output(status, out, out_buffer, std::cerr);
}
