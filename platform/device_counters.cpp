// The counters of the block device under a file system: the device that st_dev names, or,
// for btrfs (whose st_dev is a number of its own), the sum over the devices it is built on.
#include "platform/device_counters.h"

#include <linux/btrfs.h>
#include <linux/magic.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/statfs.h>
#include <sys/sysmacros.h>

#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <system_error>

#include "platform/drive_types.h"
#include "platform/files.h"

namespace fs = std::filesystem;

namespace platform {

namespace {

constexpr std::uint64_t kSectorBytes = 512;

// Reads the stat file of the sysfs folder of one block device.
Device_Counters Read_Stat_Of(const fs::path& folder, const std::string& shown) {
  Device_Counters counters;
  std::error_code ec;
  const fs::path real = fs::canonical(folder, ec);
  counters.device = ec ? shown : real.filename().string();
  std::ifstream in(folder / "stat");
  std::string line;
  if (!in || !std::getline(in, line)) {
    counters.reason = "cannot read " + (folder / "stat").string() + ": " + Error_Text(in ? EIO : ENOENT);
    return counters;
  }
  counters.ok = Parse_Block_Stat(line, counters.read_bytes, counters.written_bytes);
  if (!counters.ok) counters.reason = (folder / "stat").string() + " is not a block device's counters";
  return counters;
}

std::string Uuid_Text(const unsigned char* bytes) {
  char text[37];
  std::snprintf(text, sizeof text, "%02x%02x%02x%02x-%02x%02x-%02x%02x-%02x%02x-%02x%02x%02x%02x%02x%02x", bytes[0],
                bytes[1], bytes[2], bytes[3], bytes[4], bytes[5], bytes[6], bytes[7], bytes[8], bytes[9], bytes[10],
                bytes[11], bytes[12], bytes[13], bytes[14], bytes[15]);
  return text;
}

// The type of the mounted file system numbered device, for the reason why it has no counters.
std::string File_System_Type(dev_t device) {
  for (const Mount& mount : Read_Mount_Table())
    if (mount.devno == device) return mount.fstype;
  return "the file system";
}

}  // namespace

bool Parse_Block_Stat(const std::string& text, std::uint64_t& read_bytes, std::uint64_t& written_bytes) {
  // Reads: I/Os, merges, sectors, ticks; writes: I/Os, merges, sectors, ticks; then more.
  std::istringstream in(text);
  std::uint64_t field[7] = {};
  for (std::uint64_t& value : field)
    if (!(in >> value)) return false;
  read_bytes = field[2] * kSectorBytes;
  written_bytes = field[6] * kSectorBytes;
  return true;
}

Device_Counters Read_Block_Counters(unsigned major_number, unsigned minor_number, const std::string& sys) {
  const std::string number = std::to_string(major_number) + ":" + std::to_string(minor_number);
  return Read_Stat_Of(fs::path(sys) / "dev" / "block" / number, number);
}

Device_Counters Read_Btrfs_Counters(const std::string& fsid, const std::string& sys) {
  Device_Counters total;
  const fs::path devices = fs::path(sys) / "fs" / "btrfs" / fsid / "devices";
  std::error_code ec;
  for (fs::directory_iterator it(devices, ec), end; !ec && it != end; it.increment(ec)) {
    const Device_Counters one = Read_Stat_Of(it->path(), it->path().filename().string());
    if (!one.ok) return one;
    total.device += (total.device.empty() ? "" : "+") + one.device;
    total.read_bytes += one.read_bytes;
    total.written_bytes += one.written_bytes;
  }
  total.ok = !ec && !total.device.empty();
  if (!total.ok) total.reason = "cannot list the devices of btrfs " + fsid + " in " + devices.string();
  return total;
}

Device_Counters Read_Folder_Counters(int folder_fd, const std::string& sys) {
  Device_Counters counters;
  struct stat st {};
  if (::fstat(folder_fd, &st) != 0) {
    counters.reason = "cannot ask the folder: " + Error_Text(errno);
    return counters;
  }
  if (major(st.st_dev) != 0) return Read_Block_Counters(major(st.st_dev), minor(st.st_dev), sys);
  struct statfs sf {};
  btrfs_ioctl_fs_info_args info {};
  if (::fstatfs(folder_fd, &sf) == 0 && sf.f_type == BTRFS_SUPER_MAGIC &&
      ::ioctl(folder_fd, BTRFS_IOC_FS_INFO, &info) == 0)
    return Read_Btrfs_Counters(Uuid_Text(info.fsid), sys);
  // tmpfs, network shares, overlay and FUSE file systems: no block device of their own.
  counters.reason = File_System_Type(st.st_dev) + " has no block device";
  return counters;
}

}  // namespace platform
