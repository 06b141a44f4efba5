// An inventory read from a JSON file instead of the running system: for tests, and for
// reproducing what a user's machine reported.
//
//   {
//     "classes": {
//       "Win32_DiskDrive": [ { "DeviceID": "\\\\.\\PHYSICALDRIVE0",
//                              "Size": { "type": 21, "value": "500107862016" },
//                              "MediaLoaded": true, "Signature": null } ],
//       "Win32_LogicalDisk": { "instances": [ ... ], "fail_after": 1 }
//     },
//     "volumes": { "/": { "file_system": "ext4", "drive_type": 2, "label": "root",
//                         "uuid": "...", "max_name_length": 255, "block_size": 4096,
//                         "free_blocks": 10, "total_blocks": 100 } },
//     "extents": { "/": { "DiskNumber": 0, "StartingOffset": 1048576, "ExtentLength": 1000 } }
//   }
//
// A property is either { "type": <CIM type code>, "value": null | scalar | [scalars],
// "lower_bound": n } or a bare value: a string (string), true/false (boolean), null (a Null
// string) or a number (sint64 when whole, otherwise real64). A class given as an object
// with "fail_after": n delivers n instances and then fails, as a broken enumeration does.
// A volume is known by its mount point; any path below it belongs to it.
#pragma once

#include <QJsonObject>

#include <string>

#include "platform/inventory_provider.h"

class Fixture_Provider : public platform::Inventory_Provider {
 public:
  // Both return false with the reason when the text is not a usable inventory; the
  // provider then has no instances at all.
  bool Load_File(const std::string& path, std::string& reason);
  bool Load_Text(const std::string& json, std::string& reason);

  void Instances_Of(const std::string& class_name,
                    const std::function<void(const platform::Cim_Instance&)>& each) override;
  platform::Volume_Information Volume(const std::string& path) override;
  platform::Disk_Extent Volume_Disk_Extent(const std::string& mount_point) override;

 private:
  QJsonObject root_;
};
