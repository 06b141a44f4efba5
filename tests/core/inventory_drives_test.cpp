// Drive discovery against a fixture machine: which volumes are listed and how, the disk
// behind each volume, and the drive facts the benchmark sizes its blocks on.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "inventory/drive_info.h"
#include "inventory/fixture_provider.h"
#include "platform/linux_inventory.h"
#include "platform/posix_platform.h"

namespace {

const std::string kFixtures = (std::filesystem::path(__FILE__).parent_path() / "fixtures").string();

class Drive_Fixture : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string reason;
    ASSERT_TRUE(machine.Load_File(kFixtures + "/drives.json", reason)) << reason;
  }
  Drive_Log Recorder() {
    return [this](const std::string& line) { log.push_back(line); };
  }
  Fixture_Provider machine;
  std::vector<std::string> log;
};

// A machine with eleven disks, enumerated 10, 0, 1, ..., 9, and one volume on each.
Fixture_Provider Eleven_Disks() {
  std::string disks, volumes, extents;
  for (int n : {10, 0, 1, 2, 3, 4, 5, 6, 7, 8, 9}) {
    const std::string id = n == 3 ? R"( \\\\.\\physicaldrive3 )" : R"(\\\\.\\PHYSICALDRIVE)" + std::to_string(n);
    const std::string sep = disks.empty() ? "" : ",";
    disks += sep + R"({"DeviceID":")" + id + R"(","Model":"Disk )" + std::to_string(n) + R"(","FirmwareRevision":"F)" +
             std::to_string(n) + R"("})";
    volumes += sep + R"("/v)" + std::to_string(n) + R"(":{"file_system":"ext4","drive_type":2,"block_size":4096})";
    extents += sep + R"("/v)" + std::to_string(n) + R"(":{"DiskNumber":)" + std::to_string(n) + R"(,"ExtentLength":4096})";
  }
  Fixture_Provider provider;
  std::string reason;
  EXPECT_TRUE(provider.Load_Text(R"({"classes":{"Win32_DiskDrive":[)" + disks + R"(]},"volumes":{)" + volumes +
                                     R"(},"extents":{)" + extents + "}}",
                                 reason))
      << reason;
  return provider;
}

}  // namespace

TEST(InventoryDrives, FindTextNoCase) {
  struct Case {
    std::string text, part;
    std::int32_t position;
  };
  const std::vector<Case> cases = {
      {" abcd ", "bc", 2},
      {"abcd", "BC", 2},
      {"abcd", "  bc ", 2},
      {"abcd", "abcd", 1},
      {"abcd", "x", -1},
      {"", "a", -1},
      {"   ", "a", -1},
      {"abc", "", -1},
      {R"(\\.\PHYSICALDRIVE10)", "physicaldrive1", 5},
  };
  for (const auto& c : cases) EXPECT_EQ(Find_Text_No_Case(c.text, c.part), c.position) << c.text << " / " << c.part;
}

TEST(InventoryDrives, SerialFromUuid) {
  const std::vector<std::pair<std::string, std::string>> cases = {
      {"1234-ABCD", "305441741"},                              // FAT volume id
      {"1b9f7a3e-2c41-4f0e-9d7a-0c3e5f1a2b3c", "463436350"},   // first 32 bits of a UUID
      {"0123456789ABCDEF", "2309737967"},                      // NTFS: the low half of its serial
      {"", ""},
      {"not-an-id", ""},
  };
  for (const auto& [uuid, serial] : cases) EXPECT_EQ(Serial_From_Uuid(uuid), serial) << uuid;
}

TEST(InventoryDrives, DriveMountPoint) {
  const std::vector<std::pair<std::string, std::string>> cases = {{"/", "/"}, {"/media/usb/", "/media/usb"}};
  for (const auto& [name, point] : cases) {
    TMyLogicalDisks drive;
    drive.DeviceName = name;
    EXPECT_EQ(Drive_Mount_Point(drive), point);
  }
}

