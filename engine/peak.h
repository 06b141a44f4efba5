// The peak tests: one test file in the run's own folder, filled once, then eight timed tests
// of sequential and random transfers at set queue depths, each giving MB/s, IOPS and
// completion latencies. A run is a value computed by Run_Peak on the caller's thread
// (typically a worker); Stop is the stop token, checked between completions and inside
// every wait.
#pragma once

#include <array>
#include <cstdint>
#include <stop_token>
#include <string>

#include "common/clock.h"
#include "common/peak_result.h"
#include "platform/platform.h"

struct Peak_Request {
  std::string drive;                   // the work folder of the drive, as for a run of the plan
  std::int64_t size = kPeakDefaultSize;  // of the test file; kept from 64 MiB to 64 GiB
  int seconds = kPeakDefaultSeconds;   // timed span of each test
  // The spans in milliseconds; test_ms 0 takes seconds. A run uses the defaults: tests of the
  // program itself shorten them.
  std::int64_t test_ms = 0, warmup_ms = 1000, pause_ms = 1000;
  std::array<bool, kPeakTests.size()> selected{true, true, true, true, true, true, true, true};
  platform::Io_Backend backend = platform::Io_Backend::Automatic;
  platform::Platform* os = nullptr;    // the system's when not set
  Clock* clock = nullptr;              // the system's when not set
};

enum class Peak_Phase { Fill, Warm_Up, Measure, Pause };

struct Peak_Progress {
  Peak_Phase phase = Peak_Phase::Fill;
  int test = -1;                  // index in kPeakTests; -1 while the file is written
  int done = 0, total = 0;        // tests finished and tests to run
  std::int64_t bytes = 0;         // the fill: written so far; a test: moved in its timed span
  double seconds = 0;             // how long the fill or the timed span has gone on
  double mbps = 0, iops = 0;      // the live rates, since the report before
  unsigned in_flight = 0;         // transfers in flight when the report was made
  std::int64_t seconds_left = 0;  // of the whole run, about
};

// What a run tells whoever watches it, on the run's own thread.
class Peak_Observer {
 public:
  virtual ~Peak_Observer() = default;
  // A test begins its warm-up; index is its place in kPeakTests.
  virtual void Test_Started(int index) = 0;
  // About four times a second while the file is written and while a test runs or pauses.
  virtual void Progress(const Peak_Progress& progress) = 0;
  // A started test ended, also after Stop or an error (a test stopped before its timed span
  // began measured nothing and is not in the run's result).
  virtual void Test_Finished(const Peak_Test_Result& result) = 0;
  // What the run does now, in a few words for a status line.
  virtual void Status(const std::string& text) = 0;
  // One line of the diagnostic log.
  virtual void Log(const std::string& line) = 0;
};

// Runs the peak tests on request.drive and returns what they measured. The folder, the file
// and every transfer are gone when it returns, whatever happened.
Peak_Result Run_Peak(const Peak_Request& request, Peak_Observer& observer, std::stop_token stop);

// The file size a run uses: the one asked, kept within 64 MiB to 64 GiB, never into the
// reserve above free_bytes, in whole MiB; 0 when less than 64 MiB fit.
std::int64_t Peak_File_Size(std::int64_t asked, std::int64_t free_bytes);
