// Throw-away folders and environment changes for tests; each undoes itself when it goes.
#pragma once

#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <optional>
#include <string>

// A fresh empty folder, removed with everything in it at the end.
class Scratch_Folder {
 public:
  // parent: where it is made; the temporary folder ($TMPDIR) unless another is given.
  explicit Scratch_Folder(const std::string& parent = std::filesystem::temp_directory_path().string()) {
    std::string pattern = parent + "/ps-test-XXXXXX";
    if (::mkdtemp(pattern.data()) != nullptr) path_ = pattern;
  }
  Scratch_Folder(const Scratch_Folder&) = delete;
  Scratch_Folder& operator=(const Scratch_Folder&) = delete;
  ~Scratch_Folder() {
    std::error_code ec;
    if (!path_.empty()) std::filesystem::remove_all(path_, ec);
  }

  const std::string& path() const { return path_; }
  std::string operator/(const std::string& relative) const { return path_ + "/" + relative; }

  // Creates a file (and its folders) of size bytes; returns its full path.
  std::string Make_File(const std::string& relative, std::size_t size = 1) const {
    const std::string full = *this / relative;
    std::filesystem::create_directories(std::filesystem::path(full).parent_path());
    std::ofstream(full, std::ios::binary) << std::string(size, 'x');
    return full;
  }

 private:
  std::string path_;
};

// Sets an environment variable until the end of the scope.
class Env_Override {
 public:
  Env_Override(std::string name, const std::string& value) : name_(std::move(name)) {
    if (const char* old = std::getenv(name_.c_str())) old_ = old;
    ::setenv(name_.c_str(), value.c_str(), 1);
  }
  Env_Override(const Env_Override&) = delete;
  Env_Override& operator=(const Env_Override&) = delete;
  ~Env_Override() {
    if (old_) ::setenv(name_.c_str(), old_->c_str(), 1);
    else ::unsetenv(name_.c_str());
  }

 private:
  std::string name_;
  std::optional<std::string> old_;
};

// Works in another current folder until the end of the scope.
class Cwd_Override {
 public:
  explicit Cwd_Override(const std::string& folder) : old_(std::filesystem::current_path()) {
    std::filesystem::current_path(folder);
  }
  Cwd_Override(const Cwd_Override&) = delete;
  Cwd_Override& operator=(const Cwd_Override&) = delete;
  ~Cwd_Override() {
    std::error_code ec;
    std::filesystem::current_path(old_, ec);
  }

 private:
  std::filesystem::path old_;
};

inline std::string Read_Whole_File(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// The permission bits of path itself (a link is not followed).
inline mode_t Mode_Of(const std::string& path) {
  struct stat st {};
  ::lstat(path.c_str(), &st);
  return st.st_mode & 07777;
}

// Sets the process's umask until the end of the scope.
class Umask_Override {
 public:
  explicit Umask_Override(mode_t mask) : old_(::umask(mask)) {}
  Umask_Override(const Umask_Override&) = delete;
  Umask_Override& operator=(const Umask_Override&) = delete;
  ~Umask_Override() { ::umask(old_); }

 private:
  mode_t old_;
};
