// Entry of the tests that need a real X display (run under Xvfb): the window's pictures are
// read back from the screen. Settings, queue, banner cache and log live in a folder of their own.
#include <gtest/gtest.h>

#include <QApplication>
#include <QLocale>
#include <QTemporaryDir>

#include "app/message_browser.h"

int main(int argc, char** argv) {
  qputenv("QT_QPA_PLATFORM", "xcb");
  QTemporaryDir folder;
  if (!folder.isValid()) return 1;
  qputenv("TMPDIR", folder.path().toLocal8Bit());
  qputenv("PLATTERSCOPE_SETTINGS", (folder.path() + QStringLiteral("/Platterscope.conf")).toLocal8Bit());
  qputenv("XDG_STATE_HOME", (folder.path() + QStringLiteral("/state")).toLocal8Bit());
  qputenv("XDG_CACHE_HOME", (folder.path() + QStringLiteral("/cache")).toLocal8Bit());
  qputenv("PLATTERSCOPE_SERVER", "");
  QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
  Prepare_Message_Browser_Engine();
  QApplication application(argc, argv);
  QApplication::setQuitOnLastWindowClosed(false);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
