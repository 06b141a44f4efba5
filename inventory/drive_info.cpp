#include "inventory/drive_info.h"

#include <QString>

#include <algorithm>
#include <cctype>
#include <set>

#include "common/global_functions.h"
#include "common/log.h"
#include "common/plain_text.h"
#include "inventory/wmi_functions.h"

namespace {

// What a file system can do, by its type; a type not named here gets the common answer of
// a Linux file system.
void Set_Capabilities(const std::string& type, MY_DriveInfo& info) {
  auto in = [&](std::initializer_list<const char*> names) {
    return std::any_of(names.begin(), names.end(), [&](const char* name) { return type == name; });
  };
  const bool fat = in({"vfat", "msdos", "fat", "exfat"});
  info.CaseSensitive = !fat;
  info.CaseIsPreserved = type != "msdos";
  info.UnicodeStoredOnDisk = in({"vfat", "exfat", "ntfs", "ntfs3", "udf", "hfsplus", "apfs", "iso9660"});
  info.PersistentAcls =
      in({"ext2", "ext3", "ext4", "xfs", "btrfs", "f2fs", "jfs", "reiserfs", "zfs", "bcachefs", "ntfs", "ntfs3", "nfs4",
          "cifs", "smb3"});
  info.FileCompression = in({"btrfs", "zfs", "f2fs", "ntfs", "ntfs3", "bcachefs"});
  info.VolumeIsCompressed = in({"squashfs", "erofs", "cramfs"});
}

std::string Upper_Trimmed(const std::string& text) { return QString::fromStdString(text).trimmed().toUpper().toStdString(); }

// The disk of a volume is the row whose identifier ends with the whole key, so that the
// key of disk 1 does not also take disk 10.
bool Is_Disk_Of(const std::string& device_id, const std::string& key) {
  return Find_Text_No_Case(device_id, key) > 0 && Upper_Trimmed(device_id).ends_with(Upper_Trimmed(key));
}

}  // namespace

std::int32_t Find_Text_No_Case(const std::string& Text, const std::string& Part) {
  const QString text = QString::fromStdString(Text).trimmed().toUpper();
  const QString part = QString::fromStdString(Part).trimmed().toUpper();
  if (text.isEmpty() || part.isEmpty()) return -1;
  const qsizetype at = text.indexOf(part);
  return at < 0 ? -1 : static_cast<std::int32_t>(at + 1);
}

std::string Serial_From_Uuid(const std::string& uuid) {
  std::string digits;
  for (char c : uuid)
    if (std::isxdigit(static_cast<unsigned char>(c))) digits += c;
    else if (c != '-') return "";  // not a hexadecimal identifier
  if (digits.empty()) return "";
  // NTFS gives its 64-bit serial, whose low half is the volume serial; others start with it.
  const bool ntfs_serial = digits.size() == 16 && uuid.find('-') == std::string::npos;
  const std::string part = ntfs_serial ? digits.substr(8) : digits.substr(0, 8);
  return std::to_string(std::stoul(part, nullptr, 16));
}

bool Get_Drive_Info(const std::string& Root, MY_DriveInfo& Info, platform::Inventory_Provider& provider) {
  Info = MY_DriveInfo{};
  bool result = false;
  try {
    const platform::Volume_Information volume = provider.Volume(Root);
    for (const std::string& note : provider.Take_Notes()) Write_Log(note);
    if (!volume.ok) return false;
    Set_Capabilities(volume.file_system, Info);
    Info.LongFileNames = static_cast<double>(volume.max_name_length) > 8.3;
    Info.VolumeName = Label_Text(volume.label);
    Info.SerialNumber = Serial_From_Uuid(volume.uuid);
    Info.FileSystemType = volume.file_system;
    Info.DriveType = volume.drive_type;
    if (volume.space_ok) {
      Info.SectorPerCluster = 1;
      Info.BytesPerCluster = volume.block_size;
      Info.FreeClusters = volume.free_blocks;
      Info.TotalClusters = volume.total_blocks;
      Info.FreeSpace = volume.free_blocks * volume.block_size;
      Info.TotalSpace = volume.total_blocks * volume.block_size;
      result = true;
    }
    // A volume whose disk cannot be found gets no disk's model: an unknown extent is not
    // read as disk 0.
    const DISK_EXTENT extent = Get_Volume_Disk_Extent(volume.mount_point, provider);
    if (extent.ExtentLength > 0) {
      const std::string key = "PHYSICALDRIVE" + std::to_string(extent.DiskNumber);
      std::array<MY_WMI_PhysicalDiskDrive_Record, 31> disks;
      Get_WMI_Physical_Disks(disks, 30, provider);
      for (const auto& disk : disks)
        if (Is_Disk_Of(disk.DeviceID, key)) {
          Info.PhysicalVolumeName = disk.DeviceID;
          Info.Model = disk.Model.empty() ? "Generic Disk" : disk.Model;  // a label's form already
          Info.FirmwareRevision = disk.FirmwareRevision;
          break;
        }
    }
  } catch (const std::exception& error) {
    Write_Log(Error_Line(error));
  }
  return result;
}

