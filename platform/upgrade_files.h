// The files of a self-upgrade: the program's folder opened only when nobody else could have
// swapped any folder on its way, and the installer held by one descriptor from its creation
// to its start.
#pragma once

#include <sys/types.h>

#include <string>

#include "platform/descriptor.h"

namespace platform {

// The machine's hardware name as uname -m prints it ("x86_64", "aarch64"); empty when unknown.
std::string Machine_Name();

// The owner of the file at path; false, with the system's error number, when it cannot be read.
bool File_Owner(const std::string& path, uid_t& owner, int& error);

// Opens the absolute folder_path one folder at a time from "/", never through a link, and
// checks each as it is opened: it must belong to root or to owner, and no one else may write
// in it. A folder above the last may be writable by everyone only when it is root's and
// sticky (as /tmp): nobody can then rename what is not theirs. Returns the last folder's
// descriptor, or an invalid one with why naming the folder and the reason.
Descriptor Open_Installer_Folder(const std::string& folder_path, uid_t owner, std::string& why);

// Creates name in folder for reading and writing, exclusively (an existing name, a link
// among them, fails with EEXIST), with mode 0600.
Descriptor Create_Exclusive_At(const Descriptor& folder, const std::string& name, int& error);

// A descriptor of the same open file for reading only: reopened through the process's own
// descriptor table, never through a path that someone could change.
Descriptor Reopen_Read_Only(const Descriptor& file, int& error);

// Gives the open file mode.
bool Set_File_Mode(const Descriptor& file, mode_t mode, int& error);

}  // namespace platform
