// The headless runner: the benchmark without a window, for machines without a display and
// for measuring. It drives the same engine as the window does; main() only adds the
// running system and the signals.
#pragma once

#include <csignal>
#include <functional>
#include <ostream>
#include <string>
#include <vector>

#include "common/clock.h"
#include "platform/inventory_provider.h"
#include "platform/platform.h"

// What a run of the runner uses from the world around it.
struct Runner_Services {
  platform::Platform& os;
  platform::Inventory_Provider& inventory;
  Clock& clock;
  std::ostream& out;
  std::ostream& err;
  // Writes one line of the diagnostic log.
  std::function<void(const std::string&)> log;
  // The last signal that asked to stop (Ctrl-C, SIGTERM, SIGHUP), set by the signal
  // handlers; 0 while none came.
  const volatile std::sig_atomic_t* stop_requests = nullptr;
  // Whether err is a terminal: the run's progress is then one line written over again.
  bool err_is_terminal = false;
};

// Runs the command line args (without the program name). Returns the exit status: 0 when
// the run completed, or a listing was printed; 128 and the signal when a signal stopped the
// run, the peak tests or a transfer with the results server (after its clean-ups and
// output); 1 when the run or listing could not be made, or the
// run's folder was left behind (stderr says why); 2 for a bad command line; 3 when a report
// or the queue was not confirmed by the results server
// (--send, --replay-queue) or it did not answer.
int Run_Runner(const std::vector<std::string>& args, Runner_Services& services);
