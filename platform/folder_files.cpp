// Folder listings, renames, mode changes and deletions relative to a folder's descriptor,
// and output files that refuse links.
#include "platform/folder_files.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <ctime>
#include <memory>

#include "platform/safe_files.h"

namespace platform {

namespace {

struct Dir_Closer {
  void operator()(DIR* dir) const { ::closedir(dir); }
};

Entry_Kind Kind_Of(const Descriptor& folder, const dirent* entry) {
  unsigned char type = entry->d_type;
  if (type == DT_UNKNOWN) {
    struct stat st {};
    if (::fstatat(folder.native(), entry->d_name, &st, AT_SYMLINK_NOFOLLOW) != 0) return Entry_Kind::Other;
    type = S_ISREG(st.st_mode) ? DT_REG : S_ISDIR(st.st_mode) ? DT_DIR : S_ISLNK(st.st_mode) ? DT_LNK : DT_UNKNOWN;
  }
  switch (type) {
    case DT_REG: return Entry_Kind::File;
    case DT_DIR: return Entry_Kind::Folder;
    case DT_LNK: return Entry_Kind::Link;
    default: return Entry_Kind::Other;
  }
}

}  // namespace

bool List_Folder(const Descriptor& folder, std::vector<Folder_Entry>& entries, int& error) {
  // The listing gets a descriptor of its own: closedir closes it, the caller's stays open.
  const int own = ::openat(folder.native(), ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  std::unique_ptr<DIR, Dir_Closer> dir(own >= 0 ? ::fdopendir(own) : nullptr);
  if (!dir) {
    error = errno;
    if (own >= 0) ::close(own);
    return false;
  }
  entries.clear();
  for (;;) {
    errno = 0;
    const dirent* entry = ::readdir(dir.get());
    if (entry == nullptr) break;
    const std::string name = entry->d_name;
    if (name == "." || name == "..") continue;
    entries.push_back({name, Kind_Of(folder, entry)});
  }
  error = errno;
  return error == 0;
}

Descriptor Open_Folder_At(const Descriptor& parent, const std::string& name, int& error) {
  const int fd = ::openat(parent.native(), name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
  error = fd < 0 ? errno : 0;
  return Descriptor(fd);
}

bool Remove_File_At(const Descriptor& folder, const std::string& name, int& error) {
  const bool removed = ::unlinkat(folder.native(), name.c_str(), 0) == 0;
  error = removed ? 0 : errno;
  return removed;
}

bool Rename_Keeping_At(const Descriptor& folder, const std::string& from, const std::string& to, int& error) {
  const bool renamed = ::renameat2(folder.native(), from.c_str(), folder.native(), to.c_str(), RENAME_NOREPLACE) == 0;
  error = renamed ? 0 : errno;
  return renamed;
}

bool Changed_Before_At(const Descriptor& folder, const std::string& name, long seconds) {
  struct stat st {};
  if (::fstatat(folder.native(), name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0) return false;
  return st.st_mtime < ::time(nullptr) - seconds;
}

bool Regular_File_At(const Descriptor& folder, const std::string& name) {
  struct stat st {};
  return ::fstatat(folder.native(), name.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0 && S_ISREG(st.st_mode);
}

bool Set_Mode_At(const Descriptor& folder, const std::string& name, mode_t mode, int& error) {
  Descriptor file = Open_Regular_File_At(folder.native(), name, error);
  if (!file.valid()) return false;
  error = ::fchmod(file.native(), mode) == 0 ? 0 : errno;
  return error == 0;
}

Descriptor Create_Output_File(const std::string& path, int& error) {
  const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_NOFOLLOW | O_CLOEXEC, 0600);
  error = fd < 0 ? errno : 0;
  return Descriptor(fd);
}

}  // namespace platform
