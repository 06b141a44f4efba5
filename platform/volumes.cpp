#include "platform/volumes.h"

#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <set>

#include "platform/drive_types.h"

namespace fs = std::filesystem;

namespace platform {

namespace {

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

bool Ask_File_System(const std::string& path, Path_Answer& answer) {
  struct stat st {};
  struct statvfs sv {};
  if (::stat(path.c_str(), &st) != 0 || ::statvfs(path.c_str(), &sv) != 0) return false;
  std::error_code ec;
  const fs::path real = fs::weakly_canonical(fs::absolute(path, ec), ec);
  answer.real_path = ec ? fs::absolute(path, ec).lexically_normal().string() : real.string();
  answer.is_folder = S_ISDIR(st.st_mode);
  answer.block_size = static_cast<std::int64_t>(sv.f_frsize);
  answer.total_blocks = static_cast<std::int64_t>(sv.f_blocks);
  answer.free_blocks = static_cast<std::int64_t>(sv.f_bavail);
  answer.name_max = static_cast<std::int64_t>(sv.f_namemax);
  return true;
}

Volume_Facts Get_Volume_Facts(const std::string& path, const Volume_Query& query) {
  Volume_Facts facts;
  Path_Answer answer;
  if (path.empty() || !Ask_File_System(path, answer)) return facts;
  facts.ok = true;
  facts.total_bytes = answer.total_blocks * answer.block_size;
  facts.free_bytes = answer.free_blocks * answer.block_size;
  const std::vector<Mount> mounts = Read_Mount_Table(query.proc);
  if (const Mount* mount = Mount_Holding(mounts, answer.real_path)) {
    facts.mount_point = mount->target;
    facts.file_system = mount->fstype;
    facts.device = mount->source;
    facts.drive_type = Drive_Type_Of(*mount, query.sys, query.dev);
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
