// The runner's peak tests (--peak): the run on a worker thread, with the signals that stop a
// run as its stop token, the progress on a terminal and the result as text, JSON or CSV.
#pragma once

#include "bench/runner.h"
#include "bench/runner_options.h"

// Runs the peak tests as options ask; returns the exit status: 0 when they completed, 1 when
// they could not start or a transfer failed (the reason on stderr), 128 and the signal when
// a signal stopped them (after their clean-up and output).
int Run_Peak_Command(const Runner_Options& options, Runner_Services& services);
