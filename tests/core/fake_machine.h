// A small made-up Linux machine for the inventory tests: its /sys, /proc, /etc and /dev in a
// scratch folder, with no udev and no device reads.
#pragma once

#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <vector>

#include "platform/linux_inventory.h"
#include "scratch_folder.h"

inline const std::string kFixtures = (std::filesystem::path(__FILE__).parent_path() / "fixtures").string();

class Fake_Machine {
 public:
  Fake_Machine() {
    sources.sys = root / "sys";
    sources.proc = root / "proc";
    sources.etc = root / "etc";
    sources.usr_lib = root / "usr/lib";
    sources.dev = root / "dev";
    sources.pci_ids = kFixtures + "/pci.ids";
    sources.use_udev = false;
    sources.probe_devices = false;
  }

  void File(const std::string& relative, const std::string& text) {
    std::filesystem::create_directories(std::filesystem::path(root / relative).parent_path());
    std::ofstream(root / relative, std::ios::binary) << text;
  }
  void Link(const std::string& relative, const std::string& target_relative) {
    std::filesystem::create_directories(std::filesystem::path(root / relative).parent_path());
    std::filesystem::create_symlink(root / target_relative, root / relative);
  }
  // A block device at devices/<path>/<name> with its attributes, reachable as
  // /sys/dev/block/<dev> and, for a whole disk, /sys/block/<name>.
  void Block(const std::string& path, const std::map<std::string, std::string>& attributes, const std::string& dev,
             bool whole = true) {
    const std::string folder = "sys/devices/" + path;
    for (const auto& [name, value] : attributes) File(folder + "/" + name, value + "\n");
    Link("sys/dev/block/" + dev, folder);
    if (whole) Link("sys/block/" + std::filesystem::path(path).filename().string(), folder);
  }
  // A whole disk at devices/<device>/<block>, linked back to its device, whose own
  // attributes (model, rev and the like) are written too.
  void Disk(const std::string& device, const std::string& block, const std::map<std::string, std::string>& device_attributes,
            const std::map<std::string, std::string>& attributes, const std::string& dev) {
    for (const auto& [name, value] : device_attributes) File("sys/devices/" + device + "/" + name, value + "\n");
    Block(device + "/" + block, attributes, dev);
    Link("sys/devices/" + device + "/" + block + "/device", "sys/devices/" + device);
  }
  // Partition number of a disk, start and size in sectors.
  void Partition(const std::string& path, const std::string& number, const std::string& start, const std::string& size,
                 const std::string& dev) {
    Block(path, {{"partition", number}, {"start", start}, {"size", size}}, dev, false);
  }
  // A folder under the scratch root, for a mount point that statvfs can ask.
  std::string Folder(const std::string& relative) {
    std::filesystem::create_directories(root / relative);
    return root / relative;
  }

  Scratch_Folder root;
  platform::Linux_Sources sources;
};

// sda (SATA) with two partitions, sdb (USB stick), vda (virtio), nvme0n1, and loop0,
// zram0 and dm-0 (over sda2) that are no physical disks.
inline void Add_Disks(Fake_Machine& m) {
  const std::string ata = "pci0000:00/0000:00:1f.2/ata1/host0/target0:0:0/0:0:0:0";
  m.Disk(ata, "block/sda", {{"model", "Samsung SSD 860 EVO 500GB   "}, {"rev", "RVT04B6Q"}, {"vendor", "ATA     "}},
         {{"size", "976773168"}, {"removable", "0"}, {"queue/logical_block_size", "512"}}, "8:0");
  m.Partition(ata + "/block/sda/sda1", "1", "2048", "1024000", "8:1");
  m.Partition(ata + "/block/sda/sda2", "2", "1026048", "975747120", "8:2");

  const std::string usb = "pci0000:00/0000:00:14.0/usb2/2-1/2-1:1.0/host6/target6:0:0/6:0:0:0";
  m.Disk(usb, "block/sdb", {{"model", "Ultra"}, {"rev", "1.00"}},
         {{"size", "60063744"}, {"removable", "1"}, {"queue/logical_block_size", "512"}}, "8:16");
  m.Partition(usb + "/block/sdb/sdb1", "1", "2048", "60061696", "8:17");

  const std::string virtio = "pci0000:00/0000:00:02.0/virtio1";
  m.Disk(virtio, "block/vda", {{"vendor", "0x1af4"}},
         {{"size", "536870912"}, {"removable", "0"}, {"queue/logical_block_size", "512"}}, "254:0");
  m.Partition(virtio + "/block/vda/vda1", "1", "2048", "1000000", "254:1");

  const std::string nvme = "pci0000:00/0000:00:1d.0/nvme/nvme0";
  m.Disk(nvme, "nvme0n1", {{"model", "WDC PC SN730"}, {"firmware_rev", "11170101"}},
         {{"size", "1000215216"}, {"removable", "0"}, {"queue/logical_block_size", "4096"}}, "259:0");

  m.Block("virtual/block/loop0", {{"size", "0"}}, "7:0");
  m.Block("virtual/block/zram0", {{"size", "8000000"}}, "252:0");
  m.Block("virtual/block/dm-0", {{"size", "975747120"}}, "253:0");
  m.Link("sys/devices/virtual/block/dm-0/slaves/sda2", "sys/devices/" + ata + "/block/sda/sda2");
}

struct Mount_Line {
  std::string dev, root, target, type, source;
};

inline void Add_Mounts(Fake_Machine& m, const std::vector<Mount_Line>& lines) {
  std::string text;
  int id = 20;
  for (const auto& l : lines)
    text += std::to_string(id++) + " 1 " + l.dev + " " + l.root + " " + l.target + " rw,relatime - " + l.type + " " +
            l.source + " rw\n";
  m.File("proc/self/mountinfo", text);
}

