#include "platform/files.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

namespace platform {

namespace {
constexpr std::size_t kHugePage = 2 * 1024 * 1024;
constexpr std::size_t kPage = 4096;
}  // namespace

File_Handle& File_Handle::operator=(File_Handle&& other) noexcept {
  if (this != &other) {
    close();
    fd_ = other.release();
  }
  return *this;
}

int File_Handle::release() {
  int fd = fd_;
  fd_ = -1;
  return fd;
}

int File_Handle::close() {
  if (fd_ < 0) return 0;
  int rc = ::close(fd_);
  fd_ = -1;
  return rc == 0 ? 0 : errno;
}

Aligned_Buffer::Aligned_Buffer(std::size_t size) : size_(size) {
  if (size == 0) size = 1;
  std::size_t alignment = size >= kHugePage / 2 ? kHugePage : kPage;
  std::size_t rounded = (size + alignment - 1) / alignment * alignment;
  void* p = nullptr;
  if (posix_memalign(&p, alignment, rounded) != 0) {
    rounded = (size + kPage - 1) / kPage * kPage;
    if (posix_memalign(&p, kPage, rounded) != 0) p = nullptr;
  }
  if (p == nullptr) {
    size_ = 0;
    return;
  }
  if (alignment == kHugePage) madvise(p, rounded, MADV_HUGEPAGE);  // advice only; may be refused
  std::memset(p, 0, rounded);
  data_ = static_cast<unsigned char*>(p);
}

Aligned_Buffer::~Aligned_Buffer() { std::free(data_); }

const char* Io_Mode_Name(Io_Mode mode) { return mode == Io_Mode::Direct ? "direct (unbuffered)" : "buffered"; }

std::string Error_Text(int error) { return std::strerror(error); }

Open_Result Open_Transfer_File(const std::string& path, bool create, bool unbuffered) {
  int flags = O_CLOEXEC | (create ? (O_RDWR | O_CREAT | O_TRUNC) : O_RDONLY);
  Open_Result result;
  if (unbuffered) {
    int fd = ::open(path.c_str(), flags | O_DIRECT, 0644);
    if (fd >= 0) {
      result.file = File_Handle(fd);
      result.mode = Io_Mode::Direct;
      return result;
    }
    if (errno != EINVAL) {
      result.error = errno;
      return result;
    }
  }
  int fd = ::open(path.c_str(), flags, 0644);
  if (fd < 0) {
    result.error = errno;
    return result;
  }
  result.file = File_Handle(fd);
  result.mode = Io_Mode::Buffered;
  return result;
}

std::int64_t Write_All(int fd, const void* data, std::size_t n, int& error) {
  error = 0;
  const auto* p = static_cast<const unsigned char*>(data);
  std::size_t done = 0;
  while (done < n) {
    ssize_t w = ::write(fd, p + done, n - done);
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

std::int64_t Read_Full(int fd, void* data, std::size_t n, int& error) {
  error = 0;
  auto* p = static_cast<unsigned char*>(data);
  std::size_t done = 0;
  while (done < n) {
    ssize_t r = ::read(fd, p + done, n - done);
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

int Flush_File(int fd) { return ::fsync(fd) == 0 ? 0 : errno; }

int Sync_And_Drop_Cache(int fd) {
  if (::fdatasync(fd) != 0) return errno;
  Drop_Cache(fd);
  return 0;
}

void Drop_Cache(int fd) { ::posix_fadvise(fd, 0, 0, POSIX_FADV_DONTNEED); }

std::size_t Direct_Io_Alignment(int fd) {
#ifdef STATX_DIOALIGN
  struct statx stx {};
  if (::statx(fd, "", AT_EMPTY_PATH, STATX_DIOALIGN, &stx) == 0 && (stx.stx_mask & STATX_DIOALIGN) != 0)
    return stx.stx_dio_offset_align;
#else
  (void)fd;
#endif
  return 0;
}

}  // namespace platform
