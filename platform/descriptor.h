// An open descriptor of the running system, closed when its owner goes away: the files and
// folders that the settings store, the log, the queue and the caches open directly.
#pragma once

#include <unistd.h>

#include <cerrno>

namespace platform {

class Descriptor {
 public:
  Descriptor() = default;
  explicit Descriptor(int fd) : fd_(fd) {}
  Descriptor(const Descriptor&) = delete;
  Descriptor& operator=(const Descriptor&) = delete;
  Descriptor(Descriptor&& other) noexcept : fd_(other.release()) {}
  Descriptor& operator=(Descriptor&& other) noexcept {
    if (this != &other) {
      close();
      fd_ = other.release();
    }
    return *this;
  }
  ~Descriptor() { close(); }

  bool valid() const { return fd_ >= 0; }
  int native() const { return fd_; }
  int release() {
    const int fd = fd_;
    fd_ = -1;
    return fd;
  }
  // Closes the descriptor; returns 0 or the system's error number.
  int close() {
    if (fd_ < 0) return 0;
    const int rc = ::close(release());
    return rc == 0 ? 0 : errno;
  }

 private:
  int fd_ = -1;
};

}  // namespace platform
