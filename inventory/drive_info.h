// The facts of one drive (a mounted file system) that the benchmark and the reports use.
#pragma once

#include <cstdint>
#include <string>

namespace platform {
class Platform;
}

struct MY_DriveInfo {
  std::string VolumeName;
  std::string SerialNumber;
  std::string FileSystemType;
  std::int32_t DriveType = 0;  // 1 removable, 2 fixed, 3 network, 4 optical, 5 RAM disk, 0 unknown
  bool CaseIsPreserved = false;
  bool CaseSensitive = false;
  bool UnicodeStoredOnDisk = false;
  bool PersistentAcls = false;
  bool FileCompression = false;
  bool VolumeIsCompressed = false;
  bool LongFileNames = false;
  std::int64_t FreeSpace = 0;
  std::int64_t TotalSpace = 0;
  std::int64_t SectorPerCluster = 0;
  std::int64_t BytesPerCluster = 0;
  std::int64_t FreeClusters = 0;
  std::int64_t TotalClusters = 0;
  std::string PhysicalVolumeName;
  std::string Model;
  std::string FirmwareRevision;
};

// Fills info for the drive that holds path. Returns false (info left empty) when the file
// system cannot be asked.
bool Get_Drive_Info(const std::string& path, MY_DriveInfo& info, platform::Platform& os);
