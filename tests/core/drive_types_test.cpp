// One drive-type rule: the table of cases, and the drive list and the facts of one drive
// agreeing on a made-up machine with every kind of drive.
#include <gtest/gtest.h>

#include <array>
#include <map>
#include <string>

#include "fake_machine.h"
#include "inventory/wmi_functions.h"
#include "platform/drive_types.h"
#include "platform/volumes.h"

using platform::Drive_Evidence;

TEST(DriveTypes, OneRuleForEveryKindOfDrive) {
  struct Case {
    const char* what;
    Drive_Evidence evidence;
    int type;
  };
  const Case cases[] = {
      {"ext4 on a SATA disk", {"ext4", false, false, false}, platform::kDriveFixed},
      {"vfat on a USB stick the kernel marks removable", {"vfat", false, true, false}, platform::kDriveRemovable},
      {"ext4 on a USB hard disk or SSD", {"ext4", false, false, false}, platform::kDriveFixed},
      {"nfs4", {"nfs4", true, false, false}, platform::kDriveNetwork},
      {"a network type the mount table names", {"fuse.sshfs", true, false, false}, platform::kDriveNetwork},
      {"tmpfs", {"tmpfs", false, false, false}, platform::kDriveRam},
      {"ramfs", {"ramfs", false, false, false}, platform::kDriveRam},
      {"zfs, without one block device", {"zfs", false, false, false}, platform::kDriveFixed},
      {"iso9660 on a loop device", {"iso9660", false, false, false}, platform::kDriveOptical},
      {"udf on a DVD drive (removable too)", {"udf", false, true, true}, platform::kDriveOptical},
      {"udf on a hard disk", {"udf", false, false, false}, platform::kDriveFixed},
  };
  for (const Case& c : cases) EXPECT_EQ(platform::Classify_Drive(c.evidence), c.type) << c.what;
}

namespace {

// Beside the common disks: a USB hard disk the kernel does not mark removable, and a DVD drive.
void Add_Usb_Hard_Disk_And_Dvd(Fake_Machine& m) {
  const std::string usb = "pci0000:00/0000:00:14.0/usb3/3-1/3-1:1.0/host7/target7:0:0/7:0:0:0";
  m.Disk(usb, "block/sdc", {{"model", "Portable SSD T7"}}, {{"size", "1953525168"}, {"removable", "0"}}, "8:32");
  m.Partition(usb + "/block/sdc/sdc1", "1", "2048", "1953523120", "8:33");
  const std::string dvd = "pci0000:00/0000:00:1f.2/ata2/host1/target1:0:0/1:0:0:0";
  m.Disk(dvd, "block/sr0", {{"type", "5"}}, {{"size", "8000000"}, {"removable", "1"}}, "11:0");
}

}  // namespace

TEST(DriveTypes, TheDriveListAndTheFactsOfOneDriveGiveEveryDriveTheSameType) {
  Fake_Machine m;
  Add_Disks(m);
  Add_Usb_Hard_Disk_And_Dvd(m);
  const std::map<std::string, std::string> expected = {
      {m.Folder("data"), "3"},     {m.Folder("stick"), "2"}, {m.Folder("usb-ssd"), "3"}, {m.Folder("dvd"), "5"},
      {m.Folder("udf-disk"), "3"}, {m.Folder("tank"), "3"},  {m.Folder("share"), "4"},   {m.Folder("ram"), "6"},
      {m.Folder("lvm"), "3"},
  };
  Add_Mounts(m, {
                    {"8:2", "/", m.root / "data", "ext4", "/dev/sda2"},
                    {"8:17", "/", m.root / "stick", "vfat", "/dev/sdb1"},
                    {"8:33", "/", m.root / "usb-ssd", "ext4", "/dev/sdc1"},
                    {"11:0", "/", m.root / "dvd", "udf", "/dev/sr0"},
                    {"8:1", "/", m.root / "udf-disk", "udf", "/dev/sda1"},
                    {"0:60", "/", m.root / "tank", "zfs", "tank/home"},
                    {"0:50", "/", m.root / "share", "nfs4", "server:/export"},
                    {"0:30", "/", m.root / "ram", "tmpfs", "tmpfs"},
                    {"253:0", "/", m.root / "lvm", "ext4", "/dev/mapper/vg-lv"},
                });
  platform::Linux_Inventory_Provider provider(platform::System_Platform(), m.sources);
  std::array<MY_WMI_LogicalDiskDrive_Record, 31> rows;
  Get_WMI_Logical_Disks(rows, 30, provider);
  std::map<std::string, std::string> listed;
  for (const auto& row : rows)
    if (!row.DeviceID.empty()) listed[row.DeviceID] = row.DriveType;
  EXPECT_EQ(listed, expected);

  const platform::Volume_Query query{m.sources.proc, m.sources.sys, m.sources.dev};
  for (const auto& [point, type] : expected) {
    const platform::Volume_Facts facts = platform::Get_Volume_Facts(point, query);
    ASSERT_TRUE(facts.ok) << point;
    EXPECT_EQ(facts.mount_point, point);
    EXPECT_EQ(std::to_string(facts.drive_type + 1), type) << point << " (the volume inventory counts from 1)";
  }
}
