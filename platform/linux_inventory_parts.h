// The pieces that the Linux inventory provider's files share: readers of sysfs and /proc,
// the udev database, the physical disks, the mount table and /proc/cpuinfo. Internal to
// the provider; nothing outside platform/linux_inventory*.cpp includes it.
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <filesystem>
#include <functional>
#include <initializer_list>
#include <map>
#include <string>
#include <vector>

#include "platform/drive_types.h"
#include "platform/inventory_provider.h"
#include "platform/linux_inventory.h"

struct udev;

namespace platform::linux_parts {

namespace fs = std::filesystem;

using Each = std::function<void(const Cim_Instance&)>;
using Udev_Properties = std::map<std::string, std::string>;

// ---- small readers (linux_inventory_readers.cpp) ----

std::string Trim(const std::string& text);
// Runs of blanks inside a name become one space.
std::string Collapse_Blanks(const std::string& text);
// A sysfs attribute or another short file, trimmed; empty when it cannot be read.
std::string Read_Attribute(const fs::path& file);
bool To_Number(const std::string& text, std::int64_t& value);
bool Read_Number(const fs::path& file, std::int64_t& value);
bool Starts_With(const std::string& text, const std::string& prefix);
bool Is_Under(const std::string& path, const std::string& folder);
// udev writes unusual characters of a value as \xHH.
std::string Decode_Udev(const std::string& text);
// The names in a folder, ordered as the kernel numbers devices: sdb before sdaa.
std::vector<std::string> Folder_Names(const fs::path& folder);
// The real path, links followed; empty when it does not exist.
fs::path Resolve(const fs::path& path);
std::string Host_Name();
std::string Machine_Type();

class Udev_Context {
 public:
  explicit Udev_Context(bool use);
  Udev_Context(const Udev_Context&) = delete;
  Udev_Context& operator=(const Udev_Context&) = delete;
  ~Udev_Context();

  // The device's properties from the udev database; empty without udev.
  Udev_Properties Properties(const fs::path& sys_path) const;

 private:
  udev* udev_;
};

// The first of the named udev properties that is not blank; *_ENC values decoded.
std::string First_Of(const Udev_Properties& properties, std::initializer_list<const char*> names);
// The first of the named attributes in folder that is not blank.
std::string First_Attribute(const fs::path& folder, std::initializer_list<const char*> names);

// ---- disks (linux_inventory_disks.cpp) ----

struct Disk {
  std::string name;  // kernel name, e.g. "sda"
  fs::path sys;      // its folder under /sys/devices
};

// The machine's physical disks in kernel order; their positions are their Index.
std::vector<Disk> Physical_Disks(const Linux_Sources& sources);
// The first extent of a block device on one of the physical disks. Device-mapper and RAID
// devices are followed to their first underlying device.
Disk_Extent Extent_Of(const fs::path& block, const std::vector<Disk>& disks, int depth);

// ---- mounts (linux_inventory_volumes.cpp; the table itself is platform/drive_types.h) ----

// The label and UUID of the file system on a block device: from the device itself when it
// may be read, else from the udev database, else from the /dev/disk links.
void Read_Identity(const fs::path& block, const Linux_Sources& sources, const Udev_Context& udev, std::string& label,
                   std::string& uuid);

// ---- processors (linux_inventory_machine.cpp) ----

using Cpu_Entry = std::map<std::string, std::string>;

// The entries of /proc/cpuinfo that describe a processor, in file order.
std::vector<Cpu_Entry> Read_Cpuinfo(const std::string& file);
// The first of the keys with a value that is not empty.
std::string Value(const Cpu_Entry& entry, std::initializer_list<const char*> keys);

}  // namespace platform::linux_parts
