// The platform on the running system. Every folder and file of a run is reached relative to
// an open folder descriptor, never through a link.
#include "platform/posix_platform.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <cerrno>

#include "platform/system_io_queue.h"

namespace platform {

namespace {

Entry_Kind Kind_Of(mode_t mode) {
  if (S_ISDIR(mode)) return Entry_Kind::Folder;
  if (S_ISREG(mode)) return Entry_Kind::File;
  if (S_ISLNK(mode)) return Entry_Kind::Link;
  return Entry_Kind::Other;
}

Entry_Facts Stat_At(int dirfd, const char* name, int flags) {
  Entry_Facts facts;
  struct statx stx {};
  const unsigned mask = STATX_TYPE | STATX_MODE | STATX_UID | STATX_INO | STATX_MNT_ID;
  if (::statx(dirfd, name, flags | AT_SYMLINK_NOFOLLOW | AT_NO_AUTOMOUNT, mask, &stx) != 0) {
    facts.error = errno;
    return facts;
  }
  facts.kind = Kind_Of(stx.stx_mode);
  facts.mode = stx.stx_mode & 07777;
  facts.owner = stx.stx_uid;
  facts.inode = stx.stx_ino;
  // The mount id tells bind mounts of one file system apart; kernels without it give the
  // device number, which still tells file systems apart.
  facts.mount = (stx.stx_mask & STATX_MNT_ID) != 0 ? stx.stx_mnt_id
                                                   : makedev(stx.stx_dev_major, stx.stx_dev_minor);
  return facts;
}

Entry_Kind Kind_Of_Dirent(int dirfd, const dirent* entry) {
  switch (entry->d_type) {
    case DT_DIR: return Entry_Kind::Folder;
    case DT_REG: return Entry_Kind::File;
    case DT_LNK: return Entry_Kind::Link;
    case DT_UNKNOWN: return Stat_At(dirfd, entry->d_name, 0).kind;
    default: return Entry_Kind::Other;
  }
}

struct stat Stat_Of(const File_Handle& file, bool& ok) {
  struct stat st {};
  ok = ::fstat(file.native(), &st) == 0;
  return st;
}

}  // namespace

int Posix_Platform::Close(int id) { return ::close(id) == 0 ? 0 : errno; }

Folder_Result Posix_Platform::Open_Folder(const std::string& path) {
  Folder_Result result;
  int fd = ::open(path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) result.error = errno;
  else result.folder = Folder_Handle(*this, fd);
  return result;
}

Folder_Result Posix_Platform::Open_Sub_Folder(const Folder_Handle& parent, const std::string& name) {
  Folder_Result result;
  if (!Is_Component(name)) {
    result.error = EINVAL;
    return result;
  }
  int fd = ::openat(parent.native(), name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
  if (fd < 0) result.error = errno;
  else result.folder = Folder_Handle(*this, fd);
  return result;
}

int Posix_Platform::Make_Sub_Folder(const Folder_Handle& parent, const std::string& name) {
  if (!Is_Component(name)) return EINVAL;
  return ::mkdirat(parent.native(), name.c_str(), 0700) == 0 ? 0 : errno;
}

int Posix_Platform::Remove_Entry(const Folder_Handle& parent, const std::string& name, bool folder) {
  if (!Is_Component(name)) return EINVAL;
  return ::unlinkat(parent.native(), name.c_str(), folder ? AT_REMOVEDIR : 0) == 0 ? 0 : errno;
}

Entry_Facts Posix_Platform::Entry(const Folder_Handle& parent, const std::string& name) {
  if (!Is_Component(name)) {
    Entry_Facts facts;
    facts.error = EINVAL;
    return facts;
  }
  return Stat_At(parent.native(), name.c_str(), 0);
}

Entry_Facts Posix_Platform::Facts(const Folder_Handle& folder) { return Stat_At(folder.native(), "", AT_EMPTY_PATH); }

std::vector<Folder_Entry> Posix_Platform::List(const Folder_Handle& folder, int& error) {
  std::vector<Folder_Entry> entries;
  error = 0;
  int fd = ::dup(folder.native());  // the listing owns and closes its own descriptor
  DIR* dir = fd < 0 ? nullptr : ::fdopendir(fd);
  if (dir == nullptr) {
    error = errno;
    if (fd >= 0) ::close(fd);
    return entries;
  }
  ::rewinddir(dir);  // the duplicate shares its position with the folder's descriptor
  errno = 0;
  while (const dirent* entry = ::readdir(dir)) {
    const std::string name = entry->d_name;
    if (name != "." && name != "..") entries.push_back({name, Kind_Of_Dirent(folder.native(), entry)});
    errno = 0;
  }
  error = errno;
  ::closedir(dir);
  return entries;
}

int Posix_Platform::Take_Over(const Folder_Handle& folder) {
  struct stat st {};
  if (::fstat(folder.native(), &st) != 0) return errno;
  if (st.st_uid != ::geteuid() && ::fchown(folder.native(), ::geteuid(), ::getegid()) != 0) return errno;
  return ::fchmod(folder.native(), 0700) == 0 ? 0 : errno;
}

int Posix_Platform::Lock_Folder(const Folder_Handle& folder) {
  if (::flock(folder.native(), LOCK_EX | LOCK_NB) == 0) return 0;
  return errno == EWOULDBLOCK ? EWOULDBLOCK : errno;
}

std::int64_t Posix_Platform::Free_Bytes(const Folder_Handle& folder) {
  struct statvfs sv {};
  if (::fstatvfs(folder.native(), &sv) != 0) return -1;
  return static_cast<std::int64_t>(sv.f_bavail) * static_cast<std::int64_t>(sv.f_frsize);
}

std::int64_t Posix_Platform::Block_Bytes(const Folder_Handle& folder) {
  struct statvfs sv {};
  if (::fstatvfs(folder.native(), &sv) != 0) return 0;
  return static_cast<std::int64_t>(sv.f_frsize);
}

unsigned Posix_Platform::Effective_User() { return ::geteuid(); }

Open_Result Posix_Platform::Open_At(const Folder_Handle& folder, const std::string& name, int flags,
                                    bool unbuffered) {
  Open_Result result;
  if (!Is_Component(name)) {
    result.error = EINVAL;
    return result;
  }
  flags |= O_NOFOLLOW | O_CLOEXEC;
  if (unbuffered) {
    int fd = ::openat(folder.native(), name.c_str(), flags | O_DIRECT, 0600);
    if (fd >= 0) {
      result.file = File_Handle(*this, fd);
      result.mode = Io_Mode::Direct;
      return result;
    }
    if (errno != EINVAL) {
      result.error = errno;
      return result;
    }
    // The file system refuses direct transfer only after a new file was made: remove it, so
    // that the buffered attempt creates it afresh.
    if ((flags & O_CREAT) != 0) ::unlinkat(folder.native(), name.c_str(), 0);
  }
  int fd = ::openat(folder.native(), name.c_str(), flags, 0600);
  if (fd < 0) {
    result.error = errno;
    return result;
  }
  result.file = File_Handle(*this, fd);
  result.mode = Io_Mode::Buffered;
  return result;
}

Open_Result Posix_Platform::Create_File(const Folder_Handle& folder, const std::string& name, bool unbuffered) {
  return Open_At(folder, name, O_RDWR | O_CREAT | O_EXCL, unbuffered);
}

Open_Result Posix_Platform::Open_File(const Folder_Handle& folder, const std::string& name, bool unbuffered) {
  return Open_At(folder, name, O_RDONLY, unbuffered);
}

std::int64_t Posix_Platform::Write_All(File_Handle& file, const void* data, std::size_t n, int& error) {
  error = 0;
  const auto* p = static_cast<const unsigned char*>(data);
  std::size_t done = 0;
  while (done < n) {
    ssize_t w = ::write(file.native(), p + done, n - done);
    if (w < 0) {
      if (errno == EINTR) continue;
      error = errno;
      break;
    }
    if (w == 0) {
      error = ENOSPC;
      break;
    }
    done += static_cast<std::size_t>(w);
  }
  return static_cast<std::int64_t>(done);
}

std::int64_t Posix_Platform::Read_Full(File_Handle& file, void* data, std::size_t n, int& error) {
  error = 0;
  auto* p = static_cast<unsigned char*>(data);
  std::size_t done = 0;
  while (done < n) {
    ssize_t r = ::read(file.native(), p + done, n - done);
    if (r < 0) {
      if (errno == EINTR) continue;
      error = errno;
      break;
    }
    if (r == 0) break;
    done += static_cast<std::size_t>(r);
  }
  return static_cast<std::int64_t>(done);
}

int Posix_Platform::Flush_File(File_Handle& file) { return ::fsync(file.native()) == 0 ? 0 : errno; }

int Posix_Platform::Sync_And_Drop_Cache(File_Handle& file) {
  if (::fdatasync(file.native()) != 0) return errno;
  Drop_Cache(file);
  return 0;
}

void Posix_Platform::Drop_Cache(File_Handle& file) { ::posix_fadvise(file.native(), 0, 0, POSIX_FADV_DONTNEED); }

std::size_t Posix_Platform::Direct_Io_Alignment(File_Handle& file) {
  struct statx stx {};
  if (::statx(file.native(), "", AT_EMPTY_PATH, STATX_DIOALIGN, &stx) == 0 && (stx.stx_mask & STATX_DIOALIGN) != 0)
    return stx.stx_dio_offset_align;
  return 0;
}

std::int64_t Posix_Platform::File_Size(File_Handle& file) {
  bool ok = false;
  const struct stat st = Stat_Of(file, ok);
  return ok ? static_cast<std::int64_t>(st.st_size) : -1;
}

Io_Queue_Result Posix_Platform::Open_Io_Queue(File_Handle& file, const Io_Queue_Options& options) {
  return Open_System_Io_Queue(file.native(), options);
}

std::int64_t Posix_Platform::Allocated_Bytes(File_Handle& file) {
  bool ok = false;
  const struct stat st = Stat_Of(file, ok);
  return ok ? static_cast<std::int64_t>(st.st_blocks) * 512 : -1;
}

Device_Counters Posix_Platform::Counters_Of_Device(const Folder_Handle& folder) {
  return Read_Folder_Counters(folder.native());
}

Volume_Facts Posix_Platform::Volume(const std::string& path) { return Get_Volume_Facts(path); }

bool Posix_Platform::Resolve_Work_Folder(const std::string& drive, std::string& folder, std::string& reason) {
  return platform::Resolve_Work_Folder(drive, folder, reason);
}

Platform& System_Platform() {
  static Posix_Platform the_platform;
  return the_platform;
}

}  // namespace platform
