// The Linux provider on a small made-up machine (its /sys, /proc, /etc and /dev in a
// scratch folder, no udev, no device reads), and once on the machine the tests run on.
#include <gtest/gtest.h>

#include <sys/utsname.h>

#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "common/global_functions.h"
#include "inventory/drive_info.h"
#include "inventory/machine_profile.h"
#include "inventory/wmi_functions.h"
#include "platform/linux_inventory.h"
#include "fake_machine.h"

namespace fs = std::filesystem;

namespace {

template <class Record, std::size_t N>
std::vector<Record> Rows_Until_Empty(const std::array<Record, N>& rows, std::string Record::*key) {
  std::vector<Record> used;
  for (const auto& row : rows)
    if (!(row.*key).empty()) used.push_back(row);
  return used;
}

}  // namespace

TEST(InventoryLinux, PhysicalDisksAreTheRealDisksInKernelOrder) {
  Fake_Machine m;
  Add_Disks(m);
  platform::Linux_Inventory_Provider provider(platform::System_Platform(), m.sources);
  std::array<MY_WMI_PhysicalDiskDrive_Record, 31> rows;
  Get_WMI_Physical_Disks(rows, 30, provider);
  const auto disks = Rows_Until_Empty(rows, &MY_WMI_PhysicalDiskDrive_Record::DeviceID);
  ASSERT_EQ(disks.size(), 4u);

  struct Expected {
    std::string name, model, firmware, interface, size, formatted, media_type, bytes_per_sector;
  };
  const std::vector<Expected> expected = {
      {"/dev/sda", "Samsung SSD 860 EVO 500GB", "RVT04B6Q", "IDE", "500107862016", "500.1 GB", "Fixed hard disk media", "512"},
      {"/dev/sdb", "Ultra", "1.00", "USB", "30752636928", "30.8 GB", "Removable Media", "512"},
      {"/dev/vda", "", "", "virtio", "274877906944", "274.9 GB", "Fixed hard disk media", "512"},
      {"/dev/nvme0n1", "WDC PC SN730", "11170101", "NVMe", "512110190592", "512.1 GB", "Fixed hard disk media", "4096"},
  };
  for (std::size_t i = 0; i < expected.size(); ++i) {
    const auto& disk = disks[i];
    const auto& e = expected[i];
    EXPECT_EQ(disk.DeviceID, R"(\\.\PHYSICALDRIVE)" + std::to_string(i)) << e.name;
    EXPECT_EQ(disk.Index, std::to_string(i)) << e.name;
    EXPECT_EQ(disk.Name, e.name);
    EXPECT_EQ(disk.Model, e.model) << e.name;
    EXPECT_EQ(disk.FirmwareRevision, e.firmware) << e.name;
    EXPECT_EQ(disk.InterfaceType, e.interface) << e.name;
    EXPECT_EQ(disk.Size, e.size) << e.name;
    EXPECT_EQ(disk.SizeFormatted, e.formatted) << e.name;
    EXPECT_EQ(disk.MediaType, e.media_type) << e.name;
    EXPECT_EQ(disk.BytesPerSector, e.bytes_per_sector) << e.name;
    EXPECT_EQ(disk.MediaLoaded, "True") << e.name;
  }
  EXPECT_EQ(disks[0].Manufacturer, "ATA");
  EXPECT_EQ(disks[0].Partitions, "2");
  EXPECT_EQ(disks[0].SCSIPort, "0");
  EXPECT_EQ(disks[0].SCSITargetId, "0");
  EXPECT_EQ(disks[2].Manufacturer, "");  // virtio names only a PCI number
  EXPECT_EQ(disks[2].SCSIBus, "");
}

