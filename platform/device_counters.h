// The block device's own counters of the bytes it read and wrote, as the kernel keeps them
// in sysfs: what really reached the device, whatever the page cache served.
#pragma once

#include <cstdint>
#include <string>

namespace platform {

struct Device_Counters {
  bool ok = false;
  std::string device;  // the kernel's name: "vda1", "dm-0", "loop3"
  std::string reason;  // why there are none
  std::uint64_t read_bytes = 0, written_bytes = 0;
};

// The fields of a block device's stat file (sectors of 512 bytes whatever the device's own
// sector size). False when the text is not such a line.
bool Parse_Block_Stat(const std::string& text, std::uint64_t& read_bytes, std::uint64_t& written_bytes);

// The counters of the block device numbered major:minor: <sys>/dev/block/M:m leads to the
// device itself, a partition or a device-mapper, RAID or loop device stacked on others, each
// with its own counters of what the file system on it asked of it.
Device_Counters Read_Block_Counters(unsigned major, unsigned minor, const std::string& sys = "/sys");

// The sum of the counters of the devices a btrfs file system is built on (fsid as text).
Device_Counters Read_Btrfs_Counters(const std::string& fsid, const std::string& sys = "/sys");

// The counters of the device under the file system that holds the open folder folder_fd.
// A file system without a block device (tmpfs, network shares, overlay) has none, and the
// reason names its type.
Device_Counters Read_Folder_Counters(int folder_fd, const std::string& sys = "/sys");

}  // namespace platform
