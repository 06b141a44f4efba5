// Files, folders and the executable's own facts.
#include <fnmatch.h>
#include <unistd.h>

#include <QLocale>
#include <QString>

#include <array>
#include <filesystem>
#include <random>
#include <stdexcept>

#include "common/clock.h"
#include "common/global_functions.h"
#include "common/log.h"
#include "platform/system.h"
#include "platform/volumes.h"

namespace fs = std::filesystem;

namespace {

// The folder ending with exactly one "/"; an empty folder stays empty (the current folder).
std::string With_Slash(std::string folder) {
  while (folder.size() > 1 && folder.back() == '/' && folder[folder.size() - 2] == '/') folder.pop_back();
  if (!folder.empty() && folder.back() != '/') folder += '/';
  return folder;
}

// Splits a wildcard path into its folder ("." when there is none) and its name mask.
void Split_Mask(const std::string& path, std::string& folder, std::string& mask) {
  const std::size_t slash = path.rfind('/');
  folder = slash == std::string::npos ? "." : path.substr(0, slash + 1);
  mask = slash == std::string::npos ? path : path.substr(slash + 1);
}

// "*" and "*.*" match every name, as users of the program expect; other masks as the shell does.
bool Mask_Matches(const std::string& name, const std::string& mask) {
  if (mask == "*" || mask == "*.*") return true;
  return ::fnmatch(mask.c_str(), name.c_str(), 0) == 0;
}

bool Is_Hidden(const std::string& name) { return !name.empty() && name[0] == '.'; }

// Not a folder and not a link to one.
bool Is_Not_Folder(const fs::directory_entry& entry) {
  std::error_code ec;
  return !entry.is_directory(ec);
}

// The entries directly in folder for which keep is true, in listing order; nothing when the
// folder cannot be listed.
template <typename Keep>
std::vector<fs::directory_entry> Entries(const std::string& folder, Keep keep) {
  std::vector<fs::directory_entry> found;
  std::error_code ec;
  for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec))
    if (keep(*it)) found.push_back(*it);
  return found;
}

std::vector<fs::directory_entry> Plain_Files(const std::string& folder, const std::string& mask) {
  return Entries(folder, [&](const fs::directory_entry& entry) {
    const std::string name = entry.path().filename().string();
    return !Is_Hidden(name) && Mask_Matches(name, mask) && Is_Not_Folder(entry);
  });
}

void Delete_Plain_Files(const std::string& folder, const std::string& mask) {
  for (const auto& entry : Plain_Files(folder, mask)) {
    std::error_code ec;
    fs::remove(entry.path(), ec);  // a file that will not go is left for the caller's check
  }
}

void Collect_Files(std::vector<std::string>& list, const std::string& folder, const std::string& mask,
                   const Message_Pump& pump) {
  const std::string base = With_Slash(folder);
  for (const auto& entry : fs::directory_iterator(base)) {
    const std::string name = entry.path().filename().string();
    if (Is_Not_Folder(entry) && Mask_Matches(name, mask)) list.push_back(base + name);
  }
  if (pump) pump();
  std::vector<std::string> sub_folders;
  for (const auto& entry : fs::directory_iterator(base)) {
    const std::string name = entry.path().filename().string();
    std::error_code ec;
    if (!Is_Hidden(name) && !entry.is_symlink(ec) && entry.is_directory(ec)) sub_folders.push_back(base + name);
  }
  if (pump) pump();
  for (const auto& sub_folder : sub_folders) Collect_Files(list, sub_folder, mask, pump);
}

bool Entry_Exists(const std::string& path) {
  std::error_code ec;
  return fs::exists(fs::symlink_status(path, ec));
}

std::string Trimmed(const std::string& text) { return QString::fromUtf8(text).trimmed().toStdString(); }

std::string Trimmed_Lower(const std::string& text) {
  return QString::fromUtf8(text).trimmed().toLower().toStdString();
}

}  // namespace

