// Folders reached one at a time from "/" with O_NOFOLLOW, each checked for its owner and its
// rights before the next is opened from it; and the user's state and cache folders.
#include "platform/trusted_folders.h"

#include <fcntl.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <vector>

#include "platform/files.h"

namespace platform {

namespace {

// Links followed on one walk at most, as the kernel allows.
constexpr int kMaxLinks = 40;

// The components of an absolute path with "." and ".." resolved by name (links are expanded
// before the walk goes past them, so a ".." always means the folder walked before).
std::vector<std::string> Components(const std::string& path) {
  std::vector<std::string> parts;
  std::size_t from = 0;
  while (from <= path.size()) {
    std::size_t slash = path.find('/', from);
    if (slash == std::string::npos) slash = path.size();
    const std::string part = path.substr(from, slash - from);
    from = slash + 1;
    if (part.empty() || part == ".") continue;
    if (part == "..") {
      if (!parts.empty()) parts.pop_back();
      continue;
    }
    parts.push_back(part);
  }
  return parts;
}

std::string Joined(const std::vector<std::string>& parts, std::size_t count) {
  std::string path;
  for (std::size_t i = 0; i < count && i < parts.size(); ++i) path += "/" + parts[i];
  return path.empty() ? "/" : path;
}

bool Owned_By_User_Or_Root(const struct stat& st) { return st.st_uid == ::geteuid() || st.st_uid == 0; }

// Nobody but its owner (and the user's own group) can add, rename or remove entries in it.
bool Others_Cannot_Change(const struct stat& st) {
  if ((st.st_mode & S_ISVTX) != 0) return true;
  if ((st.st_mode & S_IWOTH) != 0) return false;
  return (st.st_mode & S_IWGRP) == 0 || st.st_gid == ::getegid();
}

// The path after the first count components: "/c/d" (empty when nothing is left).
std::string Rest(const std::vector<std::string>& parts, std::size_t count) {
  std::string rest;
  for (std::size_t i = count; i < parts.size(); ++i) rest += "/" + parts[i];
  return rest;
}

bool Fail(Trusted_Folder& result, const std::string& reason, bool foreign) {
  result.folder = Descriptor();
  result.reason = reason;
  result.foreign = foreign;
  return false;
}

// Whether the folder opened at here may hold (last) or lead to the program's files.
bool Check(const Descriptor& folder, const std::string& here, bool last, Trusted_Folder& result) {
  struct stat st {};
  if (!folder.valid() || ::fstat(folder.native(), &st) != 0)
    return Fail(result, "Cannot open folder " + here + ": " + Error_Text(errno), false);
  if (!Owned_By_User_Or_Root(st)) return Fail(result, "Cannot use folder " + here + ": it belongs to another user", true);
  const bool changeable = last ? (st.st_mode & (S_IWGRP | S_IWOTH)) != 0 : !Others_Cannot_Change(st);
  if (changeable) return Fail(result, "Cannot use folder " + here + ": others may write to it", true);
  return true;
}

// The text of the link name of at when it is a link of root's or the user's. False with the
// reason when it is another user's or cannot be read; false without one when it is no link.
bool Trusted_Link(const Descriptor& at, const std::string& name, const std::string& here, std::string& text,
                  Trusted_Folder& result) {
  struct stat st {};
  if (::fstatat(at.native(), name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0 || !S_ISLNK(st.st_mode)) return false;
  if (!Owned_By_User_Or_Root(st)) return Fail(result, "Cannot use folder " + here + ": it is a link of another user", true);
  text.assign(4096, '\0');
  const ssize_t n = ::readlinkat(at.native(), name.c_str(), text.data(), text.size());
  if (n <= 0 || static_cast<std::size_t>(n) >= text.size())
    return Fail(result, "Cannot read link " + here + ": " + Error_Text(n < 0 ? errno : ENAMETOOLONG), false);
  text.resize(static_cast<std::size_t>(n));
  return true;
}

class Walker {
 public:
  Walker(mode_t mode, bool create) : mode_(mode), create_(create) {}

  // Walks path; result.folder holds the folder at its end (empty when the walk does not make
  // folders and the end is missing).
  bool Walk(const std::string& path, Trusted_Folder& result) const {
    if (path.empty() || path[0] != '/') return Fail(result, "Cannot use folder " + path + ": not an absolute path", false);
    std::string next = path;
    for (int links = 0; links <= kMaxLinks; ++links) {
      const Step step = Pass(Components(next), result, next);
      if (step != Step::Follow) return step == Step::Done;
    }
    return Fail(result, "Cannot use folder " + path + ": " + Error_Text(ELOOP), false);
  }

 private:
  enum class Step { Done, Failed, Follow };

  // One walk from "/"; Follow, with next set to the path to walk instead, at a trusted link.
  Step Pass(const std::vector<std::string>& parts, Trusted_Folder& result, std::string& next) const {
    Descriptor at(::open("/", O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (!Check(at, "/", parts.empty(), result)) return Step::Failed;
    for (std::size_t i = 0; i < parts.size(); ++i) {
      const std::string here = Joined(parts, i + 1);
      Descriptor sub(Open_Or_Make(at, parts[i]));
      if (!sub.valid()) {
        const int error = errno;
        if (error == ENOENT && !create_) return Step::Done;  // the rest would be made
        std::string link;
        if ((error == ELOOP || error == ENOTDIR) && Trusted_Link(at, parts[i], here, link, result)) {
          next = (link[0] == '/' ? link : Joined(parts, i) + "/" + link) + Rest(parts, i + 1);
          return Step::Follow;
        }
        if (result.reason.empty()) Fail(result, "Cannot open folder " + here + ": " + Error_Text(error), false);
        return Step::Failed;
      }
      if (!Check(sub, here, i + 1 == parts.size(), result)) return Step::Failed;
      at = std::move(sub);
    }
    result.folder = std::move(at);
    return Step::Done;
  }

  // Opens the sub-folder name of at, making it first when it is missing and the walk makes
  // folders; the descriptor, or -1 with errno.
  int Open_Or_Make(const Descriptor& at, const std::string& name) const {
    int fd = ::openat(at.native(), name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd >= 0 || errno != ENOENT || !create_) return fd;
    const bool made = ::mkdirat(at.native(), name.c_str(), mode_) == 0;
    if (!made && errno != EEXIST) return -1;
    fd = ::openat(at.native(), name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd >= 0 && made && ::fchmod(fd, mode_) != 0) {  // exactly mode, whatever the umask
      const int error = errno;
      ::close(fd);
      errno = error;
      return -1;
    }
    return fd;
  }

  mode_t mode_;
  bool create_;
};

// $variable when it holds an absolute path, otherwise $HOME + "/" + fallback, without a
// trailing "/"; empty when neither is known.
std::string Named_User_Folder(const char* variable, const char* fallback) {
  const char* set = std::getenv(variable);
  if (set != nullptr && set[0] == '/') return set;
  const char* home = std::getenv("HOME");
  return home != nullptr && home[0] == '/' ? std::string(home) + "/" + fallback : std::string();
}

// The named folder when the user may keep files there, otherwise the one in the home folder
// the user database gives the effective user, with note saying why.
std::string User_Folder(const char* variable, const char* fallback, std::string* note) {
  std::string folder = Named_User_Folder(variable, fallback);
  std::string reason;
  bool foreign = false;
  if (folder.empty() || !Trusted_Folder_Path(folder, reason, foreign)) {
    const passwd* pw = ::getpwuid(::geteuid());
    const std::string own = pw != nullptr && pw->pw_dir != nullptr && pw->pw_dir[0] == '/'
                                ? std::string(pw->pw_dir) + "/" + fallback
                                : std::string();
    if (note != nullptr && !folder.empty())
      *note = folder + " is not used (" + reason + ")" + (own.empty() ? "" : "; " + own + " instead");
    folder = own;
  }
  while (folder.size() > 1 && folder.back() == '/') folder.pop_back();
  return folder;
}

}  // namespace

Trusted_Folder Open_Trusted_Folder(const std::string& path, mode_t mode) {
  Trusted_Folder result;
  Walker(mode, true).Walk(path, result);
  return result;
}

bool Trusted_Folder_Path(const std::string& path, std::string& reason, bool& foreign) {
  Trusted_Folder result;
  const bool usable = Walker(0, false).Walk(path, result);
  reason = result.reason;
  foreign = result.foreign;
  return usable;
}

std::string User_State_Folder(std::string* note) { return User_Folder("XDG_STATE_HOME", ".local/state", note); }

std::string User_Cache_Folder(std::string* note) { return User_Folder("XDG_CACHE_HOME", ".cache", note); }

}  // namespace platform
