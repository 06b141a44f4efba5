// Entry of the server tests: rates are written for a pinned locale, as in the core tests.
#include <gtest/gtest.h>

#include <QLocale>

int main(int argc, char** argv) {
  QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
