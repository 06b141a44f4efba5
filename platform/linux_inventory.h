// The inventory of a Linux machine: disks and their models from udev and sysfs, mounted
// file systems from libmount with labels from libblkid, storage controllers from libpci,
// processors, memory and the operating system from /proc, /sys and /etc. Everything is
// read with an ordinary user's rights; a fact that cannot be read leaves its property out.
#pragma once

#include <chrono>
#include <functional>
#include <string>
#include <vector>

#include "platform/inventory_provider.h"
#include "platform/platform.h"

namespace platform {

// Where the provider looks. The defaults are the running system; tests point them at a
// small tree of their own.
struct Linux_Sources {
  std::string sys = "/sys";
  std::string proc = "/proc";
  std::string etc = "/etc";
  std::string usr_lib = "/usr/lib";  // os-release when /etc has none
  std::string dev = "/dev";
  std::string pci_ids;               // the PCI name list; empty for the library's own
  bool use_udev = true;              // ask the udev database first (absent in most containers)
  bool probe_devices = true;         // read labels and UUIDs from the devices with libblkid
  // How a file system is asked about a path (stat and statvfs); tests stand in a share
  // whose server is gone.
  std::function<bool(const std::string&, Path_Answer&)> ask = Ask_File_System;
  // How long a network file system is waited for.
  std::chrono::milliseconds network_time_limit{2000};
};

class Linux_Inventory_Provider : public Inventory_Provider {
 public:
  // os answers which file system holds a path and what kind of drive it is, as it does for
  // the benchmark itself.
  explicit Linux_Inventory_Provider(Platform& os, Linux_Sources sources = {});

  void Instances_Of(const std::string& class_name, const std::function<void(const Cim_Instance&)>& each) override;
  Volume_Information Volume(const std::string& path) override;
  Disk_Extent Volume_Disk_Extent(const std::string& mount_point) override;
  std::vector<std::string> Take_Notes() override;

 private:
  void Disk_Drives(const std::function<void(const Cim_Instance&)>& each);
  void Logical_Disks(const std::function<void(const Cim_Instance&)>& each);
  void Processors(const std::function<void(const Cim_Instance&)>& each);
  void Storage_Controllers(const std::function<void(const Cim_Instance&)>& each);
  void Computer_System(const std::function<void(const Cim_Instance&)>& each);
  void Operating_System(const std::function<void(const Cim_Instance&)>& each);

  // Asks about a path; a share that does not answer in time is noted for the log.
  bool Ask(const std::string& path, bool network, const std::string& mount_point, const std::string& outcome,
           Path_Answer& answer);
  void Note_No_Answer(const std::string& mount_point, const std::string& outcome);

  Platform& os_;
  Linux_Sources sources_;
  std::vector<std::string> notes_;
};

}  // namespace platform
