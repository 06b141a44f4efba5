// Entries of a folder the program owns (the report queue, the banner cache, the program's own
// folder), listed and changed relative to the folder's own descriptor without following links;
// and plain files streamed in or out.
#pragma once

#include <sys/types.h>

#include <string>
#include <vector>

#include "platform/descriptor.h"
#include "platform/files.h"  // Folder_Entry: the kind of the entry itself, a link never what it points to

namespace platform {

// The entries of an open folder in the order the file system lists them, without "." and
// "..". Returns false and sets error when the folder cannot be listed.
bool List_Folder(const Descriptor& folder, std::vector<Folder_Entry>& entries, int& error);

// Opens the sub-folder name of parent; a link in its place is refused.
Descriptor Open_Folder_At(const Descriptor& parent, const std::string& name, int& error);

// Deletes the file name of folder (a link is deleted itself, never what it points to).
bool Remove_File_At(const Descriptor& folder, const std::string& name, int& error);

// Renames from to to inside folder; never replaces an existing to (error EEXIST).
bool Rename_Keeping_At(const Descriptor& folder, const std::string& from, const std::string& to, int& error);

// Whether name in folder is a regular file itself (a link to one does not count).
bool Regular_File_At(const Descriptor& folder, const std::string& name);

// Gives the regular file name of folder the mode; a link in its place is refused.
bool Set_Mode_At(const Descriptor& folder, const std::string& name, mode_t mode, int& error);

// Whether the entry name of folder (not what a link points to) was last changed more than
// seconds ago.
bool Changed_Before_At(const Descriptor& folder, const std::string& name, long seconds);

// Creates the file at path, or empties an existing one, for writing from its start; a link in
// its place is refused. New files get mode 0600.
Descriptor Create_Output_File(const std::string& path, int& error);

}  // namespace platform
