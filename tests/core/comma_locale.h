// Desktop locales for tests, set in the C library and in Qt at once: numbers with a decimal
// comma, as a German desktop has them, and with native digits, as an Egyptian one has them.
// The C library's locale is made for the test with localedef (a system may have none
// installed besides C).
#pragma once

#include <gtest/gtest.h>

#include <clocale>
#include <cstdlib>
#include <set>
#include <string>

#include <QLocale>

#include "scratch_folder.h"

class Test_Locale {
 public:
  // name: the locale as localedef knows it ("de_DE"); qt: the same for Qt.
  Test_Locale(const std::string& name, const QLocale& qt)
      : locpath_("LOCPATH", Folder(name)), old_numeric_(std::setlocale(LC_NUMERIC, nullptr)) {
    active_ = std::setlocale(LC_NUMERIC, (name + ".UTF-8").c_str()) != nullptr;
    if (!active_) ADD_FAILURE() << "no " << name << ".UTF-8 locale could be made (localedef, package locales)";
    QLocale::setDefault(qt);
  }
  Test_Locale(const Test_Locale&) = delete;
  Test_Locale& operator=(const Test_Locale&) = delete;
  ~Test_Locale() {
    std::setlocale(LC_NUMERIC, old_numeric_.c_str());
    QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
  }
  bool active() const { return active_; }

 private:
  // The folder that holds the made locales, made once for the whole test program (in /tmp:
  // a test's own $TMPDIR goes away with the test).
  static std::string Folder(const std::string& name) {
    static Scratch_Folder folder("/tmp");
    static std::set<std::string> made;
    if (made.count(name) == 0) {
      const std::string command = "localedef -i " + name + " -f UTF-8 '" + folder.path() + "/" + name +
                                  ".UTF-8' >/dev/null 2>&1";
      if (std::system(command.c_str()) != 0) return {};
      made.insert(name);
    }
    return folder.path();
  }

  Env_Override locpath_;
  std::string old_numeric_;
  bool active_ = false;
};

// A decimal comma.
class Comma_Locale : public Test_Locale {
 public:
  Comma_Locale() : Test_Locale("de_DE", QLocale(QLocale::German, QLocale::Germany)) {}
};

// Arabic-Indic digits and the Arabic decimal separator.
class Native_Digits_Locale : public Test_Locale {
 public:
  Native_Digits_Locale() : Test_Locale("ar_EG", QLocale(QLocale::Arabic, QLocale::Egypt)) {}
};
