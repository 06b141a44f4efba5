// Small readers that the inventory's parts share: trimmed sysfs attributes and numbers,
// folder listings in kernel order, the host's name and type, and the udev database.
#include <libudev.h>
#include <sys/utsname.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <system_error>

#include "platform/linux_inventory_parts.h"

namespace platform::linux_parts {

namespace {

// Orders device names as the kernel numbers them: sdb before sdaa, nvme2n1 before nvme10n1.
bool Natural_Less(const std::string& a, const std::string& b) {
  auto letters = [](const std::string& s) {
    std::size_t n = 0;
    while (n < s.size() && !std::isdigit(static_cast<unsigned char>(s[n]))) ++n;
    return n;
  };
  std::size_t la = letters(a), lb = letters(b);
  if (la != lb) return la < lb;
  std::size_t i = 0, j = 0;
  while (i < a.size() && j < b.size()) {
    bool da = std::isdigit(static_cast<unsigned char>(a[i])), db = std::isdigit(static_cast<unsigned char>(b[j]));
    if (da && db) {
      std::size_t ei = i, ej = j;
      while (ei < a.size() && std::isdigit(static_cast<unsigned char>(a[ei]))) ++ei;
      while (ej < b.size() && std::isdigit(static_cast<unsigned char>(b[ej]))) ++ej;
      std::string na = a.substr(i, ei - i), nb = b.substr(j, ej - j);
      na.erase(0, std::min(na.find_first_not_of('0'), na.size()));
      nb.erase(0, std::min(nb.find_first_not_of('0'), nb.size()));
      if (na.size() != nb.size()) return na.size() < nb.size();
      if (na != nb) return na < nb;
      i = ei;
      j = ej;
    } else {
      if (a[i] != b[j]) return a[i] < b[j];
      ++i;
      ++j;
    }
  }
  return a.size() - i < b.size() - j;
}

}  // namespace

std::string Trim(const std::string& text) {
  std::size_t first = 0, last = text.size();
  auto blank = [](char c) { return static_cast<unsigned char>(c) <= ' '; };
  while (first < last && blank(text[first])) ++first;
  while (last > first && blank(text[last - 1])) --last;
  return text.substr(first, last - first);
}

std::string Collapse_Blanks(const std::string& text) {
  std::string out;
  for (char c : Trim(text)) {
    bool blank = static_cast<unsigned char>(c) <= ' ';
    if (blank && !out.empty() && out.back() == ' ') continue;
    out += blank ? ' ' : c;
  }
  return out;
}

std::string Read_Attribute(const fs::path& file) {
  std::ifstream in(file, std::ios::binary);
  if (!in) return "";
  std::string text(4096, '\0');
  in.read(text.data(), static_cast<std::streamsize>(text.size()));
  text.resize(static_cast<std::size_t>(in.gcount()));
  return Trim(text);
}

bool To_Number(const std::string& text, std::int64_t& value) {
  const std::string trimmed = Trim(text);
  if (trimmed.empty()) return false;
  errno = 0;
  char* end = nullptr;
  long long parsed = std::strtoll(trimmed.c_str(), &end, 0);
  if (errno != 0 || end == nullptr || *end != '\0') return false;
  value = parsed;
  return true;
}

bool Read_Number(const fs::path& file, std::int64_t& value) { return To_Number(Read_Attribute(file), value); }

bool Starts_With(const std::string& text, const std::string& prefix) { return text.rfind(prefix, 0) == 0; }

bool Is_Under(const std::string& path, const std::string& folder) {
  return path == folder || Starts_With(path, folder + "/");
}

std::string Decode_Udev(const std::string& text) {
  std::string out;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\\' && i + 3 < text.size() && text[i + 1] == 'x' && std::isxdigit(static_cast<unsigned char>(text[i + 2])) &&
        std::isxdigit(static_cast<unsigned char>(text[i + 3]))) {
      out += static_cast<char>(std::stoi(text.substr(i + 2, 2), nullptr, 16));
      i += 3;
    } else {
      out += text[i];
    }
  }
  return out;
}

std::vector<std::string> Folder_Names(const fs::path& folder) {
  std::vector<std::string> names;
  std::error_code ec;
  for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec))
    names.push_back(it->path().filename().string());
  std::sort(names.begin(), names.end(), Natural_Less);
  return names;
}

fs::path Resolve(const fs::path& path) {
  std::error_code ec;
  fs::path real = fs::canonical(path, ec);
  return ec ? fs::path() : real;
}

std::string Host_Name() {
  char name[256] = {};
  if (::gethostname(name, sizeof name - 1) != 0) return "";
  return Trim(name);
}

std::string Machine_Type() {
  struct utsname u {};
  return ::uname(&u) == 0 ? std::string(u.machine) : std::string();
}

// ---- udev ----

Udev_Context::Udev_Context(bool use) : udev_(use ? udev_new() : nullptr) {}

Udev_Context::~Udev_Context() {
  if (udev_ != nullptr) udev_unref(udev_);
}

Udev_Properties Udev_Context::Properties(const fs::path& sys_path) const {
  Udev_Properties properties;
  if (udev_ == nullptr || sys_path.empty()) return properties;
  std::unique_ptr<udev_device, udev_device* (*)(udev_device*)> device(
      udev_device_new_from_syspath(udev_, sys_path.c_str()), udev_device_unref);
  if (!device) return properties;
  udev_list_entry* entry = nullptr;
  udev_list_entry_foreach(entry, udev_device_get_properties_list_entry(device.get())) {
    const char* name = udev_list_entry_get_name(entry);
    const char* value = udev_list_entry_get_value(entry);
    if (name != nullptr && value != nullptr) properties[name] = value;
  }
  return properties;
}

std::string First_Of(const Udev_Properties& properties, std::initializer_list<const char*> names) {
  for (const char* name : names) {
    auto found = properties.find(name);
    if (found == properties.end()) continue;
    std::string value = Trim(std::string(name).ends_with("_ENC") ? Decode_Udev(found->second) : found->second);
    if (!value.empty()) return value;
  }
  return "";
}

std::string First_Attribute(const fs::path& folder, std::initializer_list<const char*> names) {
  for (const char* name : names) {
    std::string value = Read_Attribute(folder / name);
    if (!value.empty()) return value;
  }
  return "";
}

}  // namespace platform::linux_parts
