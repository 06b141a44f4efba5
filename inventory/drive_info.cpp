#include "inventory/drive_info.h"

#include "platform/platform.h"

bool Get_Drive_Info(const std::string& path, MY_DriveInfo& info, platform::Platform& os) {
  info = MY_DriveInfo{};
  platform::Volume_Facts facts = os.Volume(path);
  if (!facts.ok) return false;
  info.FileSystemType = facts.file_system;
  info.DriveType = facts.drive_type;
  info.FreeSpace = facts.free_bytes;
  info.TotalSpace = facts.total_bytes;
  info.CaseIsPreserved = true;
  info.CaseSensitive = true;
  info.UnicodeStoredOnDisk = true;
  info.LongFileNames = true;
  return true;
}
