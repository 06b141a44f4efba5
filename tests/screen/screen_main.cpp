// Entry of the tests that look at what an X server shows (run under Xvfb): the real xcb
// platform instead of offscreen, numbers in a pinned locale, the log and the settings store
// in a folder of their own.
#include <gtest/gtest.h>
#include <unistd.h>

#include <QApplication>
#include <QLocale>
#include <QTemporaryDir>

#include "app/message_browser.h"

int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  if (qEnvironmentVariableIsEmpty("DISPLAY")) {
    std::printf("No X display: the screen tests run under xvfb-run (see tests/CMakeLists.txt).\n");
    return 0;
  }
  qputenv("QT_QPA_PLATFORM", "xcb");
  QTemporaryDir folder;
  if (folder.isValid()) {
    qputenv("TMPDIR", folder.path().toLocal8Bit());
    qputenv("XDG_STATE_HOME", (folder.path() + QStringLiteral("/state")).toLocal8Bit());
    qputenv("XDG_CACHE_HOME", (folder.path() + QStringLiteral("/cache")).toLocal8Bit());
    qputenv("PLATTERSCOPE_SETTINGS", (folder.path() + QStringLiteral("/Platterscope.conf")).toLocal8Bit());
  }
  // No test talks to the real results server; each sets the loopback one it needs.
  qputenv("PLATTERSCOPE_SERVER", "");
  // The tests drive the web engine themselves, also as root (in CI), where the program never
  // uses it; the engine's sandbox cannot start for root.
  if (::geteuid() == 0) qputenv("QTWEBENGINE_DISABLE_SANDBOX", "1");
  QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
  Prepare_Message_Browser_Engine();
  QApplication application(argc, argv);
  QApplication::setQuitOnLastWindowClosed(false);
  return RUN_ALL_TESTS();
}
