// The operating-system calls of the benchmark, behind one interface: the system's own back
// end (posix_platform.h) and an in-memory one for tests (memory_platform.h).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "platform/device_counters.h"
#include "platform/files.h"
#include "platform/io_queue.h"
#include "platform/volumes.h"

namespace platform {

class Platform {
 public:
  virtual ~Platform() = default;

  // Closes a handle that this platform gave out; returns 0 or the error number.
  virtual int Close(int id) = 0;

  // ---- folders; every name is one component, looked at relative to an open folder ----

  // Opens the folder at path (a folder the user chose; links on the way are followed).
  virtual Folder_Result Open_Folder(const std::string& path) = 0;
  // Opens the sub-folder name; never follows a link.
  virtual Folder_Result Open_Sub_Folder(const Folder_Handle& parent, const std::string& name) = 0;
  // Creates the sub-folder name, readable and writable by the owner only.
  virtual int Make_Sub_Folder(const Folder_Handle& parent, const std::string& name) = 0;
  // Removes the entry name itself (an empty folder when folder is set); never follows a link.
  virtual int Remove_Entry(const Folder_Handle& parent, const std::string& name, bool folder) = 0;
  // The entry name as it is, not followed.
  virtual Entry_Facts Entry(const Folder_Handle& parent, const std::string& name) = 0;
  // The open folder itself.
  virtual Entry_Facts Facts(const Folder_Handle& folder) = 0;
  // The entries of the folder in the order the system lists them, without "." and "..".
  virtual std::vector<Folder_Entry> List(const Folder_Handle& folder, int& error) = 0;
  // Makes the open folder the process's own and private (owner only), so that nobody else
  // can add to it any more; returns 0 or the error number.
  virtual int Take_Over(const Folder_Handle& folder) = 0;
  // Takes the folder's exclusive advisory lock without waiting; it lasts until the handle is
  // closed. Returns 0, EWOULDBLOCK when another holder has it, or why locking failed.
  virtual int Lock_Folder(const Folder_Handle& folder) = 0;
  // Bytes available to the process on the file system that holds the folder; -1 when the
  // file system cannot be asked.
  virtual std::int64_t Free_Bytes(const Folder_Handle& folder) = 0;
  // The allocation unit of the file system that holds the folder, in bytes (what a folder
  // grows by as names are added); 0 when it cannot be asked.
  virtual std::int64_t Block_Bytes(const Folder_Handle& folder) = 0;
  // The user the process acts as.
  virtual unsigned Effective_User() = 0;

  // ---- files for timed transfers ----

  // Creates the file name, which must not exist yet (a link in its place is not followed),
  // for reading and writing by the owner only. With unbuffered set the file bypasses the page
  // cache; a file system that refuses that gets a buffered file, which the mode tells.
  virtual Open_Result Create_File(const Folder_Handle& folder, const std::string& name, bool unbuffered) = 0;
  // Opens the existing file name for reading; never follows a link.
  virtual Open_Result Open_File(const Folder_Handle& folder, const std::string& name, bool unbuffered) = 0;
  // Writes all n bytes, looping on short writes. Returns the bytes written; error is set
  // when fewer than n were written.
  virtual std::int64_t Write_All(File_Handle& file, const void* data, std::size_t n, int& error) = 0;
  // Reads up to n bytes, looping on short reads until n bytes or the end of the file.
  virtual std::int64_t Read_Full(File_Handle& file, void* data, std::size_t n, int& error) = 0;
  // Forces the file's data and metadata out; returns 0 or the error number.
  virtual int Flush_File(File_Handle& file) = 0;
  // Forces the file's data out and drops its cached pages, so that a later read reaches
  // the device; returns 0 or the error number.
  virtual int Sync_And_Drop_Cache(File_Handle& file) = 0;
  // Drops the cached pages of a file that has no dirty data.
  virtual void Drop_Cache(File_Handle& file) = 0;
  // The direct-transfer alignment (offset and length) of the file; 0 when unknown.
  virtual std::size_t Direct_Io_Alignment(File_Handle& file) = 0;
  // The file's size in bytes; -1 when it cannot be asked.
  virtual std::int64_t File_Size(File_Handle& file) = 0;
  // A queue of transfers in flight on the open file (see io_queue.h). The file must stay
  // open while the queue lives.
  virtual Io_Queue_Result Open_Io_Queue(File_Handle& file, const Io_Queue_Options& options) = 0;
  // The space the file really takes on its file system; -1 when it cannot be asked.
  virtual std::int64_t Allocated_Bytes(File_Handle& file) = 0;

  // The counters of the block device under the file system that holds the folder: read
  // before and after a timed span, they tell what really reached the device.
  virtual Device_Counters Counters_Of_Device(const Folder_Handle& folder) = 0;

  // ---- volumes ----

  virtual Volume_Facts Volume(const std::string& path) = 0;
  // Chooses the folder a run on drive (a mount point) works in; false with the reason
  // when there is none.
  virtual bool Resolve_Work_Folder(const std::string& drive, std::string& folder, std::string& reason) = 0;
};

// The back end of the system the program runs on.
Platform& System_Platform();

}  // namespace platform
