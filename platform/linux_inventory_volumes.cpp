// Mounted volumes: which mounts of the table count as drives and of what kind, and
// file-system labels and UUIDs from libblkid, udev or the /dev/disk links.
#include <blkid.h>
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

// Whether a mount is a drive the user would recognise: disks, network shares and RAM disks,
// not the system's own pseudo and scratch file systems.
bool Is_Drive_Mount(const Mount& mount, const fs::path& block) {
  if (Is_Under(mount.target, "/proc") || Is_Under(mount.target, "/sys") || Is_Image_Type(mount.fstype)) return false;
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

void Set_Space(Cim_Instance& row, const Path_Answer& answer) {
  row.Set_Number("FreeSpace", kCimUint64, answer.free_blocks * answer.block_size);
  row.Set_Number("Size", kCimUint64, answer.total_blocks * answer.block_size);
}

}  // namespace

namespace linux_parts {

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
  const std::vector<Mount> mounts = Read_Mount_Table(sources_.proc);
  std::map<std::string, const Mount*> visible;  // by mount point, the last mount there
  for (const auto& mount : mounts) visible[mount.target] = &mount;
  for (const auto& [target, mount] : visible) {
    const fs::path block = Block_Of(*mount, sources_.sys, sources_.dev);
    if (!Is_Drive_Mount(*mount, block)) continue;
    Path_Answer answer;
    const bool answered = Ask(target, mount->net, target, "it is listed without its size", answer);
    if (answered && !answer.is_folder) continue;  // a file bound into a container
    const int type = Classify_Drive(Read_Drive_Evidence(*mount, block));
    Cim_Instance row;
    row.Set_Text("DeviceID", target);
    row.Set_Text("Name", target);
    row.Set_Text("Caption", target);
    row.Set_Text("Description", kDescriptions[type]);
    row.Set_Number("DriveType", kCimUint32, type + 1);
    row.Set_Text("FileSystem", mount->fstype);
    if (answered) Set_Space(row, answer);
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
  if (facts.no_answer) Note_No_Answer(facts.mount_point, "its facts are left out");
  if (!facts.ok) return info;
  info.ok = true;
  info.mount_point = facts.mount_point;
  info.file_system = facts.file_system;
  info.drive_type = facts.drive_type;
  Path_Answer answer;
  if (Ask(path, facts.drive_type == kDriveNetwork, facts.mount_point, "its size is left out", answer)) {
    info.space_ok = true;
    info.block_size = answer.block_size;
    info.free_blocks = answer.free_blocks;
    info.total_blocks = answer.total_blocks;
    info.max_name_length = answer.name_max;
  }
  const std::vector<Mount> mounts = Read_Mount_Table(sources_.proc);
  if (const Mount* mount = Mount_At(mounts, facts.mount_point)) {
    const Udev_Context udev(sources_.use_udev);
    Read_Identity(Block_Of(*mount, sources_.sys, sources_.dev), sources_, udev, info.label, info.uuid);
  }
  return info;
}

Disk_Extent Linux_Inventory_Provider::Volume_Disk_Extent(const std::string& mount_point) {
  const std::vector<Mount> mounts = Read_Mount_Table(sources_.proc);
  const Mount* mount = Mount_At(mounts, mount_point);
  if (mount == nullptr) return {};
  return Extent_Of(Block_Of(*mount, sources_.sys, sources_.dev), Physical_Disks(sources_), 0);
}

}  // namespace platform
