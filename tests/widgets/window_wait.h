// Waits of the window tests: the window's thread serves its events meanwhile, as the
// program's event loop would, so that what the transfer worker posts arrives.
#pragma once

#include <functional>

#include <QElapsedTimer>
#include <QTest>

#include "app/main_form.h"

// Serves events until done() holds or ms have passed; done() at the end.
inline bool Serve_Until(const std::function<bool()>& done, int ms = 15000) {
  QElapsedTimer timer;
  timer.start();
  while (!done() && timer.elapsed() < ms) QTest::qWait(5);
  return done();
}

// Runs the start-up sequence to its end, transfers included.
inline bool Activate_And_Wait(TMainForm& form) {
  form.FormActivate();
  return Serve_Until([&] { return !form.Startup_Going(); });
}

// Waits for the transfer going on (a report) and what it shows.
inline bool Transfers_Over(TMainForm& form) {
  return Serve_Until([&] { return !form.Transfer_Going(); });
}