TEST(InventoryLinux, MountedFileSystemsAndTheirDisks) {
  Fake_Machine m;
  Add_Disks(m);
  const std::string data = m.Folder("data"), usb = m.Folder("usb"), share = m.Folder("share"), ram = m.Folder("ram"),
                    root = m.Folder("rootfs"), lvm = m.Folder("lvm"), fast = m.Folder("fast"), over = m.Folder("over"),
                    tank = m.Folder("tank"), snap = m.Folder("snap"), doc = m.Folder("doc");
  const std::string hosts = m.root.Make_File("hostsfile");
  Add_Mounts(m, {
                    {"8:2", "/", data, "ext4", "/dev/sda2"},
                    {"8:17", "/", usb, "vfat", "/dev/sdb1"},
                    {"0:50", "/", share, "nfs4", "server:/export"},
                    {"0:30", "/", ram, "tmpfs", "tmpfs"},
                    {"0:31", "/", "/run/user/1000", "tmpfs", "tmpfs"},
                    {"0:5", "/", "/proc", "proc", "proc"},
                    {"254:1", "/", root, "ext4", "/dev/vda1"},
                    {"253:0", "/", lvm, "ext4", "/dev/mapper/vg-lv"},
                    {"259:0", "/", fast, "xfs", "/dev/nvme0n1"},
                    {"8:2", "/", over, "ext4", "/dev/sda2"},
                    {"0:32", "/", over, "tmpfs", "tmpfs"},  // mounted over the disk: the RAM disk is what shows
                    {"0:60", "/", tank, "zfs", "tank/home"},
                    {"7:0", "/", snap, "squashfs", "/dev/loop0"},
                    {"0:70", "/", doc, "fuse.portal", "portal"},
                    {"8:2", "/etc/hosts", hosts, "ext4", "/dev/sda2"},  // a file bound into a container
                });
  m.File("dev/sdb1", "");
  m.Link("dev/disk/by-label/My\\x20Stick", "dev/sdb1");
  m.Link("dev/disk/by-uuid/1234-ABCD", "dev/sdb1");
  platform::Linux_Inventory_Provider provider(platform::System_Platform(), m.sources);

  std::array<MY_WMI_LogicalDiskDrive_Record, 31> rows;
  Get_WMI_Logical_Disks(rows, 30, provider);
  std::map<std::string, MY_WMI_LogicalDiskDrive_Record> by_point;
  for (const auto& row : Rows_Until_Empty(rows, &MY_WMI_LogicalDiskDrive_Record::DeviceID)) by_point[row.DeviceID] = row;
  const std::map<std::string, std::string> types = {{data, "3"}, {fast, "3"}, {lvm, "3"},   {over, "6"}, {ram, "6"},
                                                    {root, "3"}, {share, "4"}, {tank, "3"}, {usb, "2"}};
  std::map<std::string, std::string> seen;
  for (const auto& [point, row] : by_point) seen[point] = row.DriveType;
  EXPECT_EQ(seen, types);
  EXPECT_EQ(rows[0].DeviceID, data);  // in mount-point order
  EXPECT_EQ(by_point[usb].FileSystem, "vfat");
  EXPECT_EQ(by_point[usb].VolumeName, "My Stick");
  EXPECT_EQ(by_point[usb].VolumeSerialNumber, "1234-ABCD");
  EXPECT_GT(Str_To_Int64_Safe(by_point[data].Size), 0);  // from statvfs of the folder
  EXPECT_FALSE(by_point[data].SizeFormatted.empty());

  struct Extent_Case {
    std::string point;
    std::uint32_t disk;
    std::int64_t offset, length;
  };
  const std::vector<Extent_Case> extents = {
      {data, 0, 1026048LL * 512, 975747120LL * 512},
      {data + "/", 0, 1026048LL * 512, 975747120LL * 512},
      {lvm, 0, 1026048LL * 512, 975747120LL * 512},  // device mapper: its first underlying device
      {usb, 1, 2048LL * 512, 60061696LL * 512},
      {root, 2, 2048LL * 512, 1000000LL * 512},
      {fast, 3, 0, 1000215216LL * 512},
      {share, 0, 0, 0},
      {tank, 0, 0, 0},
      {m.root / "not-mounted", 0, 0, 0},
  };
  for (const auto& e : extents) {
    const DISK_EXTENT extent = Get_Volume_Disk_Extent(e.point, provider);
    EXPECT_EQ(extent.DiskNumber, e.disk) << e.point;
    EXPECT_EQ(extent.StartingOffset, e.offset) << e.point;
    EXPECT_EQ(extent.ExtentLength, e.length) << e.point;
  }
}

