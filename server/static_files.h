// Files handed out from the data folder's www/: banners, installers, news pages. A request
// path reaches only regular files below www/, never through a link, never another file
// system, never a listing, never a file with a second hard link.
#pragma once

#include <sys/stat.h>

#include <string>

// An open file descriptor, closed with its owner.
class File_Descriptor {
 public:
  File_Descriptor() = default;
  explicit File_Descriptor(int fd) : fd_(fd) {}
  File_Descriptor(File_Descriptor&& other) noexcept : fd_(other.fd_) { other.fd_ = -1; }
  File_Descriptor& operator=(File_Descriptor&& other) noexcept;
  File_Descriptor(const File_Descriptor&) = delete;
  File_Descriptor& operator=(const File_Descriptor&) = delete;
  ~File_Descriptor();
  int get() const { return fd_; }
  bool valid() const { return fd_ >= 0; }

 private:
  int fd_ = -1;
};

class Static_Root {
 public:
  // Opens the folder; throws std::runtime_error naming it and the reason.
  explicit Static_Root(const std::string& folder);

  // Opens the regular file at a request path (percent-decoding done, "/" separated, leading
  // and doubled "/" ignored). Invalid when the path has a "." or ".." segment or a segment
  // starting with ".", crosses a link or a mount, or names no regular file with one link
  // (a hard link may be anyone's file). info is filled.
  File_Descriptor Open(const std::string& request_path, struct stat& info) const;

  // The whole content of a file below the root; false when it cannot be opened or read.
  bool Read(const std::string& request_path, std::string& content, struct stat& info) const;

 private:
  File_Descriptor root_;
  dev_t device_ = 0;
};

// The Content-Type for a file name by its extension.
std::string Content_Type_Of(const std::string& path);