DISK_EXTENT Get_Volume_Disk_Extent(const std::string& MountPoint, platform::Inventory_Provider& provider) {
  try {
    return provider.Volume_Disk_Extent(MountPoint);
  } catch (...) {
    return {};
  }
}

bool Get_All_Local_Drives(std::vector<std::string>& entries, std::array<TMyLogicalDisks, 31>& MyLogicalDisks,
                          platform::Inventory_Provider& provider, const Drive_Log& local_writelog) {
  auto say = [&](const std::string& text) {
    if (local_writelog) local_writelog(text);
  };
  say("Getting Drive List Start");
  entries.clear();
  std::array<MY_WMI_LogicalDiskDrive_Record, 31> rows;
  try {
    Get_WMI_Logical_Disks(rows, 30, provider);
    for (const std::string& note : provider.Take_Notes()) say(note);
  } catch (...) {
    say("Getting Drive List Finish");
    throw;
  }

  struct Listed {
    std::string entry;
    TMyLogicalDisks drive;
  };
  std::vector<Listed> listed;
  bool result = true;
  std::size_t position = 0;
  try {
    for (position = 0; position < rows.size(); ++position) {
      const MY_WMI_LogicalDiskDrive_Record& row = rows[position];
      if (row.DeviceID.empty()) continue;
      const std::int64_t size = Str_To_Int64_Safe(row.Size);
      if (size <= 0) continue;
      if (row.DriveType != "2" && row.DriveType != "3" && row.DriveType != "4") continue;
      MY_DriveInfo info;
      Get_Drive_Info(row.DeviceID, info, provider);
      std::string model = "Network Drive";
      if (row.DriveType != "4") model = !info.Model.empty() ? info.Model : !info.VolumeName.empty() ? info.VolumeName : "Generic Disk";
      TMyLogicalDisks drive;
      drive.DeviceName = row.DeviceID.ends_with('/') ? row.DeviceID : row.DeviceID + "/";
      drive.Size = size;
      drive.SizeFormatted = row.SizeFormatted;
      drive.Model = model;
      drive.SerialNumber = row.VolumeSerialNumber;
      drive.DriveType = row.DriveType;
      drive.FileSystemType = row.FileSystem;
      drive.Firmware = info.FirmwareRevision;
      listed.push_back({drive.DeviceName + " (" + drive.SizeFormatted + ") " + model, drive});
    }
  } catch (const std::exception& error) {
    say(Error_Line(error));
    result = position != 0;
  }

  // The drive list sorts its entries by text (case-sensitive, code unit by code unit);
  // storing in that order keeps entry k and MyLogicalDisks[k] together. Ordering by mount
  // point alone would not: "/data" sorts before "/data-2", but "/data/ (" after "/data-2/ (".
  std::stable_sort(listed.begin(), listed.end(), [](const Listed& a, const Listed& b) {
    return QString::fromStdString(a.entry).compare(QString::fromStdString(b.entry), Qt::CaseSensitive) < 0;
  });
  for (std::size_t k = 0; k < listed.size() && k < MyLogicalDisks.size(); ++k) {
    entries.push_back(listed[k].entry);
    MyLogicalDisks[k] = listed[k].drive;
  }
  say("Getting Drive List Finish");
  return result;
}

std::string Drive_Mount_Point(const TMyLogicalDisks& drive) {
  std::string point = drive.DeviceName;
  while (point.size() > 1 && point.back() == '/') point.pop_back();
  return point;
}
