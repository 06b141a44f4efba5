// Test entry: numbers are formatted for a pinned locale so that expectations hold on any
// machine.
#include <gtest/gtest.h>

#include <QLocale>

int main(int argc, char** argv) {
  QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
