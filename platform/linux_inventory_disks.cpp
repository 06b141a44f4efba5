// The physical disks: which block devices count as disks, what udev and sysfs say about
// each, and where on them a block device lies.
#include <algorithm>
#include <iterator>
#include <sstream>
#include <system_error>

#include "platform/linux_inventory_parts.h"

namespace platform {

using namespace linux_parts;

namespace {

std::string Interface_Type(const Disk& disk) {
  const std::string path = disk.sys.string();
  if (path.find("/usb") != std::string::npos) return "USB";
  if (Starts_With(disk.name, "nvme")) return "NVMe";
  if (Starts_With(disk.name, "vd")) return "virtio";
  if (Starts_With(disk.name, "mmcblk")) return "SD";
  if (Starts_With(disk.name, "hd")) return "IDE";
  if (Starts_With(disk.name, "sd")) return path.find("/ata") != std::string::npos ? "IDE" : "SCSI";
  return "";
}

// The facts of one disk that come from udev or, without it, from the device's attributes.
struct Disk_Facts {
  const Disk& disk;
  fs::path device;             // the disk's device folder
  Udev_Properties properties;  // from the udev database; empty without udev
};

std::string Model_Of(const Disk_Facts& d) {
  std::string model = First_Of(d.properties, {"ID_MODEL_ENC", "ID_MODEL"});
  if (model.empty()) model = First_Attribute(d.device, {"model", "name"});  // SCSI, NVMe / MMC
  return Collapse_Blanks(model);
}

std::string Vendor_Of(const Disk_Facts& d) {
  std::string vendor = First_Of(d.properties, {"ID_VENDOR_ENC", "ID_VENDOR"});
  if (vendor.empty()) vendor = First_Attribute(d.device, {"vendor"});
  if (Starts_With(vendor, "0x")) vendor.clear();  // a bare PCI number, as virtio gives
  return vendor;
}

std::string Firmware_Of(const Disk_Facts& d) {
  std::string firmware = First_Of(d.properties, {"ID_REVISION"});
  if (firmware.empty()) firmware = First_Attribute(d.device, {"rev", "firmware_rev", "fwrev"});
  return firmware;
}

std::string Serial_Of(const Disk_Facts& d) {
  std::string serial = First_Of(d.properties, {"ID_SERIAL_SHORT"});
  if (serial.empty()) serial = First_Attribute(d.disk.sys, {"serial"});
  if (serial.empty()) serial = First_Attribute(d.device, {"serial"});
  return serial;
}

// udev's path of the device, else its folder below /sys/devices.
std::string Pnp_Id_Of(const Disk_Facts& d, const Linux_Sources& sources) {
  std::string pnp = First_Of(d.properties, {"ID_PATH"});
  if (pnp.empty()) {
    const std::string devices = (fs::path(sources.sys) / "devices").string();
    const std::string real = Resolve(d.device).string();
    pnp = Starts_With(real, devices + "/") ? real.substr(devices.size() + 1) : real;
  }
  return pnp;
}

std::int64_t Partition_Count(const fs::path& disk) {
  std::int64_t partitions = 0;
  for (const std::string& child : Folder_Names(disk)) {
    std::error_code ec;
    if (fs::exists(disk / child / "partition", ec)) ++partitions;
  }
  return partitions;
}

// SCSI disks sit at host:channel:target:lun.
void Set_Scsi_Address(Cim_Instance& row, const Disk_Facts& d) {
  std::istringstream address(Resolve(d.device).filename().string());
  std::int64_t h = 0, c = 0, t = 0, l = 0;
  char s1 = 0, s2 = 0, s3 = 0;
  if (Starts_With(d.disk.name, "sd") && address >> h >> s1 >> c >> s2 >> t >> s3 >> l && s1 == ':' && s2 == ':' &&
      s3 == ':') {
    row.Set_Number("SCSIBus", kCimUint32, c);
    row.Set_Number("SCSILogicalUnit", kCimUint16, l);
    row.Set_Number("SCSIPort", kCimUint16, h);
    row.Set_Number("SCSITargetId", kCimUint16, t);
  }
}

Cim_Instance Disk_Row(const Disk_Facts& d, std::size_t index, const std::string& host, const Linux_Sources& sources) {
  const Disk& disk = d.disk;
  Cim_Instance row;
  row.Set_Text("DeviceID", "\\\\.\\PHYSICALDRIVE" + std::to_string(index));
  row.Set_Text("SystemName", host);
  std::int64_t sector_size = 0, sectors = 0;
  if (Read_Number(disk.sys / "queue" / "logical_block_size", sector_size)) row.Set_Number("BytesPerSector", kCimUint32, sector_size);
  const std::string model = Model_Of(d);
  row.Set_Text("Caption", model);
  row.Set_Text("CreationClassName", "Win32_DiskDrive");
  row.Set_Text("Description", "Disk drive");
  row.Set_Number("Index", kCimUint32, static_cast<std::int64_t>(index));
  row.Set_Text("InterfaceType", Interface_Type(disk));
  row.Set_Text("Manufacturer", Vendor_Of(d));
  const bool have_size = Read_Number(disk.sys / "size", sectors);
  if (have_size) row.Set("MediaLoaded", Cim_Value::Scalar(kCimBoolean, sectors > 0));
  const bool removable = Read_Attribute(disk.sys / "removable") == "1";
  row.Set_Text("MediaType", removable ? "Removable Media" : "Fixed hard disk media");
  row.Set_Text("Name", "/dev/" + disk.name);
  row.Set_Text("Model", model);
  row.Set_Number("Partitions", kCimUint32, Partition_Count(disk.sys));
  row.Set_Text("PNPDeviceID", Pnp_Id_Of(d, sources));
  Set_Scsi_Address(row, d);
  if (have_size) {
    row.Set_Number("Size", kCimUint64, sectors * 512);
    if (sector_size > 0) row.Set_Number("TotalSectors", kCimUint64, sectors * 512 / sector_size);
  }
  row.Set_Text("Status", "OK");
  row.Set_Text("FirmwareRevision", Firmware_Of(d));
  row.Set_Text("SerialNumber", Serial_Of(d));
  return row;
}

}  // namespace

namespace linux_parts {

std::vector<Disk> Physical_Disks(const Linux_Sources& sources) {
  static const char* const kVirtual[] = {"loop", "ram", "zram", "dm-", "md", "nbd", "sr", "fd", "zd"};
  std::vector<Disk> disks;
  const fs::path block = fs::path(sources.sys) / "block";
  for (const std::string& name : Folder_Names(block)) {
    bool is_virtual = std::any_of(std::begin(kVirtual), std::end(kVirtual),
                                  [&](const char* prefix) { return Starts_With(name, prefix); });
    if (is_virtual) continue;
    if (Starts_With(name, "mmcblk") && name.find("boot") != std::string::npos) continue;  // eMMC boot areas
    fs::path real = Resolve(block / name);
    if (real.empty() || real.string().find("/devices/virtual/") != std::string::npos) continue;
    if (Read_Attribute(real / "hidden") == "1") continue;  // a path of a multipath disk
    disks.push_back({name, real});
  }
  return disks;
}

Disk_Extent Extent_Of(const fs::path& block, const std::vector<Disk>& disks, int depth) {
  Disk_Extent extent;
  if (block.empty() || depth > 8) return extent;
  std::int64_t start = 0, sectors = 0;
  std::error_code ec;
  if (fs::exists(block / "partition", ec)) Read_Number(block / "start", start);
  Read_Number(block / "size", sectors);
  const fs::path disk = Whole_Disk_Of(block);
  for (std::size_t i = 0; i < disks.size(); ++i)
    if (disks[i].sys == disk) {
      extent.DiskNumber = static_cast<std::uint32_t>(i);
      extent.StartingOffset = start * 512;
      extent.ExtentLength = sectors * 512;
      return extent;
    }
  std::vector<std::string> slaves = Folder_Names(block / "slaves");
  if (slaves.empty()) return extent;
  return Extent_Of(Resolve(block / "slaves" / slaves.front()), disks, depth + 1);
}

}  // namespace linux_parts

void Linux_Inventory_Provider::Disk_Drives(const Each& each) {
  const Udev_Context udev(sources_.use_udev);
  const std::vector<Disk> disks = Physical_Disks(sources_);
  const std::string host = Host_Name();
  for (std::size_t index = 0; index < disks.size(); ++index) {
    const Disk& disk = disks[index];
    const Disk_Facts facts{disk, disk.sys / "device", udev.Properties(disk.sys)};
    each(Disk_Row(facts, index, host, sources_));
  }
}

}  // namespace platform
