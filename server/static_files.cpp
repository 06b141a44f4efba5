// Walks a request path one segment at a time from the root's descriptor with O_NOFOLLOW,
// so neither "..", nor a link, nor a mounted file system leads out of www/.
#include "server/static_files.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <sstream>
#include <stdexcept>
#include <vector>

namespace {

// The path's segments, or nothing when one of them is not a plain name.
bool Split_Plain(const std::string& path, std::vector<std::string>& segments) {
  if (path.find('\0') != std::string::npos || path.find('\\') != std::string::npos) return false;
  std::istringstream in(path);
  std::string segment;
  while (std::getline(in, segment, '/')) {
    if (segment.empty()) continue;
    if (segment.front() == '.') return false;
    segments.push_back(segment);
  }
  return !segments.empty();
}

}  // namespace

File_Descriptor& File_Descriptor::operator=(File_Descriptor&& other) noexcept {
  if (this != &other) {
    if (fd_ >= 0) ::close(fd_);
    fd_ = other.fd_;
    other.fd_ = -1;
  }
  return *this;
}

File_Descriptor::~File_Descriptor() {
  if (fd_ >= 0) ::close(fd_);
}

Static_Root::Static_Root(const std::string& folder)
    : root_(::open(folder.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC)) {
  struct stat info;
  if (!root_.valid() || ::fstat(root_.get(), &info) != 0)
    throw std::runtime_error("Cannot open folder " + folder + ": " + std::strerror(errno));
  device_ = info.st_dev;
}

File_Descriptor Static_Root::Open(const std::string& request_path, struct stat& info) const {
  std::vector<std::string> segments;
  if (!Split_Plain(request_path, segments)) return {};
  File_Descriptor folder;
  int at = root_.get();
  for (std::size_t i = 0; i + 1 < segments.size(); ++i) {
    File_Descriptor next(::openat(at, segments[i].c_str(), O_PATH | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    if (!next.valid() || ::fstat(next.get(), &info) != 0 || info.st_dev != device_) return {};
    folder = std::move(next);
    at = folder.get();
  }
  File_Descriptor file(::openat(at, segments.back().c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
  // A second link could be anyone's file put here by a hard link from outside.
  if (!file.valid() || ::fstat(file.get(), &info) != 0 || !S_ISREG(info.st_mode) || info.st_dev != device_ ||
      info.st_nlink != 1)
    return {};
  return file;
}

bool Static_Root::Read(const std::string& request_path, std::string& content, struct stat& info) const {
  const File_Descriptor file = Open(request_path, info);
  if (!file.valid()) return false;
  content.resize(static_cast<std::size_t>(info.st_size));
  std::size_t done = 0;
  while (done < content.size()) {
    const ssize_t got = ::pread(file.get(), content.data() + done, content.size() - done, static_cast<off_t>(done));
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) return false;
    done += static_cast<std::size_t>(got);
  }
  return true;
}

std::string Content_Type_Of(const std::string& path) {
  const auto dot = path.find_last_of('.');
  std::string extension = dot == std::string::npos ? "" : path.substr(dot + 1);
  for (char& c : extension) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  if (extension == "html" || extension == "htm") return "text/html; charset=utf-8";
  if (extension == "css") return "text/css";
  if (extension == "txt") return "text/plain; charset=utf-8";
  if (extension == "png") return "image/png";
  if (extension == "jpg" || extension == "jpeg") return "image/jpeg";
  if (extension == "gif") return "image/gif";
  if (extension == "bmp") return "image/bmp";
  if (extension == "svg") return "image/svg+xml";
  return "application/octet-stream";
}
