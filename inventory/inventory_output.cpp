// Text and JSON forms of the drive list and the machine profile.
#include "inventory/inventory_output.h"

#include <cstdio>

namespace {

std::string Json_Text(const std::string& text) {
  std::string out = "\"";
  for (unsigned char c : text) {
    if (c == '"' || c == '\\') {
      out += '\\';
      out += static_cast<char>(c);
    } else if (c < 0x20) {
      char escaped[8];
      std::snprintf(escaped, sizeof escaped, "\\u%04x", c);
      out += escaped;
    } else {
      out += static_cast<char>(c);
    }
  }
  return out + "\"";
}

}  // namespace

std::string Drive_List_Text(const std::vector<std::string>& entries) {
  std::string text;
  for (const auto& entry : entries) text += entry + "\n";
  return text;
}

std::string Profile_Text(const std::vector<std::pair<std::string, std::string>>& items) {
  std::string text;
  for (const auto& [key, value] : items) text += key + "=" + value + "\n";
  return text;
}

std::string Profile_Json(const std::vector<std::pair<std::string, std::string>>& items) {
  std::string text = "{";
  for (std::size_t i = 0; i < items.size(); ++i)
    text += (i == 0 ? "" : ",") + Json_Text(items[i].first) + ":" + Json_Text(items[i].second);
  return text + "}\n";
}
