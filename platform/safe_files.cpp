#include "platform/safe_files.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <random>

#include "platform/files.h"

namespace platform {

Descriptor Open_Regular_File_At(int folder, const std::string& name, int& error) {
  Descriptor file(::openat(folder, name.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
  struct stat st {};
  if (!file.valid() || ::fstat(file.native(), &st) != 0) {
    error = errno;
    return Descriptor();
  }
  if (!S_ISREG(st.st_mode)) {
    error = EINVAL;
    return Descriptor();
  }
  error = 0;
  return file;
}

bool Write_All(int fd, std::string_view data, int& error) {
  std::size_t done = 0;
  while (done < data.size()) {
    const ssize_t n = ::write(fd, data.data() + done, data.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      error = n < 0 ? errno : ENOSPC;  // a write that takes nothing means there is no room
      errno = error;
      return false;
    }
    done += static_cast<std::size_t>(n);
  }
  error = 0;
  return true;
}

namespace {

std::string Random_Suffix() {
  static std::random_device device;
  static const char kDigits[] = "0123456789abcdefghijklmnopqrstuvwxyz";
  std::string text;
  for (int i = 0; i < 12; ++i) text += kDigits[device() % 36];
  return text;
}

bool Write_Whole(int fd, std::string_view data) {
  int error = 0;
  return Write_All(fd, data, error);
}

// Creates a new file of a random name in folder, exclusively and never through a link.
Descriptor Create_Temporary(const Descriptor& folder, const std::string& name, std::string& temp) {
  for (int attempt = 0; attempt < 16; ++attempt) {
    temp = "." + name + "." + Random_Suffix() + ".tmp";
    const int fd = ::openat(folder.native(), temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (fd >= 0 || errno != EEXIST) return Descriptor(fd);
  }
  errno = EEXIST;
  return Descriptor();
}

// Gives temp its final name; with keep set an existing name is never replaced (renameat2
// where the file system has it, otherwise a hard link, which never replaces either).
bool Rename_Into_Place(const Descriptor& folder, const std::string& temp, const std::string& name, bool keep) {
  if (!keep) return ::renameat(folder.native(), temp.c_str(), folder.native(), name.c_str()) == 0;
  if (::renameat2(folder.native(), temp.c_str(), folder.native(), name.c_str(), RENAME_NOREPLACE) == 0) return true;
  if (errno != EINVAL && errno != ENOSYS) return false;
  if (::linkat(folder.native(), temp.c_str(), folder.native(), name.c_str(), 0) != 0) return false;
  ::unlinkat(folder.native(), temp.c_str(), 0);
  return true;
}

// Hands the first limit bytes of a regular file to sink. Not blocking, so that a pipe put in
// the file's place cannot hold the reader up; a link in its place is refused.
bool Read_Blocks(int folder, const std::string& name, const Block_Sink& sink, int& error, std::size_t limit) {
  Descriptor file = Open_Regular_File_At(folder, name, error);
  if (!file.valid()) return false;
  char block[65536];
  for (std::size_t done = 0; done < limit;) {
    const ssize_t n = ::read(file.native(), block, std::min(sizeof block, limit - done));
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      error = errno;
      return false;
    }
    if (n == 0) break;
    sink(block, static_cast<std::size_t>(n));
    done += static_cast<std::size_t>(n);
  }
  error = 0;
  return true;
}

}  // namespace

Descriptor Open_Folder(const std::string& path, int& error) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
  error = fd < 0 ? errno : 0;
  return Descriptor(fd);
}

bool Folder_Is_Private(const Descriptor& folder) {
  struct stat st {};
  if (::fstat(folder.native(), &st) != 0 || !S_ISDIR(st.st_mode)) return false;
  return (st.st_uid == ::geteuid() || st.st_uid == 0) && (st.st_mode & (S_IWGRP | S_IWOTH)) == 0;
}

bool Folder_Is_Owner_Only(const Descriptor& folder) {
  struct stat st {};
  if (::fstat(folder.native(), &st) != 0 || !S_ISDIR(st.st_mode)) return false;
  return (st.st_mode & (S_IWGRP | S_IWOTH)) == 0 || (st.st_mode & S_ISVTX) != 0;
}

bool Write_File_Atomically(const Descriptor& folder, const std::string& name, std::string_view data,
                           mode_t mode, std::string& reason, Existing_File existing) {
  std::string temp;
  Descriptor file = Create_Temporary(folder, name, temp);
  if (!file.valid()) {
    reason = "Cannot create a temporary file for " + name + ": " + Error_Text(errno);
    return false;
  }
  const char* step = "write";
  bool ok = Write_Whole(file.native(), data);
  if (ok) ok = (step = "set the mode of", ::fchmod(file.native(), mode) == 0);
  if (ok) ok = (step = "sync", ::fsync(file.native()) == 0);
  const int closed = file.close();
  if (ok && closed != 0) {
    errno = closed;
    ok = (step = "close", false);
  }
  if (ok) ok = (step = "rename", Rename_Into_Place(folder, temp, name, existing == Existing_File::Keep));
  if (!ok) {
    const int error = errno;
    reason = std::string("Cannot ") + step + " " + temp + " for " + name + ": " + Error_Text(error);
    ::unlinkat(folder.native(), temp.c_str(), 0);
    errno = error;
    return false;
  }
  ::fsync(folder.native());  // the rename itself reaches the disk
  return true;
}

namespace {

// The process's umask, read without changing it (another thread may be creating files).
mode_t Current_Umask() {
  std::string status;
  int error = 0;
  if (Read_Blocks(AT_FDCWD, "/proc/self/status", [&](const char* b, std::size_t n) { status.append(b, n); }, error,
                  65536)) {
    const std::size_t at = status.find("\nUmask:");
    if (at != std::string::npos) return static_cast<mode_t>(std::strtoul(status.c_str() + at + 7, nullptr, 8) & 0777);
  }
  return 022;
}

}  // namespace

bool Save_File_Whole(const std::string& path, std::string_view data, std::string& reason) {
  const std::size_t slash = path.find_last_of('/');
  const std::string folder_path = slash == std::string::npos ? "." : slash == 0 ? "/" : path.substr(0, slash);
  const std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
  if (name.empty() || name == "." || name == "..") {
    reason = "Cannot write " + path + ": " + Error_Text(EISDIR);
    return false;
  }
  Descriptor folder(::open(folder_path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (!folder.valid()) {
    reason = "Cannot open folder " + folder_path + ": " + Error_Text(errno);
    return false;
  }
  struct stat st {};
  if (::fstatat(folder.native(), name.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0 && S_ISDIR(st.st_mode)) {
    reason = "Cannot write " + path + ": " + Error_Text(EISDIR);
    return false;
  }
  mode_t mode = 0666 & ~Current_Umask();
  Kept_Mode_At(folder, name, mode);
  return Write_File_Atomically(folder, name, data, mode, reason);
}

namespace {

// Opens name in folder for appending: created when missing, never a link, never a device or
// a pipe that another user put in its place.
Descriptor Open_For_Append(const Descriptor& folder, const std::string& name, mode_t mode, struct stat& st) {
  Descriptor file(
      ::openat(folder.native(), name.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, mode));
  if (!file.valid()) return file;
  if (::fstat(file.native(), &st) != 0) return Descriptor();
  if (!S_ISREG(st.st_mode)) {
    errno = EINVAL;
    return Descriptor();
  }
  if ((st.st_mode & 07777 & ~mode) != 0) ::fchmod(file.native(), st.st_mode & mode);
  return file;
}

}  // namespace

bool Append_Line_At(const Descriptor& folder, const std::string& name, std::string_view line, mode_t mode,
                    int& error) {
  struct stat st {};
  Descriptor file = Open_For_Append(folder, name, mode, st);
  if (!file.valid()) {
    error = errno;
    return false;
  }
  // File systems that cannot reserve space (EOPNOTSUPP) still get the write and its check.
  if (::fallocate(file.native(), FALLOC_FL_KEEP_SIZE, st.st_size, static_cast<off_t>(line.size())) != 0 &&
      (errno == ENOSPC || errno == EDQUOT)) {
    error = errno;
    return false;
  }
  std::size_t done = 0;
  int failure = ENOSPC;  // a write that takes nothing means there is no room
  while (done < line.size()) {
    const ssize_t n = ::write(file.native(), line.data() + done, line.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      if (n < 0) failure = errno;
      break;
    }
    done += static_cast<std::size_t>(n);
  }
  if (done == line.size()) {
    error = 0;
    return true;
  }
  error = failure;
  // The part written is cut off again, unless another writer has appended since.
  struct stat now {};
  if (done > 0 && ::fstat(file.native(), &now) == 0 && now.st_size == st.st_size + static_cast<off_t>(done))
    ::ftruncate(file.native(), st.st_size);
  return false;
}

bool Kept_Mode_At(const Descriptor& folder, const std::string& name, mode_t& mode) {
  struct stat st {};
  if (::fstatat(folder.native(), name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0 || !S_ISREG(st.st_mode) ||
      st.st_uid != ::geteuid())
    return false;
  mode = st.st_mode & 0777;
  return true;
}

bool Commit_File_At(const Descriptor& folder, const std::string& from, const std::string& to, std::string& reason) {
  Descriptor file(::openat(folder.native(), from.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
  struct stat st {};
  const char* step = "open";
  bool ok = file.valid();
  if (ok) ok = (step = "examine", ::fstat(file.native(), &st) == 0);
  if (ok && !S_ISREG(st.st_mode)) {
    errno = EINVAL;
    ok = false;
  }
  if (ok) ok = (step = "sync", ::fsync(file.native()) == 0);
  if (ok) ok = (step = "rename", ::renameat(folder.native(), from.c_str(), folder.native(), to.c_str()) == 0);
  if (!ok) {
    reason = std::string("Cannot ") + step + " " + from + " for " + to + ": " + Error_Text(errno);
    return false;
  }
  ::fsync(folder.native());
  return true;
}

bool Read_File_At(const Descriptor& folder, const std::string& name, std::string& data, int& error,
                  std::size_t limit) {
  data.clear();
  return Read_Blocks(folder.native(), name, [&](const char* bytes, std::size_t n) { data.append(bytes, n); }, error,
                     limit);
}

bool Read_File_Blocks(const std::string& path, const Block_Sink& sink, int& error) {
  return Read_Blocks(AT_FDCWD, path, sink, error, static_cast<std::size_t>(-1));
}

}  // namespace platform
