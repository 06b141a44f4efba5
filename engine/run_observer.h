// What a run tells whoever watches it: the window (through queued events), the runner (on
// its terminal) and the tests. Every call comes on the run's own thread, in the run's order;
// none may wait for the user or touch a widget.
#pragma once

#include <cstdint>
#include <string>

#include "common/run_result.h"

class Run_Observer {
 public:
  virtual ~Run_Observer() = default;

  // The pause after Start is over and the plan's tests are about to run: from here on the
  // plan shows no results. (A stop during the pause ends the run right after this call.)
  virtual void Tests_Begin() = 0;
  // The test at position (its index in the plan) begins.
  virtual void Test_Started(int position) = 0;
  // The test at position has counted bytes in its first seconds; a few times a second while
  // it transfers.
  virtual void Test_Progress(int position, std::int64_t bytes, double seconds) = 0;
  // The test at position is over; a rate below 0 means it ended before it measured.
  virtual void Test_Finished(int position, const Test_Result& result) = 0;
  // How far the plan has come: done of total tests, about seconds_left to go. Called when one
  // of them changes, never once the run is asked to stop.
  virtual void Progress(int done, int total, std::int64_t seconds_left) = 0;
  // What the run is doing now, one line ("Sequential Write Start..."); empty: nothing to show.
  virtual void Activity(const std::string& text) = 0;
  // A sentence for the user that needs no answer (the window's status bar), such as why a
  // test measured nothing.
  virtual void Status(const std::string& text) = 0;
  // An error the user must be told of; the run goes on without waiting.
  virtual void Error(const std::string& text) = 0;
  // One line of the diagnostic log.
  virtual void Log(const std::string& line) = 0;
};
