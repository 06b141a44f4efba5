// The mount table and the one rule for what kind of drive a mounted file system is; the
// drive list and the facts of one drive both classify through here.
#pragma once

#include <sys/types.h>

#include <filesystem>
#include <string>
#include <vector>

namespace platform {

// One line of the mount table.
struct Mount {
  std::string target, source, fstype;
  dev_t devno = 0;
  bool pseudo = false;  // a file system of the kernel's own (proc, sysfs, cgroup, ...)
  bool net = false;     // a network file system, by the mount table or by its type
};

// The mount table of the process (<proc>/self/mountinfo, else <proc>/mounts), in mount order.
std::vector<Mount> Read_Mount_Table(const std::string& proc = "/proc");

// The visible mount at target: the last one mounted there. nullptr when there is none.
const Mount* Mount_At(const std::vector<Mount>& mounts, std::string target);

// The visible mount that holds an absolute path, by the names alone: the one with the
// longest target that is the path or a folder above it. Nothing is asked of any file
// system, so a share that does not answer cannot hold the caller up here.
const Mount* Mount_Holding(const std::vector<Mount>& mounts, const std::string& path);

// The sysfs folder of the block device that a mount lives on; empty when there is none.
std::filesystem::path Block_Of(const Mount& mount, const std::string& sys = "/sys", const std::string& dev = "/dev");

// The whole disk of a block device that may be a partition.
std::filesystem::path Whole_Disk_Of(const std::filesystem::path& block);

// What the drive type of a mount is decided on.
struct Drive_Evidence {
  std::string file_system;
  bool network = false;       // the mount table counts it a network file system
  bool removable = false;     // the kernel marks the device under it removable
  bool optical = false;       // that device is a CD, DVD or BD drive
};

// Reads the evidence from the mount and the sysfs folder of its block device (empty when
// it has none). Device-mapper and RAID devices are judged by their first underlying device.
Drive_Evidence Read_Drive_Evidence(const Mount& mount, const std::filesystem::path& block);

// The drive type (Drive_Type_Code of platform/volumes.h): RAM file systems are RAM disks,
// network file systems network drives, iso9660 and anything on an optical drive optical;
// a device is removable only when the kernel marks it so (a USB stick, a card reader, not a
// USB hard disk or SSD); everything else, file systems without one block device (ZFS,
// bcachefs) included, is a fixed drive.
int Classify_Drive(const Drive_Evidence& evidence);

// Both steps for one mount.
int Drive_Type_Of(const Mount& mount, const std::string& sys = "/sys", const std::string& dev = "/dev");

}  // namespace platform
