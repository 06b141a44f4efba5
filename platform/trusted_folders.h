// The folders the program writes for later (log, report queue, banner cache, settings):
// reached from "/" one folder at a time, never through another user's link or folder, so
// that root run with an ordinary user's environment never writes where that user points it.
#pragma once

#include <sys/types.h>

#include <string>

#include "platform/descriptor.h"

namespace platform {

struct Trusted_Folder {
  Descriptor folder;
  std::string reason;     // why the folder cannot be used; empty when it can
  bool foreign = false;   // it, or a folder on its way, is another user's or others may change it
};

// Opens the folder at path (absolute), making the missing ones with exactly mode. Each
// folder on the way is opened with O_NOFOLLOW|O_DIRECTORY relative to the one before, from
// "/", and must belong to the effective user or root and be one that nobody else can change
// (not writable by others, nor by a group other than the user's own, unless it is sticky).
// A link on the way is followed only when it belongs to root or to the user (the system's
// own, such as /home kept on another disk). The folder itself must belong to the user (or
// root) and be writable by nobody else.
Trusted_Folder Open_Trusted_Folder(const std::string& path, mode_t mode);

// Whether Open_Trusted_Folder would take path: every folder of it that exists passes (those
// missing would be made). Makes nothing; reason and foreign as above.
bool Trusted_Folder_Path(const std::string& path, std::string& reason, bool& foreign);

// The user's folder for state that must outlive a reboot: $XDG_STATE_HOME when it is an
// absolute path, otherwise $HOME's .local/state. When that is not the user's own to write
// (another user's home kept by sudo, a link of another user), the .local/state of the
// effective user's home from the user database instead, and note says why. Without a
// trailing "/"; empty when no home folder is known.
std::string User_State_Folder(std::string* note = nullptr);

// The same for files that may be made again: $XDG_CACHE_HOME, or .cache.
std::string User_Cache_Folder(std::string* note = nullptr);

}  // namespace platform
