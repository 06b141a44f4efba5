// Facts about the file systems that hold the program's files and test folders.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
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
  bool no_answer = false;    // a network file system that did not answer in time
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

// How a question about a path ended.
enum class Asked { Answered, Refused, No_Answer };

// Asks about path with ask. A path on a network file system (network set, mount_point
// naming the share) is asked on a helper thread and waited for at most limit; while an
// earlier question about the same share still hangs, the share gets No_Answer at once.
Asked Ask_Path(const std::function<bool(const std::string&, Path_Answer&)>& ask, const std::string& path,
               bool network, const std::string& mount_point, std::chrono::milliseconds limit, Path_Answer& answer);

// "2 s", "200 ms": a time limit for a log line.
std::string Limit_Text(std::chrono::milliseconds limit);

// Where the facts of a volume are read from; tests point it at a made-up machine.
struct Volume_Query {
  std::string proc = "/proc", sys = "/sys", dev = "/dev";
  std::function<bool(const std::string&, Path_Answer&)> ask = Ask_File_System;
  std::chrono::milliseconds network_time_limit{2000};  // how long a network file system is waited for
};

// The facts of the file system that holds path; its drive type by the one rule of
// platform/drive_types.h. A path on a network file system that does not answer within the
// query's limit gives facts that are not ok, with no_answer set and the share's mount point,
// type and drive type filled in.
Volume_Facts Get_Volume_Facts(const std::string& path, const Volume_Query& query = {});

// File-system types that live on another machine, those that live in memory, and those
// through which the kernel shows itself (proc, sysfs, devtmpfs, cgroup, debugfs ...), which
// are no disk at all.
bool Is_Network_File_System(const std::string& type);
bool Is_Ram_File_System(const std::string& type);
bool Is_Kernel_File_System(const std::string& type);

// Chooses the folder that a run on a drive (a mount point) works in: the mount point when
// the user may create files there, otherwise the home folder, /var/tmp or /tmp when they lie
// on that file system. Returns false, with the reason, when none qualifies or the drive is a
// kernel file system ("proc is not a disk file system").
bool Resolve_Work_Folder(const std::string& drive, std::string& folder, std::string& reason);

}  // namespace platform
