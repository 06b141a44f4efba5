#include "platform/volumes.h"

#include <mntent.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <set>

namespace fs = std::filesystem;

namespace platform {

namespace {

struct Mount_Entry {
  std::string source, dir, type;
};

std::vector<Mount_Entry> Read_Mounts() {
  std::vector<Mount_Entry> mounts;
  FILE* f = setmntent("/proc/self/mounts", "r");
  if (f == nullptr) return mounts;
  struct mntent entry {};
  char buf[4096];
  while (getmntent_r(f, &entry, buf, sizeof buf) != nullptr)
    mounts.push_back({entry.mnt_fsname, entry.mnt_dir, entry.mnt_type});
  endmntent(f);
  return mounts;
}

std::string Read_First_Line(const fs::path& file) {
  std::ifstream in(file);
  std::string line;
  std::getline(in, line);
  return line;
}

// The type of a local block device from sysfs: removable or on USB, optical, or fixed.
int Block_Device_Type(dev_t dev) {
  std::error_code ec;
  fs::path node = "/sys/dev/block/" + std::to_string(major(dev)) + ":" + std::to_string(minor(dev));
  fs::path real = fs::canonical(node, ec);
  if (ec) return kDriveUnknown;
  fs::path disk = fs::exists(real / "partition") ? real.parent_path() : real;
  if (Read_First_Line(disk / "removable") == "1") return kDriveRemovable;
  if (real.string().find("/usb") != std::string::npos) return kDriveRemovable;
  if (disk.filename().string().rfind("sr", 0) == 0) return kDriveOptical;
  return kDriveFixed;
}

std::string Mount_Point_Of(const std::string& path, dev_t dev) {
  std::error_code ec;
  fs::path p = fs::weakly_canonical(path, ec);
  if (ec) p = path;
  while (p.has_parent_path() && p != p.root_path()) {
    struct stat st {};
    if (::stat(p.parent_path().c_str(), &st) != 0 || st.st_dev != dev) break;
    p = p.parent_path();
  }
  return p.string();
}

bool Same_File_System(const std::string& a, dev_t dev) {
  struct stat st {};
  return ::stat(a.c_str(), &st) == 0 && S_ISDIR(st.st_mode) && st.st_dev == dev;
}

}  // namespace

bool Is_Network_File_System(const std::string& type) {
  static const std::set<std::string> kNetwork = {
      "nfs",   "nfs4",   "cifs",  "smb3",  "smbfs",      "ncpfs",       "afs",        "ceph",          "glusterfs",
      "9p",    "sshfs",  "davfs", "lustre", "fuse.sshfs", "fuse.davfs2", "fuse.rclone", "fuse.glusterfs", "fuse.s3fs"};
  return kNetwork.count(type) != 0;
}

bool Is_Ram_File_System(const std::string& type) { return type == "tmpfs" || type == "ramfs"; }

std::int64_t Disk_Free_Bytes(const std::string& path) {
  if (path.empty()) return -1;
  struct statvfs sv {};
  if (::statvfs(path.c_str(), &sv) != 0) return -1;
  return static_cast<std::int64_t>(sv.f_bavail) * static_cast<std::int64_t>(sv.f_frsize);
}

Volume_Facts Get_Volume_Facts(const std::string& path) {
  Volume_Facts facts;
  struct stat st {};
  struct statvfs sv {};
  if (path.empty() || ::stat(path.c_str(), &st) != 0 || ::statvfs(path.c_str(), &sv) != 0) return facts;
  facts.ok = true;
  facts.total_bytes = static_cast<std::int64_t>(sv.f_blocks) * static_cast<std::int64_t>(sv.f_frsize);
  facts.free_bytes = static_cast<std::int64_t>(sv.f_bavail) * static_cast<std::int64_t>(sv.f_frsize);
  facts.mount_point = Mount_Point_Of(path, st.st_dev);
  for (const auto& m : Read_Mounts())  // the last entry for a mount point is the visible one
    if (m.dir == facts.mount_point) {
      facts.file_system = m.type;
      facts.device = m.source;
    }
  if (Is_Ram_File_System(facts.file_system)) {
    facts.drive_type = kDriveRam;
  } else if (Is_Network_File_System(facts.file_system)) {
    facts.drive_type = kDriveNetwork;
  } else {
    facts.drive_type = Block_Device_Type(st.st_dev);
    struct stat dev_st {};
    if (facts.drive_type == kDriveUnknown && facts.device.rfind("/dev/", 0) == 0 &&
        ::stat(facts.device.c_str(), &dev_st) == 0 && S_ISBLK(dev_st.st_mode))
      facts.drive_type = Block_Device_Type(dev_st.st_rdev);  // file systems with their own device numbers
  }
  return facts;
}

bool Resolve_Work_Folder(const std::string& drive, std::string& folder, std::string& reason) {
  folder.clear();
  if (drive.empty()) {
    reason = "no drive selected";
    return false;
  }
  struct stat st {};
  if (::stat(drive.c_str(), &st) != 0) {
    reason = std::strerror(errno);
    return false;
  }
  if (!S_ISDIR(st.st_mode)) {
    reason = std::strerror(ENOTDIR);
    return false;
  }
  if (::access(drive.c_str(), W_OK | X_OK) == 0) {
    folder = drive;
    return true;
  }
  reason = std::strerror(errno);
  std::vector<std::string> others;
  if (const char* home = std::getenv("HOME"); home != nullptr && *home != '\0') others.emplace_back(home);
  others.emplace_back("/var/tmp");
  others.emplace_back("/tmp");
  for (const auto& candidate : others)
    if (Same_File_System(candidate, st.st_dev) && ::access(candidate.c_str(), W_OK | X_OK) == 0) {
      folder = candidate;
      return true;
    }
  return false;
}

}  // namespace platform
