// The inventory queries against a fixture provider: property texts by CIM type, the Max
// rule, the computed sizes and a failing enumeration.
#include <gtest/gtest.h>

#include <QLocale>

#include <array>
#include <string>
#include <vector>

#include "inventory/fixture_provider.h"
#include "inventory/wmi_functions.h"

using platform::Cim_Instance;
using platform::Cim_Scalar;
using platform::Cim_Value;
using namespace platform;

namespace {

struct Value_Case {
  const char* what;
  Cim_Value value;
  std::string text;
};

std::string Text_Of(const Cim_Value& value) {
  Cim_Instance instance;
  instance.Set("P", value);
  return WMI_Value_To_Text(instance, "P");
}

// An instance set of one class, given as JSON instances.
Fixture_Provider Provider_With(const std::string& class_name, const std::string& instances) {
  Fixture_Provider provider;
  std::string reason;
  EXPECT_TRUE(provider.Load_Text(R"({"classes":{")" + class_name + R"(":)" + instances + "}}", reason)) << reason;
  return provider;
}

std::string Numbered(const char* property, int count) {
  std::string json = "[";
  for (int i = 0; i < count; ++i) json += std::string(i ? "," : "") + "{\"" + property + "\":\"n" + std::to_string(i) + "\"}";
  return json + "]";
}

}  // namespace

TEST(InventoryQuery, PropertyTextFollowsTheCimType) {
  const std::vector<Value_Case> cases = {
      {"sint16", Cim_Value::Scalar(kCimSint16, std::int64_t{-12}), "-12"},
      {"sint32", Cim_Value::Scalar(kCimSint32, std::int64_t{2147483647}), "2147483647"},
      {"sint8", Cim_Value::Scalar(kCimSint8, std::int64_t{-8}), "-8"},
      {"uint8", Cim_Value::Scalar(kCimUint8, std::int64_t{255}), "255"},
      {"uint16 delivered as a whole real", Cim_Value::Scalar(kCimUint16, 3.0), "3"},
      {"uint32 delivered as text", Cim_Value::Scalar(kCimUint32, std::string(" 512 ")), "512"},
      {"sint64 delivered as text", Cim_Value::Scalar(kCimSint64, std::string("-9000000000")), "-9000000000"},
      {"integer array from position 1 to the high bound",
       Cim_Value::Array(kCimUint16, {std::int64_t{3}, std::int64_t{4}, std::int64_t{10}}), "4 10"},
      {"integer array numbered from 1: every element",
       Cim_Value::Array(kCimUint16, {std::int64_t{3}, std::int64_t{4}}, 1), "3 4"},
      {"integer array with an element that is no number", Cim_Value::Array(kCimUint16, {std::int64_t{3}, std::string("x")}),
       ""},
      {"array of one element numbered from 0: high bound below 1", Cim_Value::Array(kCimUint32, {std::int64_t{7}}), ""},
      {"array numbered from 2: position 1 does not exist", Cim_Value::Array(kCimString, {std::string("a")}, 2), ""},
      {"integer that is no number", Cim_Value::Scalar(kCimUint32, std::string("12abc")), ""},
      {"integer given a boolean", Cim_Value::Scalar(kCimUint32, true), ""},
      {"real32", Cim_Value::Scalar(kCimReal32, 2.5), "2.5"},
      {"real64, 15 significant digits", Cim_Value::Scalar(kCimReal64, 1.0 / 3.0), "0.333333333333333"},
      {"real64 delivered as text", Cim_Value::Scalar(kCimReal64, std::string("1234.5")), "1234.5"},
      {"real that is no number", Cim_Value::Scalar(kCimReal64, std::string("fast")), ""},
      {"string", Cim_Value::Text("Samsung SSD"), "Samsung SSD"},
      {"string padded with blanks", Cim_Value::Text("   ST500DM002  \t"), "ST500DM002"},
      {"uint64 as text", Cim_Value::Scalar(kCimUint64, std::string("18446744073709551615")), "18446744073709551615"},
      {"uint64 as a number", Cim_Value::Scalar(kCimUint64, std::int64_t{500107862016}), "500107862016"},
      {"string array from position 1", Cim_Value::Array(kCimString, {std::string("a"), std::string("b c"), std::string("d")}),
       "b c d"},
      {"string array with bounds from 1", Cim_Value::Array(kCimString, {std::string("a"), std::string("b")}, 1), "a b"},
      {"empty array", Cim_Value::Array(kCimString, {}), ""},
      {"boolean true", Cim_Value::Scalar(kCimBoolean, true), "True"},
      {"boolean false", Cim_Value::Scalar(kCimBoolean, false), "False"},
      {"boolean as text", Cim_Value::Scalar(kCimBoolean, std::string("true")), "True"},
      {"boolean as another text", Cim_Value::Scalar(kCimBoolean, std::string("yes")), "False"},
      {"datetime as delivered", Cim_Value::Scalar(kCimDatetime, std::string("20240131120000.000000+060")),
       "20240131120000.000000+060"},
      {"reference as delivered", Cim_Value::Scalar(kCimReference, std::string(R"(\\HOST\root:Win32_X.Id="1")")),
       R"(\\HOST\root:Win32_X.Id="1")"},
      {"object", Cim_Value::Scalar(kCimObject, std::string("embedded")), ""},
      {"char16", Cim_Value::Scalar(kCimChar16, std::int64_t{65}), ""},
      {"unknown type code", Cim_Value::Scalar(999, std::string("x")), ""},
      {"Null", Cim_Value::Null(kCimString), ""},
      {"Null integer", Cim_Value::Null(kCimUint64), ""},
  };
  for (const auto& c : cases) EXPECT_EQ(Text_Of(c.value), c.text) << c.what;
}

