// The drive list and the machine profile as text for a terminal or a script: one line per
// drive or item, or one JSON object.
#pragma once

#include <string>
#include <utility>
#include <vector>

// One line per entry of the drive list; control characters in an entry are written as
// escapes ("\n", "\x1B"), so that a mount point or label cannot make a second line.
std::string Drive_List_Text(const std::vector<std::string>& entries);

// One "KEY=value" line per item of the profile, escaped the same way.
std::string Profile_Text(const std::vector<std::pair<std::string, std::string>>& items);

// The profile as one JSON object, its keys in the items' order, and a line end; bytes that
// are no UTF-8 are written as U+FFFD.
std::string Profile_Json(const std::vector<std::pair<std::string, std::string>>& items);
