// The settings store in one text file: values read and written line by line, the file
// replaced whole through the platform's safe writes.
#include "common/registry_functions.h"

#include <sys/stat.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <mutex>
#include <optional>
#include <vector>

#include "common/log.h"
#include "platform/files.h"
#include "platform/safe_files.h"
#include "platform/trusted_folders.h"

namespace fs = std::filesystem;

namespace {

// The store file: "[key]" lines open a key, then one value a line: name, type, value,
// separated by tabs, with tab, newline and backslash escaped in names and values. Lines of
// any other form (comments, lines written by hand) are kept as they are.
const char* const kTypeNames[] = {"unknown", "string", "expand", "integer", "binary"};
constexpr mode_t kFolderMode = 0755;
constexpr mode_t kStoreMode = 0644;  // meant to be read by every user
// A store holds a few short lines; one larger than this was not made by the program.
constexpr std::size_t kMaxStoreBytes = 1 << 20;

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

struct Stored {
  std::string type, text;
};

// The store's text as lines; a value is read and written in its own line only.
class Store_Lines {
 public:
  explicit Store_Lines(const std::string& text) {
    std::size_t from = 0;
    while (from < text.size()) {
      std::size_t end = text.find('\n', from);
      if (end == std::string::npos) end = text.size();
      lines_.push_back(text.substr(from, end - from));
      from = end + 1;
    }
  }

  // The value's last line, if it has one.
  std::optional<Stored> Find(const std::string& key, const std::string& name) const {
    const std::size_t at = Value_Line(key, name);
    if (at == kNone) return std::nullopt;
    const std::string& line = lines_[at];
    const std::size_t tab1 = line.find('\t'), tab2 = line.find('\t', tab1 + 1);
    return Stored{line.substr(tab1 + 1, tab2 - tab1 - 1), Unescape(line.substr(tab2 + 1))};
  }

  // Replaces the value's line, or adds one at the end of its key, or the key at the end.
  void Set(const std::string& key, const std::string& name, const Stored& value) {
    const std::string line = Escape(name) + '\t' + value.type + '\t' + Escape(value.text);
    if (const std::size_t at = Value_Line(key, name); at != kNone) {
      lines_[at] = line;
      return;
    }
    std::size_t last = kNone;
    Each_Line([&](std::size_t i, const std::string& in_key, bool) {
      if (in_key == key) last = i;
    });
    if (last == kNone) {
      lines_.push_back('[' + Escape(key) + ']');
      lines_.push_back(line);
    } else {
      lines_.insert(lines_.begin() + static_cast<std::ptrdiff_t>(last) + 1, line);
    }
  }

  std::string Text() const {
    std::string text;
    for (const std::string& line : lines_) text += line + '\n';
    return text;
  }

 private:
  static constexpr std::size_t kNone = static_cast<std::size_t>(-1);

  static bool Is_Key_Line(const std::string& line) { return line.size() >= 2 && line.front() == '[' && line.back() == ']'; }

  // Calls each(index, key of the line, whether it is a value line) for every line after the
  // first key line.
  template <typename Each>
  void Each_Line(Each each) const {
    std::optional<std::string> key;
    for (std::size_t i = 0; i < lines_.size(); ++i) {
      const std::string& line = lines_[i];
      if (Is_Key_Line(line)) key = Unescape(line.substr(1, line.size() - 2));
      const std::size_t tab1 = line.find('\t');
      const bool value = !Is_Key_Line(line) && tab1 != std::string::npos && line.find('\t', tab1 + 1) != std::string::npos;
      if (key) each(i, *key, value);
    }
  }

  std::size_t Value_Line(const std::string& key, const std::string& name) const {
    std::size_t found = kNone;
    Each_Line([&](std::size_t i, const std::string& in_key, bool value) {
      if (value && in_key == key && Unescape(lines_[i].substr(0, lines_[i].find('\t'))) == name) found = i;
    });
    return found;
  }

