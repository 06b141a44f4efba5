// Files written for later (settings, queue, cache, log) in folders that other users may
// reach: opened relative to a folder's own descriptor, never through a link, written whole.
#pragma once

#include <sys/types.h>

#include <cstddef>
#include <functional>

#include <string>
#include <string_view>

#include "platform/descriptor.h"

namespace platform {

// Opens name of the folder descriptor for reading, only when it is a regular file itself: a
// link in its place is refused, and a pipe or device cannot hold the caller up (EINVAL).
Descriptor Open_Regular_File_At(int folder, const std::string& name, int& error);

// Writes all of data to the open file, looping on short writes; false, with the system's
// error number, when the file took less.
bool Write_All(int fd, std::string_view data, int& error);

// Opens a folder for use with the *at calls; the last component must not be a link.
// Returns an invalid handle and sets error (the system's number) on failure.
Descriptor Open_Folder(const std::string& path, int& error);

// Whether an open folder is fit to hold the files of the effective user: owned by that
// user (or by root) and not writable by group or others.
bool Folder_Is_Private(const Descriptor& folder);
// Whether nobody but the folder's owner (and root) can add or remove entries in it: not
// writable by group or others, or sticky.
bool Folder_Is_Owner_Only(const Descriptor& folder);

// What Write_File_Atomically does when name exists already.
enum class Existing_File { Replace, Keep };

// Replaces name inside folder with data, or leaves it as it was: the bytes go to a new file
// of a random temporary name (created exclusively, never through a link), which is given
// mode, forced to disk and renamed over name; the folder is then synced. The temporary
// file never ends in the final name's extension, so readers of "*.ext" never see it.
// With Existing_File::Keep an existing name is never replaced: the write fails with EEXIST
// in the reason and in errno.
bool Write_File_Atomically(const Descriptor& folder, const std::string& name, std::string_view data,
                           mode_t mode, std::string& reason, Existing_File existing = Existing_File::Replace);

// Writes data to the file at path, a name the user chose (links among its folders are
// followed, one in the file's own place is replaced, never written through), whole or not at
// all: through Write_File_Atomically. A new file gets the usual rights (0666 less the umask),
// and so does one replacing another user's file; a replaced file of the user's keeps its
// permission bits (never set-id bits). reason says what failed and why.
bool Save_File_Whole(const std::string& path, std::string_view data, std::string& reason);

// Appends line to name inside folder in one piece, creating the file with mode when it is
// missing (an existing file with wider rights is narrowed to mode). Never through a link and
// only to a plain file. Space for the whole line is reserved before it is written, so a
// full disk drops the line instead of leaving part of it; a line cut short anyway is cut
// off again. Returns false and sets error (the system's number); the file is then as it was.
bool Append_Line_At(const Descriptor& folder, const std::string& name, std::string_view line, mode_t mode,
                    int& error);

// The rights that a file replacing name of folder keeps from it: the permission bits of a
// plain file of the effective user's (not through a link), never set-id or sticky bits.
// False when there is no such file, or it belongs to another user (the replacement then
// gets the usual rights of a new file).
bool Kept_Mode_At(const Descriptor& folder, const std::string& name, mode_t& mode);

// Puts the regular file from of folder in the place of to, whole: forced to disk, renamed over
// to, the folder synced. A link in from's place is refused. reason says what failed.
bool Commit_File_At(const Descriptor& folder, const std::string& from, const std::string& to, std::string& reason);

// Reads a file of folder (not through a link, only a regular file) into data: the whole
// file, or its first limit bytes. Returns false and sets error when it cannot be opened or
// read.
bool Read_File_At(const Descriptor& folder, const std::string& name, std::string& data, int& error,
                  std::size_t limit = static_cast<std::size_t>(-1));

// Receives the bytes of a file, block by block.
using Block_Sink = std::function<void(const char*, std::size_t)>;

// Hands the bytes of the regular file at path to sink, block by block; a link in the file's
// place is refused. Returns false and sets error when it cannot be opened or read.
bool Read_File_Blocks(const std::string& path, const Block_Sink& sink, int& error);

}  // namespace platform
