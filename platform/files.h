// Owned handles of open files and folders, aligned transfer buffers and the small records
// that the platform's file calls return.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace platform {

class Platform;

// An open file or folder of a platform; closed through that platform when the owner goes
// away. An empty handle owns nothing.
class Handle {
 public:
  Handle() = default;
  Handle(Platform& owner, int id) : owner_(&owner), id_(id) {}
  Handle(const Handle&) = delete;
  Handle& operator=(const Handle&) = delete;
  Handle(Handle&& other) noexcept : owner_(other.owner_), id_(other.release()) {}
  Handle& operator=(Handle&& other) noexcept;
  ~Handle() { close(); }

  bool valid() const { return id_ >= 0; }
  int native() const { return id_; }
  int release();
  // Closes the handle; returns 0 or the system's error number.
  int close();

 private:
  Platform* owner_ = nullptr;
  int id_ = -1;
};

// The two kinds are kept apart so that a folder is never passed where a file is meant.
class File_Handle : public Handle {
 public:
  using Handle::Handle;
};
class Folder_Handle : public Handle {
 public:
  using Handle::Handle;
};

// A zero-filled transfer buffer, aligned for unbuffered transfer. Buffers of 64 KiB and more
// sit on a 2 MiB boundary with huge pages advised, so that a whole block reaches the device
// in one request and is not pinned page by page; where that is not possible the buffer
// falls back to page alignment.
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

struct Folder_Result {
  Folder_Handle folder;
  int error = 0;
};

// What a directory entry is, seen without following it.
enum class Entry_Kind { Missing, Folder, File, Link, Other };

struct Entry_Facts {
  Entry_Kind kind = Entry_Kind::Missing;
  int error = 0;               // 0, or why the entry could not be looked at (ENOENT when missing)
  unsigned owner = 0;          // user id
  unsigned mode = 0;           // permission bits
  std::uint64_t mount = 0;     // which mount the entry lies on; equal only on the same one
  std::uint64_t inode = 0;     // which file or folder it is on that mount
};

struct Folder_Entry {
  std::string name;
  Entry_Kind kind = Entry_Kind::Other;
};

// The system's text for an error number.
std::string Error_Text(int error);

// One name inside a folder: not empty, no separator, not "." or "..".
bool Is_Component(const std::string& name);

}  // namespace platform
