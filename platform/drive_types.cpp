// The mount table through libmount, the block device under a mount from sysfs, and the one
// drive-type rule.
#include "platform/drive_types.h"

#include <libmount.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>

#include <algorithm>
#include <fstream>
#include <memory>
#include <system_error>

#include "platform/volumes.h"

namespace fs = std::filesystem;

namespace platform {

namespace {

std::string First_Word(const fs::path& file) {
  std::ifstream in(file);
  std::string word;
  in >> word;
  return word;
}

fs::path Real_Path(const fs::path& path) {
  std::error_code ec;
  fs::path real = fs::canonical(path, ec);
  return ec ? fs::path() : real;
}

// Whether folder is path itself or a folder above it, by names.
bool Holds(const std::string& folder, const std::string& path) {
  if (folder == "/") return true;
  return path == folder || (path.size() > folder.size() && path.compare(0, folder.size(), folder) == 0 &&
                            path[folder.size()] == '/');
}

// The disk a device-mapper or RAID device is built on: its first underlying device's disk.
fs::path Underlying_Disk(const fs::path& block) {
  fs::path disk = Whole_Disk_Of(block);
  for (int depth = 0; depth < 8; ++depth) {
    std::vector<fs::path> slaves;
    std::error_code ec;
    for (fs::directory_iterator it(disk / "slaves", ec), end; !ec && it != end; it.increment(ec)) slaves.push_back(it->path());
    if (slaves.empty()) break;
    std::sort(slaves.begin(), slaves.end());
    const fs::path next = Real_Path(slaves.front());
    if (next.empty()) break;
    disk = Whole_Disk_Of(next);
  }
  return disk;
}

}  // namespace

std::vector<Mount> Read_Mount_Table(const std::string& proc) {
  std::vector<Mount> mounts;
  std::unique_ptr<libmnt_table, void (*)(libmnt_table*)> table(nullptr, mnt_unref_table);
  for (const char* name : {"/self/mountinfo", "/mounts"}) {
    table.reset(mnt_new_table_from_file((proc + name).c_str()));
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

const Mount* Mount_Holding(const std::vector<Mount>& mounts, const std::string& path) {
  const std::string normal = fs::path(path).lexically_normal().string();
  const Mount* found = nullptr;
  for (const auto& mount : mounts)  // a later mount at the same place hides the earlier one
    if (Holds(mount.target, normal) && (found == nullptr || mount.target.size() >= found->target.size()))
      found = &mount;
  return found;
}

fs::path Block_Of(const Mount& mount, const std::string& sys, const std::string& dev) {
  auto by_number = [&](dev_t number) {
    return Real_Path(fs::path(sys) / "dev" / "block" /
                     (std::to_string(major(number)) + ":" + std::to_string(minor(number))));
  };
  if (major(mount.devno) != 0)
    if (fs::path real = by_number(mount.devno); !real.empty()) return real;
  // File systems such as btrfs show a device number of their own; the source names the device.
  if (mount.source.rfind("/dev/", 0) == 0) {
    struct stat st {};
    const std::string node = dev + mount.source.substr(4);
    if (::stat(node.c_str(), &st) == 0 && S_ISBLK(st.st_mode)) return by_number(st.st_rdev);
  }
  return {};
}

fs::path Whole_Disk_Of(const fs::path& block) {
  std::error_code ec;
  return fs::exists(block / "partition", ec) ? block.parent_path() : block;
}

Drive_Evidence Read_Drive_Evidence(const Mount& mount, const fs::path& block) {
  Drive_Evidence evidence;
  evidence.file_system = mount.fstype;
  evidence.network = mount.net;
  if (block.empty()) return evidence;
  const fs::path disk = Underlying_Disk(block);
  evidence.removable = First_Word(disk / "removable") == "1";
  // SCSI peripheral type 5 is a CD/DVD drive; "sr" is the kernel's name for one.
  evidence.optical = disk.filename().string().rfind("sr", 0) == 0 || First_Word(disk / "device" / "type") == "5";
  return evidence;
}

int Classify_Drive(const Drive_Evidence& evidence) {
  if (Is_Ram_File_System(evidence.file_system)) return kDriveRam;
  if (evidence.network) return kDriveNetwork;
  if (evidence.optical || evidence.file_system == "iso9660") return kDriveOptical;
  if (evidence.removable) return kDriveRemovable;
  return kDriveFixed;
}

int Drive_Type_Of(const Mount& mount, const std::string& sys, const std::string& dev) {
  return Classify_Drive(Read_Drive_Evidence(mount, Block_Of(mount, sys, dev)));
}

}  // namespace platform
