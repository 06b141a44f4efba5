// Files for timed transfers: owned descriptors, aligned transfer buffers and the calls that
// move blocks. Everything that touches the operating system's file interface lives here.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace platform {

// An open file; closed when the owner goes away.
class File_Handle {
 public:
  File_Handle() = default;
  explicit File_Handle(int fd) : fd_(fd) {}
  File_Handle(const File_Handle&) = delete;
  File_Handle& operator=(const File_Handle&) = delete;
  File_Handle(File_Handle&& other) noexcept : fd_(other.release()) {}
  File_Handle& operator=(File_Handle&& other) noexcept;
  ~File_Handle() { close(); }

  bool valid() const { return fd_ >= 0; }
  int native() const { return fd_; }
  int release();
  // Closes the file; returns 0 or the system's error number.
  int close();

 private:
  int fd_ = -1;
};

// A zero-filled transfer buffer, aligned for unbuffered transfer. Large buffers sit on a
// 2 MiB boundary with huge pages advised so that a whole block reaches the device in one
// request; where that is not possible the buffer falls back to page alignment.
class Aligned_Buffer {
 public:
  explicit Aligned_Buffer(std::size_t size);
  Aligned_Buffer(const Aligned_Buffer&) = delete;
  Aligned_Buffer& operator=(const Aligned_Buffer&) = delete;
  ~Aligned_Buffer();

  bool valid() const { return data_ != nullptr; }
  unsigned char* data() { return data_; }
  const unsigned char* data() const { return data_; }
  std::size_t size() const { return size_; }

 private:
  unsigned char* data_ = nullptr;
  std::size_t size_ = 0;
};

enum class Io_Mode { Direct, Buffered };

const char* Io_Mode_Name(Io_Mode mode);

struct Open_Result {
  File_Handle file;
  Io_Mode mode = Io_Mode::Buffered;
  int error = 0;  // the system's error number when the open failed
};

// The system's text for an error number.
std::string Error_Text(int error);

// Opens a file for one timed transfer. create: create or truncate for writing (read and
// write access), otherwise open an existing file for reading. With unbuffered set the file
// bypasses the page cache; a file system that refuses that (EINVAL) gets a buffered file,
// which the caller sees in the mode.
Open_Result Open_Transfer_File(const std::string& path, bool create, bool unbuffered);

// Writes all n bytes, looping on short writes. Returns the bytes written; error is set
// when fewer than n were written.
std::int64_t Write_All(int fd, const void* data, std::size_t n, int& error);
// Reads up to n bytes, looping on short reads until n bytes or the end of the file.
std::int64_t Read_Full(int fd, void* data, std::size_t n, int& error);
// Forces the file's data and metadata out; returns 0 or the error number.
int Flush_File(int fd);
// Forces the file's data out and drops its cached pages, so that a later read reaches the
// device; returns 0 or the error number.
int Sync_And_Drop_Cache(int fd);
// Drops the cached pages of a file that has no dirty data.
void Drop_Cache(int fd);

// The direct-transfer alignment (offset and length) of an open regular file; 0 when the
// system cannot tell.
std::size_t Direct_Io_Alignment(int fd);

}  // namespace platform