std::int64_t Get_File_Size(const std::string& path, bool kilobytes) {
  std::string folder, mask;
  Split_Mask(path, folder, mask);
  const auto found = Entries(folder, [&](const fs::directory_entry& entry) {
    return Mask_Matches(entry.path().filename().string(), mask);
  });
  if (found.empty()) return 0;
  std::error_code ec;
  std::int64_t size = 0;
  if (found.front().is_regular_file(ec)) {
    const auto bytes = found.front().file_size(ec);
    if (!ec) size = static_cast<std::int64_t>(bytes);
  }
  return kilobytes && size > 1024 ? size / 1024 : size;
}

std::int64_t Get_Disk_Free(const std::string& path) {
  if (path.empty()) return -1;
  return platform::Disk_Free_Bytes(path);
}

std::string Make_Unique_Name(std::string folder, const std::string& prefix, const std::string& extension) {
  folder = With_Slash(folder);
  // File names (the queue's, the run's) are ASCII digits in any locale.
  QLocale locale = QLocale::c();
  locale.setNumberOptions(QLocale::OmitGroupSeparator);
  thread_local std::mt19937 generator(std::random_device{}());
  std::uniform_int_distribution<int> extra(0, 999);
  for (;;) {
    const double julian_day = Now() + 2415018.5 + extra(generator);
    QString digits = locale.toString(julian_day, 'g', 15);
    digits.remove(QLatin1Char('.'));
    std::string name = folder + prefix + digits.toStdString() + extension;
    if (!Entry_Exists(name)) return name;
  }
}

bool Clear_Folder(std::string folder, const std::string& mask, bool remove) {
  if (folder.empty()) return false;
  folder = With_Slash(folder);
  Delete_Plain_Files(folder, mask);
  if (remove) return ::rmdir(folder.c_str()) == 0;
  return Plain_Files(folder, mask).empty();
}

void Delete_Folder_Files(const std::string& folder, const std::string& mask) {
  if (!folder.empty()) Delete_Plain_Files(With_Slash(folder), mask);
}

bool Matching_File_Exists(const std::string& mask) {
  std::string folder, name_mask;
  Split_Mask(mask, folder, name_mask);
  // A hidden file counts only when the mask itself names hidden files.
  const bool hidden_too = Is_Hidden(name_mask);
  return !Entries(folder, [&](const fs::directory_entry& entry) {
            const std::string name = entry.path().filename().string();
            return (hidden_too || !Is_Hidden(name)) && Mask_Matches(name, name_mask) && Is_Not_Folder(entry);
          }).empty();
}

bool Find_Files(std::vector<std::string>& list, std::string folder, const std::string& mask,
                const Message_Pump& pump) {
  try {
    if (folder.empty()) throw std::invalid_argument("no folder given to search for files");
    Collect_Files(list, folder, mask, pump);
    return true;
  } catch (const std::exception& error) {
    Write_Log(Error_Line(error));
    return false;
  }
}

// ---- the executable's own facts ----

std::string Get_Application_File() { return Trimmed(platform::Executable_Path()); }

std::string Get_Application_Folder() {
  const std::string file = Get_Application_File();
  const std::size_t slash = file.rfind('/');
  return slash == std::string::npos ? std::string() : file.substr(0, slash + 1);
}

std::string Get_File_Version(int fields, const std::string& file) {
  try {
    const int count = fields == 0 ? 4 : fields;
    if (count < 1 || count > 4) return {};
    std::array<std::uint16_t, 4> version{};
    if (!platform::Read_Version_Note(file.empty() ? Get_Application_File() : file, version)) return {};
    std::string text = std::to_string(version[0]);
    for (int i = 1; i < count; ++i) {
      text += '.';
      text += std::to_string(version[static_cast<std::size_t>(i)]);
    }
    return text;
  } catch (const std::exception& error) {
    Write_Log(Error_Line(error));
    return {};
  }
}

std::string Get_Temp_Folder() { return With_Slash(platform::Temp_Folder()); }

std::string Get_Computer_Name() { return Trimmed_Lower(platform::Computer_Name()); }

std::string Get_User_Name() { return Trimmed_Lower(platform::User_Name()); }
