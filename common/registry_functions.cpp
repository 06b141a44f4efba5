#include "common/registry_functions.h"

#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>

namespace fs = std::filesystem;

namespace {

// The store file: "[key]" lines open a key, then one value a line: name, type, value,
// separated by tabs, with tab, newline and backslash escaped in names and values.
using Key_Values = std::map<std::string, std::pair<std::string, std::string>>;  // name -> (type, text)
using Store = std::map<std::string, Key_Values>;

const char* const kTypeNames[] = {"unknown", "string", "expand", "integer", "binary"};

std::string Escape(const std::string& text) {
  std::string out;
  for (char c : text) {
    if (c == '\\') out += "\\\\";
    else if (c == '\t') out += "\\t";
    else if (c == '\n') out += "\\n";
    else if (c == '\r') out += "\\r";
    else out += c;
  }
  return out;
}

std::string Unescape(const std::string& text) {
  std::string out;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] != '\\' || i + 1 == text.size()) {
      out += text[i];
      continue;
    }
    char c = text[++i];
    out += c == 't' ? '\t' : c == 'n' ? '\n' : c == 'r' ? '\r' : c;
  }
  return out;
}

bool Load(Store& store) {
  std::ifstream in(Settings_File());
  if (!in) return false;
  std::string line, key;
  while (std::getline(in, line)) {
    if (line.size() >= 2 && line.front() == '[' && line.back() == ']') {
      key = Unescape(line.substr(1, line.size() - 2));
      store[key];
      continue;
    }
    std::size_t tab1 = line.find('\t');
    std::size_t tab2 = tab1 == std::string::npos ? tab1 : line.find('\t', tab1 + 1);
    if (tab2 == std::string::npos) continue;
    store[key][Unescape(line.substr(0, tab1))] = {line.substr(tab1 + 1, tab2 - tab1 - 1), Unescape(line.substr(tab2 + 1))};
  }
  return true;
}

// Writes the whole store to a new file beside the old one and renames it over, so that a
// failed write never leaves half a store.
bool Save(const Store& store) {
  std::ostringstream out;
  for (const auto& [key, values] : store) {
    out << '[' << Escape(key) << "]\n";
    for (const auto& [name, typed] : values) out << Escape(name) << '\t' << typed.first << '\t' << Escape(typed.second) << '\n';
  }
  const fs::path file = Settings_File();
  std::error_code ec;
  fs::create_directories(file.parent_path(), ec);
  const std::string temp = file.string() + ".new";
  int fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  if (fd < 0) return false;
  const std::string text = out.str();
  bool ok = ::write(fd, text.data(), text.size()) == static_cast<ssize_t>(text.size()) && ::fsync(fd) == 0;
  ok = (::close(fd) == 0) && ok;
  if (ok) ok = std::rename(temp.c_str(), file.c_str()) == 0;
  if (!ok) ::unlink(temp.c_str());
  return ok;
}

int Type_Code(const std::string& name) {
  for (int t = 1; t <= 4; ++t)
    if (name == kTypeNames[t]) return t;
  return 0;
}

std::optional<Reg_Value> Decode(int type, const std::string& text) {
  Reg_Value value;
  value.type = static_cast<Reg_Data_Type>(type);
  switch (type) {
    case REG_TYPE_STRING:
    case REG_TYPE_EXPAND:
      value.data = text;
      return value;
    case REG_TYPE_INTEGER: {
      char* end = nullptr;
      long long number = std::strtoll(text.c_str(), &end, 10);
      if (text.empty() || *end != '\0' || number < INT32_MIN || number > INT32_MAX) return std::nullopt;
      value.data = static_cast<std::int32_t>(number);
      return value;
    }
    case REG_TYPE_BINARY: {
      std::vector<std::uint8_t> bytes;
      if (text.size() % 2 != 0) return std::nullopt;
      for (std::size_t i = 0; i < text.size(); i += 2) bytes.push_back(static_cast<std::uint8_t>(std::stoi(text.substr(i, 2), nullptr, 16)));
      value.data = bytes;
      return value;
    }
    default:
      return std::nullopt;
  }
}

std::string Hex(const std::vector<std::uint8_t>& bytes) {
  std::string out;
  char digits[3];
  for (std::uint8_t b : bytes) {
    std::snprintf(digits, sizeof digits, "%02X", b);
    out += digits;
  }
  return out;
}

// The text that a value of the given type is stored as; empty optional when the value
// does not fit the type.
std::optional<std::string> Encode(int type, const Reg_Value& value) {
  if (type == REG_TYPE_STRING || type == REG_TYPE_EXPAND) {
    if (const auto* text = std::get_if<std::string>(&value.data)) return *text;
    return Reg_Value_Text(value);
  }
  if (type == REG_TYPE_INTEGER) {
    if (const auto* number = std::get_if<std::int32_t>(&value.data)) return std::to_string(*number);
    return std::nullopt;
  }
  if (type == REG_TYPE_BINARY) {
    if (const auto* bytes = std::get_if<std::vector<std::uint8_t>>(&value.data)) return Hex(*bytes);
    return std::nullopt;
  }
  return std::nullopt;
}

}  // namespace

std::string Settings_File() {
  const char* file = std::getenv("PLATTERSCOPE_SETTINGS");
  return (file != nullptr && *file != '\0') ? file : "/etc/Quillorane/Platterscope.conf";
}

std::optional<Reg_Value> Reg_Read_Value(Reg_Root_Key, const std::string& key, const std::string& name,
                                        const std::string& machine) {
  try {
    Store store;
    if (!machine.empty() || !Load(store)) return std::nullopt;
    auto k = store.find(key);
    if (k == store.end()) return std::nullopt;
    auto v = k->second.find(name);
    if (v == k->second.end()) return std::nullopt;
    return Decode(Type_Code(v->second.first), v->second.second);
  } catch (const std::exception&) {
    return std::nullopt;
  }
}

void Reg_Write_Value(Reg_Root_Key, const std::string& key, const std::string& name, Reg_Data_Type type,
                     const Reg_Value& value) {
  try {
    Store store;
    Load(store);
    int stored_type = type;
    if (type == REG_TYPE_UNKNOWN) {
      auto k = store.find(key);
      if (k == store.end() || k->second.count(name) == 0) return;
      stored_type = Type_Code(k->second[name].first);
    }
    std::optional<std::string> text = Encode(stored_type, value);
    if (!text) return;
    store[key][name] = {kTypeNames[stored_type], *text};
    Save(store);
  } catch (const std::exception&) {
    // A store that cannot be written is left as it was.
  }
}

std::string Reg_Value_Text(const std::optional<Reg_Value>& value) {
  if (!value) return "";
  if (const auto* text = std::get_if<std::string>(&value->data)) return *text;
  if (const auto* number = std::get_if<std::int32_t>(&value->data)) return std::to_string(*number);
  return Hex(std::get<std::vector<std::uint8_t>>(value->data));
}