TEST(InventoryLinux, ProcessorsComputerAndMemory) {
  Fake_Machine m;
  std::string cpuinfo;
  for (int cpu = 0; cpu < 4; ++cpu)
    cpuinfo += "processor\t: " + std::to_string(cpu) +
               "\nvendor_id\t: GenuineIntel\ncpu family\t: 6\nmodel\t\t: 85\n"
               "model name\t: Intel(R) Xeon(R) Gold   6130 CPU @ 2.10GHz\nstepping\t: 4\ncpu MHz\t\t: 2100.000\n"
               "physical id\t: " + std::to_string(cpu / 2) + "\nsiblings\t: 2\ncore id\t\t: " + std::to_string(cpu % 2) +
               "\ncpu cores\t: 2\n\n";
  m.File("proc/cpuinfo", cpuinfo);
  m.File("sys/devices/system/cpu/cpu0/cpufreq/cpuinfo_max_freq", "3700000\n");
  m.File("proc/meminfo", "MemTotal:       16384000 kB\nMemFree:         1000 kB\n");
  m.File("sys/class/dmi/id/sys_vendor", "QEMU\n");
  m.File("sys/class/dmi/id/product_name", "Standard PC (Q35 + ICH9, 2009)\n");
  platform::Linux_Inventory_Provider provider(platform::System_Platform(), m.sources);

  Machine_Profile profile;
  Fill_Machine_Profile(profile, provider);
  const auto& cpus = profile.MyProcessors;
  for (int k : {0, 1}) {
    EXPECT_EQ(cpus[k].DeviceID, "CPU" + std::to_string(k));
    EXPECT_EQ(cpus[k].Name, "Intel(R) Xeon(R) Gold 6130 CPU @ 2.10GHz");
    EXPECT_EQ(cpus[k].Manufacturer, "GenuineIntel");
    EXPECT_EQ(cpus[k].NumberofCores, "2");
    EXPECT_EQ(cpus[k].NumberOfLogicalProcessors, "2");
    EXPECT_EQ(cpus[k].CurrentClockSpeed, "2100");
    EXPECT_EQ(cpus[k].ProcessorType, "3");
    EXPECT_EQ(cpus[k].Stepping, "4");
  }
  EXPECT_EQ(cpus[0].MaxClockSpeed, "3700");  // from cpufreq
  EXPECT_EQ(cpus[1].MaxClockSpeed, "2100");  // no cpufreq: the reported clock
  EXPECT_EQ(cpus[2].Name, "");

  const auto& computer = profile.MyComputerSystems[0];
  EXPECT_EQ(computer.Manufacturer, "QEMU");
  EXPECT_EQ(computer.Model, "Standard PC (Q35 + ICH9, 2009)");
  EXPECT_EQ(computer.TotalPhysicalMemory, "16777216000");
  EXPECT_EQ(computer.TotalPhysicalMemoryFormatted, "15.6 GB");
  EXPECT_EQ(computer.NumberOfProcessors, "2");
  EXPECT_EQ(computer.NumberOfLogicalProcessors, "4");
  EXPECT_EQ(profile.MyComputerSystems[1].Model, "");
}

TEST(InventoryLinux, MissingFactsLeaveFieldsEmpty) {
  Fake_Machine m;  // an empty tree: nothing to read anywhere
  m.File("sys/firmware/devicetree/base/model", std::string("Raspberry Pi 4 Model B Rev 1.4\0", 31));
  platform::Linux_Inventory_Provider provider(platform::System_Platform(), m.sources);
  Machine_Profile profile;
  EXPECT_NO_THROW(Fill_Machine_Profile(profile, provider));
  EXPECT_EQ(profile.MyProcessors[0].Name, "");
  EXPECT_EQ(profile.MyIDEControllers[0].Name, "");
  EXPECT_EQ(profile.MyComputerSystems[0].Manufacturer, "");
  EXPECT_EQ(profile.MyComputerSystems[0].Model, "Raspberry Pi 4 Model B Rev 1.4");
  EXPECT_EQ(profile.MyComputerSystems[0].TotalPhysicalMemoryFormatted, "0 bytes");
  EXPECT_EQ(profile.MyOperatingSystem[0].Caption, "");
  std::vector<std::string> entries;
  std::array<TMyLogicalDisks, 31> drives{};
  EXPECT_TRUE(Get_All_Local_Drives(entries, drives, provider, {}));
  EXPECT_TRUE(entries.empty());
}

