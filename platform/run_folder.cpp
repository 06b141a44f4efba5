// The run's own folder: claimed, emptied and removed through folder handles only, so that a
// link or a mount placed inside never leads the clean-up anywhere else.
#include "platform/run_folder.h"

#include <cerrno>
#include <vector>

namespace platform {

namespace {

// Removals between two calls of the progress function.
constexpr int kProgressEvery = 256;
// Nesting that a clean-up follows at most (each level holds one open folder).
constexpr int kMaxDepth = 512;
// Tries to clear the run folder's name and make the folder there.
constexpr int kClaimAttempts = 5;

std::string Join(const std::string& folder, const std::string& name) {
  return (!folder.empty() && folder.back() == '/') ? folder + name : folder + "/" + name;
}

class Remover {
 public:
  Remover(Platform& os, std::uint64_t mount, std::string& reason, const Progress& progress)
      : os_(os), mount_(mount), reason_(reason), progress_(progress) {}

  // Everything inside folder; true when nothing stayed.
  bool Contents(const Folder_Handle& folder, const std::string& path, int depth) {
    int error = 0;
    bool all = true;
    std::vector<std::string> folders;
    {
      std::vector<Folder_Entry> entries = os_.List(folder, error);
      if (error != 0) return Fail(path, Error_Text(error));
      for (const Folder_Entry& entry : entries) {
        if (entry.kind == Entry_Kind::Folder) folders.push_back(entry.name);
        else all = Removed(os_.Remove_Entry(folder, entry.name, false), Join(path, entry.name)) && all;
      }
    }  // the file names are let go before going deeper
    for (const std::string& name : folders) all = Sub_Folder(folder, name, Join(path, name), depth + 1) && all;
    return all;
  }

  // The entry name of parent, whatever it is.
  bool Entry(const Folder_Handle& parent, const std::string& name, const std::string& path) {
    const Entry_Facts facts = os_.Entry(parent, name);
    if (facts.error == ENOENT) return true;
    if (facts.error != 0) return Fail(path, Error_Text(facts.error));
    if (facts.kind == Entry_Kind::Folder) return Sub_Folder(parent, name, path, 1);
    return Removed(os_.Remove_Entry(parent, name, false), path);
  }

 private:
  bool Sub_Folder(const Folder_Handle& parent, const std::string& name, const std::string& path, int depth) {
    if (depth > kMaxDepth) return Fail(path, "folders nested too deeply");
    Folder_Result sub = os_.Open_Sub_Folder(parent, name);
    // No longer a folder (a link or a file took its place): that entry itself goes.
    if (sub.error == ELOOP || sub.error == ENOTDIR) return Removed(os_.Remove_Entry(parent, name, false), path);
    if (sub.error != 0) return Fail(path, Error_Text(sub.error));
    const Entry_Facts facts = os_.Facts(sub.folder);
    if (facts.error != 0) return Fail(path, Error_Text(facts.error));
    if (facts.mount != mount_) return Fail(path, "another file system is mounted there");
    // Nobody else may add to it while it is emptied (a folder another user cannot be
    // taken from fails below, at its first entry).
    os_.Take_Over(sub.folder);
    if (!Contents(sub.folder, path, depth)) return false;
    // Removed only while the name still holds it: it may have been moved away meanwhile.
    const Entry_Facts named = os_.Entry(parent, name);
    sub.folder.close();
    if (named.error == 0 && (named.inode != facts.inode || named.mount != facts.mount))
      return Fail(path, "it was replaced while it was emptied");
    return Removed(os_.Remove_Entry(parent, name, true), path);
  }

  bool Removed(int error, const std::string& path) {
    if (++count_ % kProgressEvery == 0 && progress_) progress_();
    return error == 0 || error == ENOENT || Fail(path, Error_Text(error));
  }

  // Keeps the first reason; always false.
  bool Fail(const std::string& path, const std::string& why) {
    if (!failed_) reason_ = "cannot remove " + path + ": " + why;
    failed_ = true;
    return false;
  }

