// What the runner prints: the rates of a run, the drive list and the machine profile, as
// text or as one JSON object.
#pragma once

#include <ostream>
#include <string>

#include "bench/runner_options.h"
#include "common/global_functions.h"
#include "common/run_result.h"
#include "platform/inventory_provider.h"

// The measured tests of the run (those with a result), and "stopped" for a stopped run.
void Print_Results(std::ostream& out, const Runner_Options& options, const Run_Result& result);

// The run as one line of CSV under its header, as the window saves its results: the target
// folder, the date the run ended (a local day count) and the test time with the rates.
void Print_Csv(std::ostream& out, const Runner_Options& options, const Run_Result& result, TDateTime ended);

// The drive list as the window builds it; returns the exit status.
int Print_Drive_List(std::ostream& out, std::ostream& err, platform::Inventory_Provider& inventory);

// The machine items a result report carries, for the drive at options.target or the first
// listed one; returns the exit status.
int Print_Profile(std::ostream& out, std::ostream& err, const Runner_Options& options,
                  platform::Inventory_Provider& inventory);
