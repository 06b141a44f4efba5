// Drive discovery: the facts of one drive (a mounted file system) that the benchmark and
// the reports use, and the list of drives the user may pick from.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "platform/inventory_provider.h"

struct MY_DriveInfo {
  std::string VolumeName;      // file-system label
  std::string SerialNumber;    // the volume's 32-bit serial as decimal text (from its UUID or volume id)
  std::string FileSystemType;
  std::int32_t DriveType = 0;  // 1 removable, 2 fixed, 3 network, 4 optical, 5 RAM disk, 0 unknown
  bool CaseIsPreserved = false;
  bool CaseSensitive = false;
  bool UnicodeStoredOnDisk = false;
  bool PersistentAcls = false;
  bool FileCompression = false;
  bool VolumeIsCompressed = false;
  bool LongFileNames = false;
  std::int64_t FreeSpace = 0;         // bytes available to the caller
  std::int64_t TotalSpace = 0;        // bytes
  std::int64_t SectorPerCluster = 0;  // 1: the file system's block is the unit
  std::int64_t BytesPerCluster = 0;   // the size of that unit
  std::int64_t FreeClusters = 0;
  std::int64_t TotalClusters = 0;
  std::string PhysicalVolumeName;     // DeviceID of the physical disk that holds the volume
  std::string Model;                  // that disk's model; "Generic Disk" when it reports none
  std::string FirmwareRevision;
};

// One listed drive; entry k of the drive list and MyLogicalDisks[k] describe the same drive.
struct TMyLogicalDisks {
  std::string DeviceName;      // the mount point with a trailing "/" ("/" stays "/")
  std::int64_t Size = 0;
  std::string SizeFormatted;
  std::string Model;           // the disk model, the volume label, "Network Drive" or "Generic Disk"
  std::string SerialNumber;    // the volume inventory's serial text (the file-system UUID)
  std::string DriveType;       // "2" removable, "3" local disk, "4" network drive
  std::string FileSystemType;
  std::string Firmware;
};

using DISK_EXTENT = platform::Disk_Extent;

// Writes one line of the drive listing's progress (the window's guarded log).
using Drive_Log = std::function<void(const std::string&)>;

// Fills Info for the drive that holds Root (a mount point or any path on it; "/mnt/usb" and
// "/mnt/usb/" give the same record). Returns true when the file system and its space
// figures could be read. The disk that holds the volume is looked up in the disk inventory
// and gives Model, FirmwareRevision and PhysicalVolumeName; they stay empty when the disk
// cannot be found. Never throws: an error is logged and the facts read so far are kept. A
// network drive that does not answer within its time limit is not waited for: what it
// could not tell stays empty, and the log says so.
bool Get_Drive_Info(const std::string& Root, MY_DriveInfo& Info, platform::Inventory_Provider& provider);

// The first disk extent of the volume mounted at MountPoint; all zero when it cannot be
// obtained. Never throws.
DISK_EXTENT Get_Volume_Disk_Extent(const std::string& MountPoint, platform::Inventory_Provider& provider);

// The 1-based position of Part inside Text, both trimmed and compared without regard to
// letter case; -1 when Part does not occur or either text is empty.
std::int32_t Find_Text_No_Case(const std::string& Text, const std::string& Part);

// The 32-bit volume serial that a file-system UUID stands for, as decimal text: its first
// eight hexadecimal digits (the whole volume id of FAT and exFAT); empty when it has none.
std::string Serial_From_Uuid(const std::string& uuid);

// Builds the drive list: every volume of the inventory that has a size and is a removable,
// local or network drive, as "<DeviceName> (<size>) <model>". entries is replaced;
// MyLogicalDisks[0..n] are overwritten with the listed drives, higher positions are left
// as they were. The entries are ordered as a sorted list shows them (ascending text), so
// that entry k and MyLogicalDisks[k] stay the same drive after the list sorts itself.
// Returns false only when an error ended the listing at its first volume; an error of the
// volume inventory itself (platform::Inventory_Error) is passed on with entries empty. A
// network share that does not answer in time has no size and is therefore not listed; the
// log says which.
bool Get_All_Local_Drives(std::vector<std::string>& entries, std::array<TMyLogicalDisks, 31>& MyLogicalDisks,
                          platform::Inventory_Provider& provider, const Drive_Log& local_writelog);

// The folder a run on a listed drive works on: DeviceName without its trailing "/".
std::string Drive_Mount_Point(const TMyLogicalDisks& drive);