TEST(InventoryLinux, OperatingSystemCaption) {
  struct Case {
    std::string etc, usr_lib, caption;
  };
  const std::vector<Case> cases = {
      {"NAME=\"Debian GNU/Linux\"\nPRETTY_NAME=\"Debian GNU/Linux 12 (bookworm)\"\n", "", "Debian GNU/Linux 12 (bookworm)"},
      {"# comment\nPRETTY_NAME='Fedora Linux 39 (Workstation Edition)'\n", "", "Fedora Linux 39 (Workstation Edition)"},
      {"PRETTY_NAME=\"Say \\\"hi\\\" OS\"\n", "", "Say \"hi\" OS"},
      {"PRETTY_NAME=Unquoted\n", "", "Unquoted"},
      {"NAME=Alpine\nVERSION=3.19\n", "", "Alpine 3.19"},
      {"", "PRETTY_NAME=\"From usr lib\"\n", "From usr lib"},
  };
  for (const auto& c : cases) {
    Fake_Machine m;
    if (!c.etc.empty()) m.File("etc/os-release", c.etc);
    if (!c.usr_lib.empty()) m.File("usr/lib/os-release", c.usr_lib);
    platform::Linux_Inventory_Provider provider(platform::System_Platform(), m.sources);
    std::array<MY_WMI_OperatingSystem_Record, 2> rows;
    Get_WMI_Operating_System(rows, 1, provider);
    EXPECT_EQ(rows[0].Caption, c.caption);
    struct utsname u {};
    ASSERT_EQ(::uname(&u), 0);
    EXPECT_EQ(rows[0].Version, u.release);
    EXPECT_EQ(rows[0].CSDVersion, "");
    EXPECT_TRUE(rows[0].OSArchitecture == "64-bit" || rows[0].OSArchitecture == "32-bit");
  }
}

TEST(InventoryLinux, StorageControllersFromThePciBus) {
  Fake_Machine m;
  auto device = [&](const std::string& slot, const char* vendor, const char* id, const char* cls) {
    const std::string folder = "sys/devices/pci0000:00/" + slot;
    m.File(folder + "/vendor", std::string(vendor) + "\n");
    m.File(folder + "/device", std::string(id) + "\n");
    m.File(folder + "/class", std::string(cls) + "\n");
    m.File(folder + "/irq", "0\n");
    m.File(folder + "/resource", "");
    m.Link("sys/bus/pci/devices/" + slot, folder);
  };
  device("0000:00:1f.2", "0x8086", "0x2922", "0x010601");  // SATA
  device("0000:00:19.0", "0x8086", "0x10d3", "0x020000");  // network: not storage
  device("0000:00:17.0", "0x144d", "0xa808", "0x010802");  // NVMe
  device("0000:00:18.0", "0x1234", "0x5678", "0x010000");  // storage unknown to the list
  platform::Linux_Inventory_Provider provider(platform::System_Platform(), m.sources);
  std::array<MY_WMI_IDEController_Record, 11> rows;
  Get_WMI_IDE_Controllers(rows, 10, provider);
  const auto controllers = Rows_Until_Empty(rows, &MY_WMI_IDEController_Record::DeviceID);
  ASSERT_EQ(controllers.size(), 3u);
  EXPECT_EQ(controllers[0].DeviceID, "0000:00:17.0");
  EXPECT_EQ(controllers[0].Name, "NVMe SSD Controller SM981/PM981/PM983");
  EXPECT_EQ(controllers[0].Manufacturer, "Samsung Electronics Co Ltd");
  EXPECT_EQ(controllers[0].Description, "Non-Volatile memory controller");
  EXPECT_EQ(controllers[1].DeviceID, "0000:00:18.0");
  EXPECT_EQ(controllers[1].Name, "");  // not in the list: no invented name
  EXPECT_EQ(controllers[2].Name, "82801IR/IO/IH (ICH9R/DO/DH) 6 port SATA Controller [AHCI mode]");
  EXPECT_EQ(controllers[2].Manufacturer, "Intel Corporation");
  EXPECT_EQ(Get_Controller(rows, 10), controllers[2].Name);
}

// The machine the tests run on: whatever it has, reading it never fails, and what it says
// about the operating system matches uname.
TEST(InventoryLinux, RunningSystemCanBeRead) {
  platform::Inventory_Provider& provider = platform::System_Inventory_Provider();
  Machine_Profile profile;
  ASSERT_NO_THROW(Fill_Machine_Profile(profile, provider));
  struct utsname u {};
  ASSERT_EQ(::uname(&u), 0);
  EXPECT_EQ(profile.MyOperatingSystem[0].Version, u.release);
  std::vector<std::string> entries;
  std::array<TMyLogicalDisks, 31> drives{};
  ASSERT_NO_THROW(Get_All_Local_Drives(entries, drives, provider, {}));
  for (std::size_t k = 0; k < entries.size(); ++k) {
    EXPECT_EQ(entries[k].rfind(drives[k].DeviceName + " (", 0), 0u) << entries[k];
    EXPECT_FALSE(drives[k].Model.empty()) << entries[k];
  }
}
