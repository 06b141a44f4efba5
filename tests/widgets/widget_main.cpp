// Entry of the window tests: an offscreen application, numbers in a pinned locale, and the
// diagnostic log kept in a folder of its own.
#include <gtest/gtest.h>

#include <QApplication>
#include <QLocale>
#include <QTemporaryDir>

#include "app/message_browser.h"

int main(int argc, char** argv) {
  // Test discovery runs this program too, so the platform is chosen here and not only by
  // the test's environment.
  qputenv("QT_QPA_PLATFORM", "offscreen");
  QTemporaryDir log_folder;
  if (log_folder.isValid()) {
    qputenv("TMPDIR", log_folder.path().toLocal8Bit());
    // The settings store of the tests is theirs alone, never the machine's.
    qputenv("PLATTERSCOPE_SETTINGS", (log_folder.path() + QStringLiteral("/Platterscope.conf")).toLocal8Bit());
    // So is the report queue; and no test reports to the real results server.
    qputenv("XDG_STATE_HOME", (log_folder.path() + QStringLiteral("/state")).toLocal8Bit());
    qputenv("PLATTERSCOPE_SERVER", "");
  }
  QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
  Prepare_Message_Browser_Engine();
  QApplication application(argc, argv);
  QApplication::setQuitOnLastWindowClosed(false);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
