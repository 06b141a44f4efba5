// Drive labels and mount points that try to forge output: a label with a line end, a mount
// point with one, and bytes that are no UTF-8.
#include <gtest/gtest.h>

#include <QJsonDocument>
#include <QJsonObject>

#include <algorithm>
#include <array>
#include <string>
#include <vector>

#include "inventory/drive_info.h"
#include "inventory/inventory_output.h"
#include "inventory/machine_profile.h"
#include "inventory/wmi_functions.h"

namespace {

using platform::Cim_Instance;

// Two volumes any user can get mounted: a stick whose label carries a line end, under a
// mount point with a line end of its own, and one whose label is not UTF-8.
class Forged_Labels : public platform::Inventory_Provider {
 public:
  static constexpr const char* kForgedPoint = "/media/a\n/media/b (1 TB) Forged";
  static constexpr const char* kForgedLabel = "A\nSM=Forged\r";
  static constexpr const char* kBadPoint = "/media/bad";
  static constexpr const char* kBadLabel = "Stick\xff\xfe";

  void Instances_Of(const std::string& class_name, const std::function<void(const Cim_Instance&)>& each) override {
    if (class_name == "Win32_DiskDrive") {
      Cim_Instance disk;
      disk.Set_Text("DeviceID", "\\\\.\\PHYSICALDRIVE0");
      disk.Set_Text("Model", "Disk\x1b[2J\xff");
      disk.Set_Text("FirmwareRevision", "1.0\nCN=Forged");
      each(disk);
    }
    if (class_name != "Win32_LogicalDisk") return;
    for (const auto& [point, label] : {std::pair{kForgedPoint, kForgedLabel}, std::pair{kBadPoint, kBadLabel}}) {
      Cim_Instance volume;
      volume.Set_Text("DeviceID", point);
      volume.Set_Number("DriveType", platform::kCimUint32, 2);
      volume.Set_Number("Size", platform::kCimUint64, 1000000000);
      volume.Set_Text("VolumeName", label);
      each(volume);
    }
  }
  platform::Volume_Information Volume(const std::string& path) override {
    platform::Volume_Information info;
    info.ok = true;
    info.mount_point = path;
    info.file_system = "vfat";
    info.label = path == kBadPoint ? kBadLabel : kForgedLabel;
    return info;
  }
  platform::Disk_Extent Volume_Disk_Extent(const std::string&) override { return {}; }
};

std::size_t Lines_In(const std::string& text) { return static_cast<std::size_t>(std::count(text.begin(), text.end(), '\n')); }

}  // namespace

TEST(InventoryOutput, ALabelOrMountPointCannotForgeADriveOrAProfileItem) {
  Forged_Labels provider;
  std::vector<std::string> entries;
  std::array<TMyLogicalDisks, 31> drives{};
  ASSERT_TRUE(Get_All_Local_Drives(entries, drives, provider, {}));
  ASSERT_EQ(entries.size(), 2u);
  const std::string list = Drive_List_Text(entries);
  EXPECT_EQ(Lines_In(list), 2u) << list;
  EXPECT_EQ(list.find("\n/media/b (1 TB) Forged"), std::string::npos) << list;

  const Machine_Profile profile{};
  for (const TMyLogicalDisks& drive : {drives[0], drives[1]}) {
    const auto items = Profile_Report_Items(profile, drive);
    const std::string text = Profile_Text(items);
    EXPECT_EQ(Lines_In(text), items.size()) << text;
    EXPECT_EQ(text.find("\nSM=Forged"), std::string::npos) << text;

    QJsonParseError error{};
    const QJsonDocument json = QJsonDocument::fromJson(QByteArray::fromStdString(Profile_Json(items)), &error);
    ASSERT_EQ(error.error, QJsonParseError::NoError) << Profile_Json(items);
    EXPECT_EQ(json.object().size(), static_cast<qsizetype>(items.size()));
  }
}

TEST(InventoryOutput, LabelsAndModelsAreOneLineOfPrintableTextWhereTheyAreRead) {
  Forged_Labels provider;
  std::array<MY_WMI_LogicalDiskDrive_Record, 31> volumes;
  Get_WMI_Logical_Disks(volumes, 30, provider);
  EXPECT_EQ(volumes[0].VolumeName, "A\xef\xbf\xbdSM=Forged");
  EXPECT_EQ(volumes[0].DeviceID, Forged_Labels::kForgedPoint) << "a mount point is a path and stays as it is";
  EXPECT_EQ(volumes[1].VolumeName, "Stick\xef\xbf\xbd\xef\xbf\xbd");
  std::array<MY_WMI_PhysicalDiskDrive_Record, 31> disks;
  Get_WMI_Physical_Disks(disks, 30, provider);
  EXPECT_EQ(disks[0].Model, "Disk\xef\xbf\xbd[2J\xef\xbf\xbd");
  EXPECT_EQ(disks[0].FirmwareRevision, "1.0\xef\xbf\xbd" "CN=Forged");
  MY_DriveInfo info;
  Get_Drive_Info(Forged_Labels::kBadPoint, info, provider);
  EXPECT_EQ(info.VolumeName, "Stick\xef\xbf\xbd\xef\xbf\xbd");
}