  Platform& os_;
  std::uint64_t mount_;
  std::string& reason_;
  const Progress& progress_;
  bool failed_ = false;
  long long count_ = 0;
};

}  // namespace

Folder_Handle Make_Own_Folder(Platform& os, const Folder_Handle& parent, const std::string& name, std::uint64_t mount,
                              std::string& reason, int& error) {
  error = os.Make_Sub_Folder(parent, name);
  if (error != 0) {
    reason = Error_Text(error);
    return {};
  }
  Folder_Result opened = os.Open_Sub_Folder(parent, name);
  if (opened.error != 0) {
    error = opened.error;
    reason = Error_Text(error);
    return {};
  }
  // Between the creation and the open another user may have put a folder of their own in
  // its place: only a private folder of ours on the same file system will do.
  const Entry_Facts facts = os.Facts(opened.folder);
  if (facts.error != 0 || facts.owner != os.Effective_User() || facts.mount != mount || (facts.mode & 077) != 0) {
    error = EPERM;
    reason = "it was replaced by a folder that is not the program's own";
    return {};
  }
  return std::move(opened.folder);
}

bool Remove_Contents(Platform& os, const Folder_Handle& folder, std::uint64_t mount, const std::string& prefix,
                     std::string& reason, const Progress& progress) {
  return Remover(os, mount, reason, progress).Contents(folder, prefix, 0);
}

namespace {

// Whatever the name of work holds, when it is a folder of a run of this user: private, the
// user's own. Such a folder's lock is held by its run for as long as the run lasts; nobody
// else can have opened it to hold the lock instead.
Folder_Handle Open_Own_Run_Folder(Platform& os, const Folder_Handle& work, const std::string& name) {
  Folder_Result sub = os.Open_Sub_Folder(work, name);
  if (sub.error != 0) return {};
  const Entry_Facts facts = os.Facts(sub.folder);
  if (facts.error != 0 || facts.owner != os.Effective_User() || (facts.mode & 077) != 0) return {};
  return std::move(sub.folder);
}

}  // namespace

Claim_Status Run_Folder::Claim(Platform& os, const std::string& work_folder, const std::string& name,
                               std::string& reason, const Progress& progress) {
  Release();
  os_ = &os;
  name_ = name;
  path_ = Join(work_folder, name);
  Folder_Result work = os.Open_Folder(work_folder);
  if (work.error != 0) {
    reason = Error_Text(work.error);
    return Claim_Status::Refused;
  }
  const Entry_Facts work_facts = os.Facts(work.folder);
  if (work_facts.error != 0) {
    reason = Error_Text(work_facts.error);
    return Claim_Status::Refused;
  }
  // Another user may keep putting things under the name while it is cleared: a few tries,
  // then the reason of the last one.
  for (int attempt = 0; attempt < kClaimAttempts; ++attempt) {
    // A run of ours holds the lock of its folder (the folder, not the shared work folder,
    // which any user could lock): nothing of it is touched. A file system without locks
    // (some network ones) runs unguarded rather than not at all.
    const Folder_Handle earlier = Open_Own_Run_Folder(os, work.folder, name);
    if (earlier.valid() && os.Lock_Folder(earlier) == EWOULDBLOCK) return Claim_Status::Busy;
    // Whatever the name holds goes first: a leftover, or something put there by another user.
    if (!Remover(os, work_facts.mount, reason, progress).Entry(work.folder, name, path_)) continue;
    int error = 0;
    Folder_Handle own = Make_Own_Folder(os, work.folder, name, work_facts.mount, reason, error);
    if (!own.valid()) continue;
    // Another run of ours that opened the new folder first has it now.
    if (os.Lock_Folder(own) == EWOULDBLOCK) return Claim_Status::Busy;
    work_ = std::move(work.folder);
    folder_ = std::move(own);
    mount_ = work_facts.mount;
    return Claim_Status::Claimed;
  }
  return Claim_Status::Refused;
}

bool Run_Folder::Holds_Leftover(Platform& os, const std::string& work_folder, const std::string& name) {
  const Folder_Result work = os.Open_Folder(work_folder);
  return work.error == 0 && os.Entry(work.folder, name).error != ENOENT;
}

bool Run_Folder::Empty(std::string& reason, const Progress& progress) {
  if (!claimed()) {
    reason = "the run has no folder";
    return false;
  }
  return Remove_Contents(*os_, folder_, mount_, path_, reason, progress);
}

bool Run_Folder::Remove(std::string& reason, const Progress& progress) {
  if (!Empty(reason, progress)) {
    Release();
    return false;
  }
  // The name is removed only while it still is this folder, whose lock is kept until then.
  const Entry_Facts mine = os_->Facts(folder_);
  const Entry_Facts named = os_->Entry(work_, name_);
  int error = 0;
  if (named.error != 0) error = named.error;
  else if (named.inode != mine.inode || named.mount != mine.mount) error = ESTALE;
  else error = os_->Remove_Entry(work_, name_, true);
  Release();
  if (error != 0) reason = Error_Text(error);
  return error == 0;
}

void Run_Folder::Release() {
  folder_.close();
  work_.close();
}

}  // namespace platform
