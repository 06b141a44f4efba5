// The operating-system calls that the benchmark makes, behind one interface so that tests
// can stand in for a failing disk and another system can have its own back end.
#pragma once

#include <cstdint>
#include <string>

#include "platform/files.h"
#include "platform/volumes.h"

namespace platform {

class Platform {
 public:
  virtual ~Platform() = default;

  virtual Open_Result Open_Transfer_File(const std::string& path, bool create, bool unbuffered);
  virtual std::int64_t Write_All(File_Handle& file, const void* data, std::size_t n, int& error);
  virtual std::int64_t Read_Full(File_Handle& file, void* data, std::size_t n, int& error);
  virtual int Flush_File(File_Handle& file);
  virtual int Sync_And_Drop_Cache(File_Handle& file);
  virtual void Drop_Cache(File_Handle& file);
  virtual std::size_t Direct_Io_Alignment(File_Handle& file);

  virtual std::int64_t Disk_Free(const std::string& path);
  // The space one small file takes at least on the file system that holds path.
  virtual std::int64_t Allocation_Unit(const std::string& path);
  virtual Volume_Facts Volume(const std::string& path);
  virtual bool Resolve_Work_Folder(const std::string& drive, std::string& folder, std::string& reason);

  // Creates a folder with all missing parents.
  virtual bool Make_Folders(const std::string& folder, std::string& reason);
  // Deletes everything inside folder (files and sub-folders, never following links); with
  // remove_folder set, the folder too. A missing folder counts as done.
  virtual bool Remove_Tree(const std::string& folder, bool remove_folder, std::string& reason);
};

// The back end of the system the program runs on.
Platform& System_Platform();

}  // namespace platform
