// Text and JSON forms of the drive list and the machine profile. Mount points and labels
// come from whoever made the file system, so each is kept to its own line, and JSON to
// valid UTF-8.
#include "inventory/inventory_output.h"

#include "common/plain_text.h"

std::string Drive_List_Text(const std::vector<std::string>& entries) {
  std::string text;
  for (const auto& entry : entries) text += One_Line_Text(entry) + "\n";
  return text;
}

std::string Profile_Text(const std::vector<std::pair<std::string, std::string>>& items) {
  std::string text;
  for (const auto& [key, value] : items) text += One_Line_Text(key + "=" + value) + "\n";
  return text;
}

std::string Profile_Json(const std::vector<std::pair<std::string, std::string>>& items) {
  std::string text = "{";
  for (std::size_t i = 0; i < items.size(); ++i) {
    if (i > 0) text += ",";
    text += Json_String(items[i].first) + ":" + Json_String(items[i].second);
  }
  return text + "}\n";
}