TEST(InventoryQuery, RealsUseTheUsersDecimalSeparator) {
  const QLocale before;
  QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
  EXPECT_EQ(Text_Of(Cim_Value::Scalar(kCimReal64, 1234.5)), "1234,5");
  QLocale::setDefault(before);
}

TEST(InventoryQuery, MissingPropertyIsEmptyAndNamesIgnoreCase) {
  Cim_Instance instance;
  instance.Set("NumberOfCores", Cim_Value::Scalar(kCimUint32, std::int64_t{8}));
  EXPECT_EQ(WMI_Value_To_Text(instance, "NumberofCores"), "8");
  EXPECT_EQ(WMI_Value_To_Text(instance, "Signature"), "");
}

TEST(InventoryQuery, FixtureValuesKeepTheirTypes) {
  Fixture_Provider provider = Provider_With("Win32_DiskDrive", R"([{
      "DeviceID": "\\\\.\\PHYSICALDRIVE0", "MediaLoaded": true, "Signature": null, "Index": 0,
      "Size": {"type": 21, "value": "500107862016"},
      "Partitions": {"type": 19, "value": [1, 2]},
      "SectorsPerTrack": {"type": 19, "value": null},
      "TotalHeads": 2.5}])");
  std::array<MY_WMI_PhysicalDiskDrive_Record, 2> rows;
  Get_WMI_Physical_Disks(rows, 1, provider);
  EXPECT_EQ(rows[0].DeviceID, R"(\\.\PHYSICALDRIVE0)");
  EXPECT_EQ(rows[0].MediaLoaded, "True");
  EXPECT_EQ(rows[0].Signature, "");
  EXPECT_EQ(rows[0].Index, "0");
  EXPECT_EQ(rows[0].Size, "500107862016");
  EXPECT_EQ(rows[0].SizeFormatted, "500.1 GB");
  EXPECT_EQ(rows[0].Partitions, "2");  // a JSON array is numbered from 0: position 1 on
  EXPECT_EQ(rows[0].SectorsPerTrack, "");
  EXPECT_EQ(rows[0].TotalHeads, "2.5");  // a bare real is a real64
  EXPECT_EQ(rows[0].Model, "");          // a property the instance lacks
}

TEST(InventoryQuery, StoresAtMostMaxInstancesAndClearsUpToMax) {
  Fixture_Provider provider = Provider_With("Win32_Processor", Numbered("Name", 12));
  std::array<MY_WMI_Processor_Record, 11> rows;
  for (auto& row : rows) row.Name = "stale";
  Get_WMI_Processors(rows, 10, provider);
  for (int i = 0; i < 10; ++i) EXPECT_EQ(rows[i].Name, "n" + std::to_string(i));
  EXPECT_EQ(rows[10].Name, "");  // position Max always ends empty

  // Fewer instances than Max: the rest of 0..Max is cleared.
  Fixture_Provider two = Provider_With("Win32_Processor", Numbered("Name", 2));
  for (auto& row : rows) row.Name = "stale";
  Get_WMI_Processors(rows, 10, two);
  EXPECT_EQ(rows[1].Name, "n1");
  EXPECT_EQ(rows[2].Name, "");
}

TEST(InventoryQuery, OperatingSystemWithMaxOneKeepsTheFirst) {
  Fixture_Provider provider = Provider_With("Win32_OperatingSystem", Numbered("Caption", 3));
  std::array<MY_WMI_OperatingSystem_Record, 2> rows;
  Get_WMI_Operating_System(rows, 1, provider);
  EXPECT_EQ(rows[0].Caption, "n0");
  EXPECT_EQ(rows[1].Caption, "");
}

