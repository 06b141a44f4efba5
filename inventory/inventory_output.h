// The drive list and the machine profile as text for a terminal or a script: one line per
// drive or item, or one JSON object.
#pragma once

#include <string>
#include <utility>
#include <vector>

// One line per entry of the drive list.
std::string Drive_List_Text(const std::vector<std::string>& entries);

// One "KEY=value" line per item of the profile.
std::string Profile_Text(const std::vector<std::pair<std::string, std::string>>& items);

// The profile as one JSON object, its keys in the items' order, and a line end.
std::string Profile_Json(const std::vector<std::pair<std::string, std::string>>& items);
