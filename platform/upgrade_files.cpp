// Folder checks on the way down from "/" with openat and fstat on what was opened, and the
// installer's descriptor reopened through /proc/self/fd.
#include "platform/upgrade_files.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/utsname.h>
#include <unistd.h>

#include <cerrno>
#include <sstream>
#include <vector>

#include "platform/files.h"

namespace platform {

namespace {

// Why the open folder at path may not lead to an installer, or empty.
std::string Untrusted(const Descriptor& folder, const std::string& path, uid_t owner, bool last) {
  struct stat info {};
  if (::fstat(folder.native(), &info) != 0) return "Cannot examine " + path + ": " + Error_Text(errno);
  if (info.st_uid != 0 && info.st_uid != owner)
    return path + " belongs to user " + std::to_string(info.st_uid) + ", neither root nor the program's owner";
  if ((info.st_mode & (S_IWGRP | S_IWOTH)) == 0) return {};
  if (!last && info.st_uid == 0 && (info.st_mode & S_ISVTX) != 0) return {};
  return path + " can be written by others than its owner";
}

}  // namespace

std::string Machine_Name() {
  struct utsname names {};
  return ::uname(&names) == 0 ? std::string(names.machine) : std::string();
}

bool File_Owner(const std::string& path, uid_t& owner, int& error) {
  struct stat info {};
  if (::stat(path.c_str(), &info) != 0) {
    error = errno;
    return false;
  }
  owner = info.st_uid;
  return true;
}

Descriptor Open_Installer_Folder(const std::string& folder_path, uid_t owner, std::string& why) {
  if (folder_path.empty() || folder_path[0] != '/') {
    why = "\"" + folder_path + "\" is not an absolute path";
    return {};
  }
  std::vector<std::string> names;
  std::stringstream parts(folder_path);
  for (std::string name; std::getline(parts, name, '/');)
    if (!name.empty()) names.push_back(name);
  Descriptor folder(::open("/", O_PATH | O_DIRECTORY | O_CLOEXEC));
  std::string path = "/";
  for (std::size_t k = 0;; ++k) {
    const bool last = k == names.size();
    if (!folder.valid()) {
      why = "Cannot open " + path + ": " + Error_Text(errno);
      return {};
    }
    if (!(why = Untrusted(folder, path, owner, last)).empty()) return {};
    if (last) break;
    if (names[k] == "." || names[k] == "..") {
      why = "\"" + folder_path + "\" is not a plain path";
      return {};
    }
    const int flags = (k + 1 == names.size() ? O_RDONLY : O_PATH) | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC;
    folder = Descriptor(::openat(folder.native(), names[k].c_str(), flags));
    path += (path.size() > 1 ? "/" : "") + names[k];
  }
  return folder;
}

Descriptor Create_Exclusive_At(const Descriptor& folder, const std::string& name, int& error) {
  Descriptor file(::openat(folder.native(), name.c_str(), O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600));
  if (!file.valid()) error = errno;
  return file;
}

Descriptor Reopen_Read_Only(const Descriptor& file, int& error) {
  const std::string own = "/proc/self/fd/" + std::to_string(file.native());
  Descriptor reading(::open(own.c_str(), O_RDONLY | O_CLOEXEC));
  if (!reading.valid()) error = errno;
  return reading;
}

bool Set_File_Mode(const Descriptor& file, mode_t mode, int& error) {
  if (::fchmod(file.native(), mode) == 0) return true;
  error = errno;
  return false;
}

}  // namespace platform
