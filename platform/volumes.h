// Facts about the file systems that hold the program's files and test folders.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace platform {

// Drive-type codes, as the benchmark uses them to size its blocks.
enum Drive_Type_Code {
  kDriveUnknown = 0,
  kDriveRemovable = 1,
  kDriveFixed = 2,
  kDriveNetwork = 3,
  kDriveOptical = 4,
  kDriveRam = 5,
};

struct Volume_Facts {
  bool ok = false;           // the file system could be asked at all
  std::string mount_point;   // where the file system holding the path is mounted
  std::string file_system;   // its type name, e.g. "ext4", "tmpfs"
  std::string device;        // the mount source, e.g. "/dev/vda1"
  int drive_type = kDriveUnknown;
  std::int64_t total_bytes = 0;
  std::int64_t free_bytes = 0;  // available to the caller
};

// Bytes available to the caller on the file system that holds the path; -1 when the file
// system cannot be asked.
std::int64_t Disk_Free_Bytes(const std::string& path);

// What a file system says about a path in it.
struct Path_Answer {
  bool is_folder = false;
  std::string real_path;  // absolute, links resolved
  std::int64_t block_size = 0, total_blocks = 0, free_blocks = 0;  // free: available to the caller
  std::int64_t name_max = 0;                                        // longest name component
};

// Asks the file system that holds path (stat, statvfs, the real path); false when it cannot
// be asked. Waits as long as the file system does.
bool Ask_File_System(const std::string& path, Path_Answer& answer);

// Where the facts of a volume are read from; tests point it at a made-up machine.
struct Volume_Query {
  std::string proc = "/proc", sys = "/sys", dev = "/dev";
};

// The facts of the file system that holds path; its drive type by the one rule of
// platform/drive_types.h.
Volume_Facts Get_Volume_Facts(const std::string& path, const Volume_Query& query = {});

// File-system types that live on another machine, and those that live in memory.
bool Is_Network_File_System(const std::string& type);
bool Is_Ram_File_System(const std::string& type);

// Chooses the folder that a run on a drive (a mount point) works in: the mount point when
// the user may create files there, otherwise the home folder, /var/tmp or /tmp when they lie
// on that file system. Returns false, with the reason, when none qualifies.
bool Resolve_Work_Folder(const std::string& drive, std::string& folder, std::string& reason);

}  // namespace platform