TEST_F(Drive_Fixture, ListsRemovableLocalAndNetworkDrivesInListOrder) {
  std::vector<std::string> entries = {"left over"};
  std::array<TMyLogicalDisks, 31> drives{};
  drives[6].DeviceName = "/from/an/earlier/pass/";
  ASSERT_TRUE(Get_All_Local_Drives(entries, drives, machine, Recorder()));
  const std::vector<std::string> expected = {
      "/ (500 GB) Samsung SSD 860 EVO 500GB",  // the matched disk's model
      "/data-2/ (2.0 TB) backup",              // no disk found: the volume label
      "/data/ (1000 GB) Generic Disk",         // a matched disk without a model
      "/media/usb/ (31 GB) SanDisk Ultra",
      "/mnt/share/ (2.0 TB) Network Drive",
      "/srv/scratch/ (120 GB) Generic Disk",   // no disk, no label
  };
  EXPECT_EQ(entries, expected);
  // Entry k and record k are the same drive: sorted as the list sorts its texts.
  for (std::size_t k = 0; k < entries.size(); ++k) EXPECT_EQ(entries[k].rfind(drives[k].DeviceName + " (", 0), 0u) << k;
  EXPECT_EQ(drives[6].DeviceName, "/from/an/earlier/pass/");  // a pass does not clear the rest

  const TMyLogicalDisks& root = drives[0];
  EXPECT_EQ(root.DeviceName, "/");
  EXPECT_EQ(root.Size, 500000000000);
  EXPECT_EQ(root.SizeFormatted, "500 GB");
  EXPECT_EQ(root.Model, "Samsung SSD 860 EVO 500GB");
  EXPECT_EQ(root.SerialNumber, "1b9f7a3e-2c41-4f0e-9d7a-0c3e5f1a2b3c");  // the inventory's text, not the 32-bit form
  EXPECT_EQ(root.DriveType, "3");
  EXPECT_EQ(root.FileSystemType, "ext4");
  EXPECT_EQ(root.Firmware, "RVT04B6Q");
  EXPECT_EQ(drives[3].DriveType, "2");
  EXPECT_EQ(drives[3].Firmware, "1.00");
  EXPECT_EQ(drives[4].DriveType, "4");
  EXPECT_EQ(drives[4].Firmware, "");

  ASSERT_GE(log.size(), 2u);
  EXPECT_EQ(log.front(), "Getting Drive List Start");
  EXPECT_EQ(log.back(), "Getting Drive List Finish");
}

TEST_F(Drive_Fixture, FailingVolumeInventoryPassesOnWithTheFinishLine) {
  Fixture_Provider broken;
  std::string reason;
  ASSERT_TRUE(broken.Load_Text(R"({"classes":{"Win32_LogicalDisk":{"fail_after":0,"instances":[]}}})", reason));
  std::vector<std::string> entries = {"left over"};
  std::array<TMyLogicalDisks, 31> drives{};
  EXPECT_THROW(Get_All_Local_Drives(entries, drives, broken, Recorder()), platform::Inventory_Error);
  EXPECT_TRUE(entries.empty());
  EXPECT_EQ(log, (std::vector<std::string>{"Getting Drive List Start", "Getting Drive List Finish"}));
}

TEST_F(Drive_Fixture, DriveInfoOfEachVolume) {
  struct Case {
    std::string root;
    bool result;
    std::string model, firmware, disk, label, serial;
    std::int32_t drive_type;
  };
  const std::vector<Case> cases = {
      {"/", true, "Samsung SSD 860 EVO 500GB", "RVT04B6Q", R"(\\.\PHYSICALDRIVE0)", "root", "463436350", 2},
      {"/data", true, "Generic Disk", "1.0", R"(\\.\PHYSICALDRIVE1)", "", "", 2},
      {"/media/usb/", true, "SanDisk Ultra", "1.00", R"(\\.\PHYSICALDRIVE2)", "", "305441741", 1},
      {"/media/usb/photos/2024", true, "SanDisk Ultra", "1.00", R"(\\.\PHYSICALDRIVE2)", "", "305441741", 1},
      // The extent is unknown: the volume does not take the first disk's model.
      {"/srv/scratch", true, "", "", "", "", "", 2},
      {"/mnt/share", true, "", "", "", "", "", 3},
      {"relative/path", false, "", "", "", "", "", 0},
  };
  for (const auto& c : cases) {
    MY_DriveInfo info;
    info.Model = "stale";
    EXPECT_EQ(Get_Drive_Info(c.root, info, machine), c.result) << c.root;
    EXPECT_EQ(info.Model, c.model) << c.root;
    EXPECT_EQ(info.FirmwareRevision, c.firmware) << c.root;
    EXPECT_EQ(info.PhysicalVolumeName, c.disk) << c.root;
    EXPECT_EQ(info.VolumeName, c.label) << c.root;
    EXPECT_EQ(info.SerialNumber, c.serial) << c.root;
    EXPECT_EQ(info.DriveType, c.drive_type) << c.root;
  }
}

