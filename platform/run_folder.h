// The folder a benchmark run owns: made fresh, private to the process's user, locked against
// a second run of the user, and emptied without ever following a link or entering another
// file system.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "platform/platform.h"

namespace platform {

// Called now and then during long removals, so that the caller can stay responsive.
using Progress = std::function<void()>;

enum class Claim_Status { Claimed, Busy, Refused };

class Run_Folder {
 public:
  // Makes <work_folder>/<name> the run's own: Busy, before anything is touched, when the name
  // holds a folder of the user's that another run holds the lock of; otherwise removes
  // whatever the name holds (never following a link, never leaving the work folder's file
  // system), creates the folder afresh for the user only, checks that it is the process's
  // own and takes its lock, which only the user can open it to hold. Refused, with the
  // reason, when that cannot be done.
  Claim_Status Claim(Platform& os, const std::string& work_folder, const std::string& name, std::string& reason,
                     const Progress& progress = {});

  // Whether <work_folder>/<name> holds anything that a claim would remove first.
  static bool Holds_Leftover(Platform& os, const std::string& work_folder, const std::string& name);

  bool claimed() const { return folder_.valid(); }
  const std::string& Path() const { return path_; }
  const Folder_Handle& Folder() const { return folder_; }
  std::uint64_t Mount() const { return mount_; }

  // Removes everything inside the folder. What must stay (another file system mounted
  // inside, an entry that will not go) stays, and the first such entry is named in reason.
  bool Empty(std::string& reason, const Progress& progress = {});
  // Empties and removes the folder, then lets go of it and of its lock.
  bool Remove(std::string& reason, const Progress& progress = {});
  // Lets go of the folder and the lock without touching anything.
  void Release();

 private:
  Platform* os_ = nullptr;
  Folder_Handle work_;
  Folder_Handle folder_;
  std::string path_;
  std::string name_;
  std::uint64_t mount_ = 0;
};

// Creates the sub-folder name of parent and opens it, checking that what was opened is a
// folder of the process's user on the given mount. On failure the handle is empty and
// reason says why.
Folder_Handle Make_Own_Folder(Platform& os, const Folder_Handle& parent, const std::string& name, std::uint64_t mount,
                              std::string& reason, int& error);

// Removes everything inside folder that lies on mount, never following a link; entries of
// other mounts are left with their contents. prefix names the folder in reason.
bool Remove_Contents(Platform& os, const Folder_Handle& folder, std::uint64_t mount, const std::string& prefix,
                     std::string& reason, const Progress& progress = {});

}  // namespace platform
