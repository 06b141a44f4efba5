// Numbers written with a decimal comma, by the C library and by Qt at once, as a German
// desktop has them. The C library's locale is made for the test with localedef
// (a system may have none installed besides C).
#pragma once

#include <gtest/gtest.h>

#include <clocale>
#include <cstdlib>
#include <string>

#include <QLocale>

#include "scratch_folder.h"

class Comma_Locale {
 public:
  Comma_Locale() : locpath_("LOCPATH", Folder()), old_numeric_(std::setlocale(LC_NUMERIC, nullptr)) {
    active_ = std::setlocale(LC_NUMERIC, "de_DE.UTF-8") != nullptr;
    if (!active_) ADD_FAILURE() << "no de_DE.UTF-8 locale could be made (localedef, package locales)";
    QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
  }
  Comma_Locale(const Comma_Locale&) = delete;
  Comma_Locale& operator=(const Comma_Locale&) = delete;
  ~Comma_Locale() {
    std::setlocale(LC_NUMERIC, old_numeric_.c_str());
    QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
  }
  bool active() const { return active_; }

 private:
  // The folder that holds the made locale, made once for the whole test program.
  static std::string Folder() {
    static Scratch_Folder folder;
    static const bool made = [] {
      const std::string command =
          "localedef -i de_DE -f UTF-8 '" + folder.path() + "/de_DE.UTF-8' >/dev/null 2>&1";
      return std::system(command.c_str()) == 0;
    }();
    return made ? folder.path() : std::string();
  }

  Env_Override locpath_;
  std::string old_numeric_;
  bool active_ = false;
};