TEST_F(Drive_Fixture, DriveInfoSpaceAndCapabilities) {
  MY_DriveInfo info;
  ASSERT_TRUE(Get_Drive_Info("/", info, machine));
  EXPECT_EQ(info.FileSystemType, "ext4");
  EXPECT_EQ(info.SectorPerCluster, 1);
  EXPECT_EQ(info.BytesPerCluster, 4096);
  EXPECT_EQ(info.FreeClusters, 1000);
  EXPECT_EQ(info.TotalClusters, 122070312);
  EXPECT_EQ(info.FreeSpace, 4096000);
  EXPECT_EQ(info.TotalSpace, 122070312LL * 4096);
  EXPECT_TRUE(info.LongFileNames);
  EXPECT_TRUE(info.CaseSensitive);
  EXPECT_TRUE(info.PersistentAcls);

  Fixture_Provider odd;
  std::string reason;
  ASSERT_TRUE(odd.Load_Text(R"({"volumes":{
      "/dos": {"file_system": "msdos", "drive_type": 1, "max_name_length": 8, "block_size": 512},
      "/nine": {"file_system": "ext4", "drive_type": 2, "max_name_length": 9, "block_size": 512},
      "/nospace": {"file_system": "ext4", "drive_type": 2, "label": "data"}}})",
                            reason))
      << reason;
  ASSERT_TRUE(Get_Drive_Info("/dos", info, odd));
  EXPECT_FALSE(info.LongFileNames);
  EXPECT_FALSE(info.CaseSensitive);
  EXPECT_FALSE(info.CaseIsPreserved);
  ASSERT_TRUE(Get_Drive_Info("/nine", info, odd));
  EXPECT_TRUE(info.LongFileNames);
  // Without space figures the result is false, the other facts are still there.
  EXPECT_FALSE(Get_Drive_Info("/nospace", info, odd));
  EXPECT_EQ(info.VolumeName, "data");
  EXPECT_EQ(info.DriveType, 2);
  EXPECT_EQ(info.TotalSpace, 0);
}

TEST(InventoryDrives, ElevenDisksEachVolumeGetsItsOwnDisk) {
  Fixture_Provider provider = Eleven_Disks();
  for (int n = 0; n <= 10; ++n) {
    MY_DriveInfo info;
    Get_Drive_Info("/v" + std::to_string(n), info, provider);
    EXPECT_EQ(info.Model, "Disk " + std::to_string(n)) << "volume on disk " << n;
    EXPECT_EQ(info.FirmwareRevision, "F" + std::to_string(n));
  }
}

TEST(InventoryDrives, DriveInfoThroughThePlatformTakesItsDriveType) {
  struct Typed_Platform : platform::Posix_Platform {
    platform::Volume_Facts Volume(const std::string& path) override {
      platform::Volume_Facts facts = Posix_Platform::Volume(path);
      if (facts.ok) facts.drive_type = drive_type;
      facts.ok = facts.ok && !refuse;
      return facts;
    }
    int drive_type = platform::kDriveNetwork;
    bool refuse = false;
  } os;
  platform::Linux_Inventory_Provider provider(os);
  const std::string here = std::filesystem::temp_directory_path().string();
  MY_DriveInfo info;
  EXPECT_TRUE(Get_Drive_Info(here, info, provider));
  EXPECT_EQ(info.DriveType, platform::kDriveNetwork);
  EXPECT_GT(info.TotalSpace, 0);
  os.refuse = true;
  EXPECT_FALSE(Get_Drive_Info(here, info, provider));
  EXPECT_EQ(info.DriveType, 0);
  EXPECT_EQ(info.FileSystemType, "");
}
