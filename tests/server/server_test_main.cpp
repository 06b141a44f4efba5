// Entry of the server tests: rates are written for a pinned locale, as in the core tests,
// and the open-file limit is raised for the tests that hold a thousand connections.
#include <gtest/gtest.h>

#include <sys/resource.h>

#include <QLocale>

int main(int argc, char** argv) {
  QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
  rlimit files{};
  if (::getrlimit(RLIMIT_NOFILE, &files) == 0) {
    files.rlim_cur = files.rlim_max;
    ::setrlimit(RLIMIT_NOFILE, &files);
  }
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