  std::vector<std::string> lines_;
};

std::string Store_Folder() {
  const std::string folder = fs::path(Settings_File()).parent_path().string();
  return folder.empty() ? "." : folder;
}

std::string Store_Name() { return fs::path(Settings_File()).filename().string(); }

// Why the store file cannot be taken, in the user's words.
std::string Unreadable_Store(int error) {
  if (error == ELOOP) return "it is a link, not the store itself";
  if (error == EINVAL) return "it is not a plain file (a folder, a pipe or a device)";
  if (error == EFBIG) return "it is larger than 1 MiB: it is neither read nor rewritten";
  return "Cannot read it: " + platform::Error_Text(error);
}

// Says once in the log that the store is too large to be used.
void Log_Too_Large(int error) {
  static std::atomic<bool> told{false};
  if (error == EFBIG && !told.exchange(true))
    Write_Log("The settings store " + Settings_File() + ": " + Unreadable_Store(error));
}

// Reads the store's text from its folder; a missing store reads as empty. A store above
// kMaxStoreBytes is refused (EFBIG) after reading no more than that.
bool Load(const platform::Descriptor& folder, std::string& text, int& error) {
  if (platform::Read_File_At(folder, Store_Name(), text, error, kMaxStoreBytes + 1)) {
    if (text.size() <= kMaxStoreBytes) return true;
    error = EFBIG;
  }
  text.clear();
  Log_Too_Large(error);
  return error == ENOENT;
}

// The store's folder for a write: made 0755 whatever the umask, reached only through folders
// of the user's or root's, and refused when anyone but its owner could add or replace a file
// in it.
platform::Trusted_Folder Open_Folder_For_Writing() {
  std::error_code ec;
  const std::string folder = fs::absolute(Store_Folder(), ec).lexically_normal().string();
  return platform::Open_Trusted_Folder(folder, kFolderMode);
}

// Replaces the store with text, whole or not at all; the new file keeps the old one's mode
// when the old one is the user's own.
bool Save(const platform::Descriptor& folder, const std::string& text, std::string& reason) {
  mode_t mode = kStoreMode;
  platform::Kept_Mode_At(folder, Store_Name(), mode);
  return platform::Write_File_Atomically(folder, Store_Name(), text, mode, reason);
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

// Why the last write of this process left the store as it was.
std::mutex last_failure_guard;
std::string last_failure;

// Writes the value into the store; false with the reason when the store stays as it was.
bool Write_Value(const std::string& key, const std::string& name, Reg_Data_Type type, const Reg_Value& value,
                 std::string& reason) {
  const platform::Trusted_Folder folder = Open_Folder_For_Writing();
  if (!folder.folder.valid()) {
    reason = folder.reason;
    return false;
  }
  std::string text;
  int error = 0;
  // A store that exists but cannot be read is left alone rather than replaced.
  if (!Load(folder.folder, text, error)) {
    reason = Unreadable_Store(error);
    return false;
  }
  Store_Lines store(text);
  int stored_type = type;
  if (type == REG_TYPE_UNKNOWN) {
    const std::optional<Stored> stored = store.Find(key, name);
    if (!stored) {
      reason = name + " has no stored type to keep";
      return false;
    }
    stored_type = Type_Code(stored->type);
  }
  std::optional<std::string> encoded = Encode(stored_type, value);
  if (!encoded) {
    reason = "the value of " + name + " does not fit its type";
    return false;
  }
  store.Set(key, name, {kTypeNames[stored_type], *encoded});
  return Save(folder.folder, store.Text(), reason);
}

}  // namespace

std::string Settings_File() {
  const char* file = std::getenv("PLATTERSCOPE_SETTINGS");
  return (file != nullptr && *file != '\0') ? file : "/etc/Quillorane/Platterscope.conf";
}

std::optional<Reg_Value> Reg_Read_Value(Reg_Root_Key, const std::string& key, const std::string& name,
                                        const std::string& machine) {
  try {
    if (!machine.empty()) return std::nullopt;
    int error = 0;
    const platform::Descriptor folder = platform::Open_Folder(Store_Folder(), error);
    std::string text;
    if (!folder.valid() || !Load(folder, text, error)) return std::nullopt;
    const std::optional<Stored> stored = Store_Lines(text).Find(key, name);
    if (!stored) return std::nullopt;
    return Decode(Type_Code(stored->type), stored->text);
  } catch (const std::exception&) {
    return std::nullopt;
  }
}

void Reg_Write_Value(Reg_Root_Key, const std::string& key, const std::string& name, Reg_Data_Type type,
                     const Reg_Value& value) {
  std::string reason;
  try {
    if (Write_Value(key, name, type, value, reason)) reason.clear();
  } catch (const std::exception& error) {
    reason = error.what();  // a store that cannot be written is left as it was
  }
  const std::lock_guard<std::mutex> lock(last_failure_guard);
  last_failure = reason;
}

std::string Reg_Last_Write_Failure() {
  const std::lock_guard<std::mutex> lock(last_failure_guard);
  return last_failure;
}

std::string Reg_Value_Text(const std::optional<Reg_Value>& value) {
  if (!value) return "";
  if (const auto* text = std::get_if<std::string>(&value->data)) return *text;
  if (const auto* number = std::get_if<std::int32_t>(&value->data)) return std::to_string(*number);
  return Hex(std::get<std::vector<std::uint8_t>>(value->data));
}
