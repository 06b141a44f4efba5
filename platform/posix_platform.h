// The platform on the running system: descriptors, *at() calls relative to open folders,
// direct transfer where the file system allows it.
#pragma once

#include "platform/platform.h"

namespace platform {

class Posix_Platform : public Platform {
 public:
  int Close(int id) override;

  Folder_Result Open_Folder(const std::string& path) override;
  Folder_Result Open_Sub_Folder(const Folder_Handle& parent, const std::string& name) override;
  int Make_Sub_Folder(const Folder_Handle& parent, const std::string& name) override;
  int Remove_Entry(const Folder_Handle& parent, const std::string& name, bool folder) override;
  Entry_Facts Entry(const Folder_Handle& parent, const std::string& name) override;
  Entry_Facts Facts(const Folder_Handle& folder) override;
  std::vector<Folder_Entry> List(const Folder_Handle& folder, int& error) override;
  int Take_Over(const Folder_Handle& folder) override;
  int Lock_Folder(const Folder_Handle& folder) override;
  std::int64_t Free_Bytes(const Folder_Handle& folder) override;
  std::int64_t Block_Bytes(const Folder_Handle& folder) override;
  unsigned Effective_User() override;

  Open_Result Create_File(const Folder_Handle& folder, const std::string& name, bool unbuffered) override;
  Open_Result Open_File(const Folder_Handle& folder, const std::string& name, bool unbuffered) override;
  std::int64_t Write_All(File_Handle& file, const void* data, std::size_t n, int& error) override;
  std::int64_t Read_Full(File_Handle& file, void* data, std::size_t n, int& error) override;
  int Flush_File(File_Handle& file) override;
  int Sync_And_Drop_Cache(File_Handle& file) override;
  void Drop_Cache(File_Handle& file) override;
  std::size_t Direct_Io_Alignment(File_Handle& file) override;
  std::int64_t File_Size(File_Handle& file) override;
  Io_Queue_Result Open_Io_Queue(File_Handle& file, const Io_Queue_Options& options) override;
  std::int64_t Allocated_Bytes(File_Handle& file) override;

  Device_Counters Counters_Of_Device(const Folder_Handle& folder) override;

  Volume_Facts Volume(const std::string& path) override;
  bool Resolve_Work_Folder(const std::string& drive, std::string& folder, std::string& reason) override;

 private:
  Open_Result Open_At(const Folder_Handle& folder, const std::string& name, int flags, bool unbuffered);
};

}  // namespace platform
