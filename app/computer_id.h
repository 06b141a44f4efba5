// The installation's computer identifier and the program's entries in the settings store.
#pragma once

#include <QDateTime>
#include <string>

// A new identifier from a local time: yyyyMMddhhmmsszzz, 17 digits.
std::string New_Computer_Id(const QDateTime& now);

// Records the program's file and folder when the executable is the program's own, then
// reads the computer identifier, making and storing a new one when none can be read.
std::string Load_Computer_Id(const std::string& application_file, const std::string& application_folder);
