// The loops behind the peak tests: the fill of the test file and one timed test, each keeping
// its queue of transfers full, with the progress they report.
#pragma once

#include <cstdint>
#include <stop_token>
#include <string>

#include "engine/peak.h"

// What both loops work with, set up by the run.
struct Peak_Context {
  platform::Platform& os;
  Clock& clock;
  std::stop_token stop;
  Peak_Observer& observer;
  platform::File_Handle& file;
  const platform::Folder_Handle& folder;  // the run's folder: its free space and its device
  std::string path;                       // of the file, for messages
  std::int64_t file_size = 0;
  platform::Io_Backend backend = platform::Io_Backend::Automatic;
  std::int64_t warmup_ns = 0, test_ns = 0;
  int done = 0, total = 0;                // tests finished and to run, for the progress
  std::int64_t after_ns = 0;              // about how long the run goes on after this step
};

struct Fill_Outcome {
  std::string engine, engine_note;  // the queue that wrote it, and why not io_uring
  std::string error;                // why the file could not be written whole; empty otherwise
  bool stopped = false;
};

// Writes the whole file with incompressible data, 1 MiB at a time, 8 in flight, never into
// the free-space reserve; then forces it out and drops it from the page cache.
Fill_Outcome Fill_Test_File(Peak_Context& context);

// One timed test: a warm-up that is not counted, the timed span, the completions still in
// flight, and for a write the flush. measured tells whether the timed span began at all.
Peak_Test_Result Run_Peak_Test(Peak_Context& context, int index, bool& measured);