TEST(InventoryQuery, MaxOutsideTheArrayTouchesNothingBeyondIt) {
  Fixture_Provider provider = Provider_With("Win32_IDEController", Numbered("Name", 5));
  std::array<MY_WMI_IDEController_Record, 3> rows;
  Get_WMI_IDE_Controllers(rows, 30, provider);  // taken as the array's last position
  EXPECT_EQ(rows[0].Name, "n0");
  EXPECT_EQ(rows[1].Name, "n1");
  EXPECT_EQ(rows[2].Name, "");

  rows[0].Name = "kept";
  Get_WMI_IDE_Controllers(rows, -1, provider);
  EXPECT_EQ(rows[0].Name, "kept");
}

TEST(InventoryQuery, ComputedSizesSwitchPatternAtTheirThresholds) {
  struct Size_Case {
    const char* class_name;
    const char* property;
    const char* value;  // JSON
    std::string formatted;
  };
  const std::vector<Size_Case> cases = {
      {"Win32_DiskDrive", "Size", R"("999999999")", "1000 MB"},
      {"Win32_DiskDrive", "Size", R"("1000000000")", "1.0 GB"},
      {"Win32_DiskDrive", "Size", R"("500107862016")", "500.1 GB"},
      {"Win32_LogicalDisk", "Size", R"("999999999999")", "1000 GB"},
      {"Win32_LogicalDisk", "Size", R"("1000000000000")", "1.0 TB"},
      {"Win32_LogicalDisk", "Size", R"("500107862016")", "500 GB"},
      {"Win32_LogicalDisk", "Size", "null", "0 bytes"},
      {"Win32_LogicalDisk", "Size", R"("n/a")", "0 bytes"},
      {"Win32_ComputerSystem", "TotalPhysicalMemory", R"("1073741823")", "1024 MB"},
      {"Win32_ComputerSystem", "TotalPhysicalMemory", R"("1073741824")", "1.0 GB"},
      {"Win32_ComputerSystem", "TotalPhysicalMemory", R"("17179869184")", "16.0 GB"},
  };
  for (const auto& c : cases) {
    Fixture_Provider provider =
        Provider_With(c.class_name, std::string("[{\"") + c.property + "\":" + c.value + "}]");
    std::string formatted;
    if (std::string(c.class_name) == "Win32_DiskDrive") {
      std::array<MY_WMI_PhysicalDiskDrive_Record, 31> rows;
      Get_WMI_Physical_Disks(rows, 30, provider);
      formatted = rows[0].SizeFormatted;
    } else if (std::string(c.class_name) == "Win32_LogicalDisk") {
      std::array<MY_WMI_LogicalDiskDrive_Record, 31> rows;
      Get_WMI_Logical_Disks(rows, 30, provider);
      formatted = rows[0].SizeFormatted;
    } else {
      std::array<MY_WMI_ComputerSystem_Record, 11> rows;
      Get_WMI_Computer_Systems(rows, 10, provider);
      formatted = rows[0].TotalPhysicalMemoryFormatted;
    }
    EXPECT_EQ(formatted, c.formatted) << c.class_name << " " << c.value;
  }
}

TEST(InventoryQuery, FailingEnumerationKeepsTheRowsBeforeIt) {
  Fixture_Provider provider =
      Provider_With("Win32_IDEController", R"({"fail_after": 2, "instances": [{"Name":"a"},{"Name":"b"},{"Name":"c"}]})");
  std::array<MY_WMI_IDEController_Record, 11> rows;
  rows[5].Name = "stale";
  EXPECT_THROW(Get_WMI_IDE_Controllers(rows, 10, provider), Inventory_Error);
  EXPECT_EQ(rows[0].Name, "a");
  EXPECT_EQ(rows[1].Name, "b");
  EXPECT_EQ(rows[2].Name, "");
  EXPECT_EQ(rows[5].Name, "");  // cleared before the enumeration began
}

TEST(InventoryQuery, UnknownClassHasNoInstances) {
  Fixture_Provider provider = Provider_With("Win32_Processor", Numbered("Name", 1));
  std::array<MY_WMI_IDEController_Record, 11> rows;
  Get_WMI_IDE_Controllers(rows, 10, provider);
  EXPECT_EQ(rows[0].Name, "");
}

TEST(InventoryQuery, FixtureFilesThatAreNoInventoryAreRefused) {
  const std::vector<std::pair<std::string, std::string>> cases = {
      {"{\"classes\": [", "not JSON"},
      {"[1, 2]", "must be a JSON object"},
  };
  for (const auto& [text, reason_part] : cases) {
    Fixture_Provider provider;
    std::string reason;
    EXPECT_FALSE(provider.Load_Text(text, reason)) << text;
    EXPECT_NE(reason.find(reason_part), std::string::npos) << reason;
  }
  Fixture_Provider provider;
  std::string reason;
  EXPECT_FALSE(provider.Load_File("/nonexistent/inventory.json", reason));
  EXPECT_NE(reason.find("/nonexistent/inventory.json"), std::string::npos);
}
