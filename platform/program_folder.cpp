// Listing and deleting relative to folder descriptors: every name is looked at with lstat
// semantics and removed with unlinkat, so no link is ever followed.
#include "platform/program_folder.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <vector>

#include "platform/files.h"
#include "platform/safe_files.h"

namespace platform {

namespace {

// The names of the plain files (not links, not folders, not hidden) directly in folder
// that begin with prefix; every one when prefix is empty.
std::vector<std::string> Plain_Files(const Descriptor& folder, const std::string& prefix) {
  std::vector<std::string> names;
  const int fd = ::openat(folder.native(), ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return names;
  DIR* listing = ::fdopendir(fd);
  if (listing == nullptr) {
    ::close(fd);
    return names;
  }
  while (const dirent* entry = ::readdir(listing)) {
    const std::string name = entry->d_name;
    if (name.empty() || name[0] == '.' || name.compare(0, prefix.size(), prefix) != 0) continue;
    struct stat st {};
    if (::fstatat(folder.native(), name.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0 && S_ISREG(st.st_mode))
      names.push_back(name);
  }
  ::closedir(listing);
  return names;
}

void Unlink_All(const Descriptor& folder, const std::vector<std::string>& names) {
  for (const std::string& name : names) ::unlinkat(folder.native(), name.c_str(), 0);  // a failure is tried again later
}

}  // namespace

bool Program_Folder::Open(const std::string& program_file, std::string& reason) {
  const std::string path = program_file.substr(0, program_file.rfind('/') + 1);
  struct stat program {};
  if (path.empty() || ::stat(program_file.c_str(), &program) != 0) {
    reason = "Cannot find the program file " + program_file + ": " + Error_Text(path.empty() ? ENOENT : errno);
    return false;
  }
  int error = 0;
  folder_ = Open_Folder(path, error);
  struct stat st {};
  if (!folder_.valid() || ::fstat(folder_.native(), &st) != 0) {
    reason = "Cannot open the program folder " + path + ": " + Error_Text(error != 0 ? error : errno);
    return false;
  }
  if ((st.st_mode & (S_IWGRP | S_IWOTH)) != 0) {
    folder_ = Descriptor();
    reason = "The program folder " + path + " can be written by others than its owner";
    return false;
  }
  owner_ = program.st_uid;
  return true;
}

bool Program_Folder::Has_Files(const std::string& prefix) const {
  return folder_.valid() && !Plain_Files(folder_, prefix).empty();
}

void Program_Folder::Delete_Files(const std::string& prefix) const {
  if (folder_.valid()) Unlink_All(folder_, Plain_Files(folder_, prefix));
}

bool Program_Folder::Clear_Subfolder(const std::string& name) const {
  if (!folder_.valid()) return false;
  const Descriptor sub(::openat(folder_.native(), name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
  struct stat st {};
  if (!sub.valid()) return errno == ENOENT;
  if (::fstat(sub.native(), &st) != 0 || st.st_uid != owner_) return false;
  Unlink_All(sub, Plain_Files(sub, ""));
  return ::unlinkat(folder_.native(), name.c_str(), AT_REMOVEDIR) == 0;
}

}  // namespace platform
