// Owned handles, aligned buffers and error texts.
#include "platform/files.h"

#include <sys/mman.h>

#include <cstdlib>
#include <cstring>

#include "platform/platform.h"

namespace platform {

namespace {
constexpr std::size_t kHugePage = 2 * 1024 * 1024;
// From this size on a transfer buffer goes into huge pages.
constexpr std::size_t kHugeBufferFrom = 64 * 1024;
constexpr std::size_t kPage = 4096;
}  // namespace

Handle& Handle::operator=(Handle&& other) noexcept {
  if (this != &other) {
    close();
    owner_ = other.owner_;
    id_ = other.release();
  }
  return *this;
}

int Handle::release() {
  int id = id_;
  id_ = -1;
  return id;
}

int Handle::close() {
  if (id_ < 0 || owner_ == nullptr) return 0;
  return owner_->Close(release());
}

Aligned_Buffer::Aligned_Buffer(std::size_t size) : size_(size) {
  if (size == 0) size = 1;
  std::size_t alignment = size >= kHugeBufferFrom ? kHugePage : kPage;
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

bool Is_Component(const std::string& name) {
  return !name.empty() && name != "." && name != ".." && name.find('/') == std::string::npos;
}

}  // namespace platform
