#include "platform/volumes.h"

#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <optional>
#include <set>

#include "platform/bounded_call.h"
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

bool Is_Kernel_File_System(const std::string& type) {
  static const std::set<std::string> kKernel = {
      "proc",      "sysfs",    "devtmpfs",    "devpts",     "cgroup",     "cgroup2",   "debugfs",
      "tracefs",   "securityfs", "pstore",    "bpf",        "configfs",   "fusectl",   "mqueue",
      "hugetlbfs", "efivarfs", "binfmt_misc", "rpc_pipefs", "nsfs",       "selinuxfs", "smackfs",
      "apparmorfs", "devfs",   "nfsd"};
  return kKernel.count(type) != 0;
}

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

Asked Ask_Path(const std::function<bool(const std::string&, Path_Answer&)>& ask, const std::string& path,
               bool network, const std::string& mount_point, std::chrono::milliseconds limit, Path_Answer& answer) {
  if (!network) return ask(path, answer) ? Asked::Answered : Asked::Refused;
  // The helper owns copies of everything: it may outlive this call.
  const std::optional<std::optional<Path_Answer>> asked = Ask_Within<std::optional<Path_Answer>>(
      mount_point, limit, [ask, path]() -> std::optional<Path_Answer> {
        Path_Answer got;
        return ask(path, got) ? std::optional<Path_Answer>(got) : std::nullopt;
      });
  if (!asked) return Asked::No_Answer;
  if (!*asked) return Asked::Refused;
  answer = **asked;
  return Asked::Answered;
}

std::string Limit_Text(std::chrono::milliseconds limit) {
  return limit.count() % 1000 == 0 ? std::to_string(limit.count() / 1000) + " s" : std::to_string(limit.count()) + " ms";
}

Volume_Facts Get_Volume_Facts(const std::string& path, const Volume_Query& query) {
  Volume_Facts facts;
  if (path.empty()) return facts;
  const std::vector<Mount> mounts = Read_Mount_Table(query.proc);
  // The share a path lies on is known from its name, before anything is asked of it.
  std::error_code ec;
  const Mount* named = Mount_Holding(mounts, fs::absolute(path, ec).string());
  const bool network = named != nullptr && named->net;
  Path_Answer answer;
  const Asked asked = Ask_Path(query.ask, path, network, network ? named->target : "", query.network_time_limit, answer);
  if (asked == Asked::No_Answer) {
    facts.no_answer = true;
    facts.mount_point = named->target;
    facts.file_system = named->fstype;
    facts.device = named->source;
    facts.drive_type = kDriveNetwork;
  }
  if (asked != Asked::Answered) return facts;
  facts.ok = true;
  facts.total_bytes = answer.total_blocks * answer.block_size;
  facts.free_bytes = answer.free_blocks * answer.block_size;
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
  std::error_code ec;
  const std::vector<Mount> mounts = Read_Mount_Table();
  const Mount* mount = Mount_Holding(mounts, fs::weakly_canonical(fs::absolute(drive, ec), ec).string());
  if (mount != nullptr && Is_Kernel_File_System(mount->fstype)) {
    reason = mount->fstype + " is not a disk file system";
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
