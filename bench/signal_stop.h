// The signals that ask the runner to stop (Ctrl-C, SIGTERM, SIGHUP), turned into the stop
// request of whatever goes on: a run, the peak tests or a transfer with the results server.
// The signal handlers only note the signal; the thread that waits for the work looks for it.
#pragma once

#include <chrono>
#include <csignal>
#include <functional>
#include <stop_token>
#include <utility>

#include "common/worker.h"

class Signal_Stop {
 public:
  // requests: where the handlers note the last signal (0 while none came); none: no signal
  // ever stops the work.
  Signal_Stop(const volatile std::sig_atomic_t* requests, std::stop_source stop)
      : requests_(requests), stop_(std::move(stop)) {}

  // Asks the work to stop when a signal came; true the first time it does.
  bool Poll() {
    if (signal_ != 0 || requests_ == nullptr || *requests_ == 0) return false;
    signal_ = *requests_;
    stop_.request_stop();
    return true;
  }
  // The signal that asked the work to stop; 0 when none did.
  int Signal() const { return signal_; }
  // status, or 128 and the signal once one stopped the work, as a shell gives it (130 for
  // Ctrl-C, 143 for SIGTERM, 129 for a closed terminal).
  int Exit_Status(int status) const { return signal_ != 0 ? 128 + signal_ : status; }

 private:
  const volatile std::sig_atomic_t* requests_;
  std::stop_source stop_;
  int signal_ = 0;
};

// Runs work on worker until it is over, calling poll before it starts and every period
// meanwhile; the waiting thread sleeps in between. Returns the work's value, or throws what
// it threw.
template <class T>
T Run_Watched(Worker<T>& worker, const std::function<void()>& poll, std::function<T(std::stop_token)> work,
              std::chrono::milliseconds period) {
  poll();
  worker.Start(std::move(work));
  while (!worker.Wait_For(period)) poll();
  return worker.Take();
}

// Runs a transfer with the results server on a worker; a signal ends it within a second
// (every transfer looks at its stop token). Returns the transfer's exit status, or 128 and
// the signal once one stopped it, after the transfer's own clean-up.
inline int Run_Transfer(const volatile std::sig_atomic_t* requests, std::function<int(std::stop_token)> transfer) {
  Worker<int> worker;
  Signal_Stop signals(requests, worker.Stop_Source());
  const int status = Run_Watched<int>(
      worker, [&signals] { signals.Poll(); }, std::move(transfer), std::chrono::milliseconds(20));
  return signals.Exit_Status(status);
}
