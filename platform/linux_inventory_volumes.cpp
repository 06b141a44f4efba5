// Mounted volumes: the mount table from libmount, which mounts count as drives and of what
// kind, the block device under each, and file-system labels and UUIDs from libblkid, udev
// or the /dev/disk links.
#include <blkid.h>
#include <libmount.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <memory>
#include <set>

#include "platform/linux_inventory_parts.h"
#include "platform/volumes.h"

namespace platform {

using namespace linux_parts;

namespace {

// Read-only images (snap packages and the like) are not drives.
bool Is_Image_Type(const std::string& type) { return type == "squashfs" || type == "erofs" || type == "cramfs"; }

int Drive_Type_Of(const Mount& mount, const fs::path& block) {
  if (Is_Ram_File_System(mount.fstype)) return kDriveRam;
  if (mount.net) return kDriveNetwork;
  if (mount.fstype == "iso9660" || mount.fstype == "udf") return kDriveOptical;
  if (block.empty()) return kDriveFixed;
  const fs::path disk = Whole_Disk_Of(block);
  if (Read_Attribute(disk / "removable") == "1" || block.string().find("/usb") != std::string::npos)
    return kDriveRemovable;
  if (Starts_With(disk.filename().string(), "sr")) return kDriveOptical;
  return kDriveFixed;
}

// Whether a mount is a drive the user would recognise: disks, network shares and RAM disks,
// not the system's own pseudo and scratch file systems.
bool Is_Drive_Mount(const Mount& mount, const fs::path& block) {
  if (Is_Under(mount.target, "/proc") || Is_Under(mount.target, "/sys") || Is_Image_Type(mount.fstype)) return false;
  struct stat st {};
  if (::stat(mount.target.c_str(), &st) == 0 && !S_ISDIR(st.st_mode)) return false;  // a file bound into a container
  if (Is_Ram_File_System(mount.fstype)) return !Is_Under(mount.target, "/dev") && !Is_Under(mount.target, "/run");
  if (mount.net) return true;
  if (mount.pseudo) return false;
  return !block.empty() || mount.fstype == "zfs" || mount.fstype == "bcachefs";
}

// The label and UUID that libblkid finds on the device node; either stays as it is when the
// device does not name it.
void Probe_Identity(const std::string& node, std::string& label, std::string& uuid) {
  std::unique_ptr<blkid_struct_probe, void (*)(blkid_probe)> probe(blkid_new_probe_from_filename(node.c_str()),
                                                                   blkid_free_probe);
  if (!probe) return;
  blkid_probe_enable_superblocks(probe.get(), 1);
  blkid_probe_set_superblocks_flags(probe.get(), BLKID_SUBLKS_LABEL | BLKID_SUBLKS_UUID);
  if (blkid_do_safeprobe(probe.get()) != 0) return;
  const char* value = nullptr;
  if (blkid_probe_lookup_value(probe.get(), "LABEL", &value, nullptr) == 0 && value) label = value;
  if (blkid_probe_lookup_value(probe.get(), "UUID", &value, nullptr) == 0 && value) uuid = value;
}

// The name of the link in /dev/disk/<folder> that leads to the device; empty when none does.
std::string Link_To(const Linux_Sources& sources, const char* folder, const std::string& name) {
  const fs::path links = fs::path(sources.dev) / "disk" / folder;
  for (const std::string& link : Folder_Names(links)) {
    fs::path target = Resolve(links / link);
    if (!target.empty() && target.filename() == name) return Decode_Udev(link);
  }
  return "";
}

// What a statvfs of the mount point says about its space.
void Set_Space(Cim_Instance& row, const std::string& target) {
  struct statvfs sv {};
  if (::statvfs(target.c_str(), &sv) == 0) {
    const auto unit = static_cast<std::int64_t>(sv.f_frsize);
    row.Set_Number("FreeSpace", kCimUint64, static_cast<std::int64_t>(sv.f_bavail) * unit);
    row.Set_Number("Size", kCimUint64, static_cast<std::int64_t>(sv.f_blocks) * unit);
  }
}

}  // namespace

namespace linux_parts {

std::vector<Mount> Read_Mounts(const Linux_Sources& sources) {
  std::vector<Mount> mounts;
  std::unique_ptr<libmnt_table, void (*)(libmnt_table*)> table(nullptr, mnt_unref_table);
  for (const char* name : {"/self/mountinfo", "/mounts"}) {
    table.reset(mnt_new_table_from_file((sources.proc + name).c_str()));
    if (table) break;
  }
  if (!table) return mounts;
  std::unique_ptr<libmnt_iter, void (*)(libmnt_iter*)> iter(mnt_new_iter(MNT_ITER_FORWARD), mnt_free_iter);
  libmnt_fs* entry = nullptr;
  while (iter && mnt_table_next_fs(table.get(), iter.get(), &entry) == 0) {
    Mount mount;
    if (const char* target = mnt_fs_get_target(entry)) mount.target = target;
    if (const char* source = mnt_fs_get_source(entry)) mount.source = source;
    if (const char* type = mnt_fs_get_fstype(entry)) mount.fstype = type;
    mount.devno = mnt_fs_get_devno(entry);
    mount.pseudo = mnt_fs_is_pseudofs(entry) != 0;
    mount.net = mnt_fs_is_netfs(entry) != 0 || Is_Network_File_System(mount.fstype);
    if (!mount.target.empty()) mounts.push_back(std::move(mount));
  }
  return mounts;
}

const Mount* Mount_At(const std::vector<Mount>& mounts, std::string target) {
  while (target.size() > 1 && target.back() == '/') target.pop_back();
  const Mount* found = nullptr;
  for (const auto& mount : mounts)
    if (mount.target == target) found = &mount;
  return found;
}

fs::path Block_Of(const Mount& mount, const Linux_Sources& sources) {
  auto by_number = [&](dev_t dev) {
    return Resolve(fs::path(sources.sys) / "dev" / "block" /
                   (std::to_string(major(dev)) + ":" + std::to_string(minor(dev))));
  };
  if (major(mount.devno) != 0)
    if (fs::path real = by_number(mount.devno); !real.empty()) return real;
  // File systems such as btrfs show a device number of their own; the source names the device.
  if (Starts_With(mount.source, "/dev/")) {
    struct stat st {};
    const std::string node = sources.dev + mount.source.substr(4);
    if (::stat(node.c_str(), &st) == 0 && S_ISBLK(st.st_mode)) return by_number(st.st_rdev);
  }
  return {};
}

void Read_Identity(const fs::path& block, const Linux_Sources& sources, const Udev_Context& udev, std::string& label,
                   std::string& uuid) {
  label.clear();
  uuid.clear();
  if (block.empty()) return;
  const std::string name = block.filename().string();
  const std::string node = sources.dev + "/" + name;
  if (sources.probe_devices && ::access(node.c_str(), R_OK) == 0) Probe_Identity(node, label, uuid);
  if (label.empty() && uuid.empty()) {
    auto properties = udev.Properties(block);
    label = First_Of(properties, {"ID_FS_LABEL_ENC", "ID_FS_LABEL"});
    uuid = First_Of(properties, {"ID_FS_UUID"});
  }
  if (label.empty() && uuid.empty()) {
    label = Link_To(sources, "by-label", name);
    uuid = Link_To(sources, "by-uuid", name);
  }
}

}  // namespace linux_parts

void Linux_Inventory_Provider::Logical_Disks(const Each& each) {
  static const char* const kDescriptions[] = {"Unknown",    "Removable Disk", "Local Fixed Disk",
                                              "Network Connection", "CD-ROM Disc", "RAM Disk"};
  const Udev_Context udev(sources_.use_udev);
  const std::vector<Mount> mounts = Read_Mounts(sources_);
  std::map<std::string, const Mount*> visible;  // by mount point, the last mount there
  for (const auto& mount : mounts) visible[mount.target] = &mount;
  for (const auto& [target, mount] : visible) {
    const fs::path block = Block_Of(*mount, sources_);
    if (!Is_Drive_Mount(*mount, block)) continue;
    const int type = Drive_Type_Of(*mount, block);
    Cim_Instance row;
    row.Set_Text("DeviceID", target);
    row.Set_Text("Name", target);
    row.Set_Text("Caption", target);
    row.Set_Text("Description", kDescriptions[type]);
    row.Set_Number("DriveType", kCimUint32, type + 1);
    row.Set_Text("FileSystem", mount->fstype);
    Set_Space(row, target);
    if (mount->net) row.Set_Text("ProviderName", mount->source);
    std::string label, uuid;
    Read_Identity(block, sources_, udev, label, uuid);
    row.Set_Text("VolumeName", label);
    row.Set_Text("VolumeSerialNumber", uuid);
    each(row);
  }
}

Volume_Information Linux_Inventory_Provider::Volume(const std::string& path) {
  Volume_Information info;
  const Volume_Facts facts = os_.Volume(path);
  if (!facts.ok) return info;
  info.ok = true;
  info.mount_point = facts.mount_point;
  info.file_system = facts.file_system;
  info.drive_type = facts.drive_type;
  struct statvfs sv {};
  if (::statvfs(path.c_str(), &sv) == 0) {
    info.space_ok = true;
    info.block_size = static_cast<std::int64_t>(sv.f_frsize);
    info.free_blocks = static_cast<std::int64_t>(sv.f_bavail);
    info.total_blocks = static_cast<std::int64_t>(sv.f_blocks);
    info.max_name_length = static_cast<std::int64_t>(sv.f_namemax);
  }
  const std::vector<Mount> mounts = Read_Mounts(sources_);
  if (const Mount* mount = Mount_At(mounts, facts.mount_point)) {
    const Udev_Context udev(sources_.use_udev);
    Read_Identity(Block_Of(*mount, sources_), sources_, udev, info.label, info.uuid);
  }
  return info;
}

Disk_Extent Linux_Inventory_Provider::Volume_Disk_Extent(const std::string& mount_point) {
  const std::vector<Mount> mounts = Read_Mounts(sources_);
  const Mount* mount = Mount_At(mounts, mount_point);
  if (mount == nullptr) return {};
  return Extent_Of(Block_Of(*mount, sources_), Physical_Disks(sources_), 0);
}

}  // namespace platform
