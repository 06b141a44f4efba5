// The machine profile: the order the arrays are filled in, what a failing query leaves, the
// controller name, the Windows version name and the report items.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "inventory/fixture_provider.h"
#include "inventory/machine_profile.h"

namespace {

// Notes which classes were asked for, in order.
class Recording_Provider : public Fixture_Provider {
 public:
  void Instances_Of(const std::string& class_name,
                    const std::function<void(const platform::Cim_Instance&)>& each) override {
    asked.push_back(class_name);
    Fixture_Provider::Instances_Of(class_name, each);
  }
  std::vector<std::string> asked;
};

const char* const kMachine = R"json({"classes":{
  "Win32_IDEController": [{"Name":"Standard SATA AHCI Controller"},{"Name":"NVMe Controller"}],
  "Win32_Processor": [{"Name":"First CPU","Manufacturer":"GenuineIntel","MaxClockSpeed":{"type":19,"value":3600},
                       "ProcessorType":{"type":18,"value":3}},
                      {"Name":"Second CPU"}],
  "Win32_ComputerSystem": [{"Manufacturer":"Maker","Model":"Box 1",
                            "TotalPhysicalMemory":{"type":21,"value":"17179869184"}}],
  "Win32_OperatingSystem": [{"Caption":"Debian GNU/Linux 12 (bookworm)","Version":"6.1.0-18-amd64",
                             "OSArchitecture":"64-bit","CSDVersion":null},
                            {"Caption":"second"}]
}})json";

}  // namespace

TEST(InventoryProfile, FillsTheFourArraysInOrder) {
  Recording_Provider provider;
  std::string reason;
  ASSERT_TRUE(provider.Load_Text(kMachine, reason)) << reason;
  Machine_Profile profile;
  profile.MyProcessors[5].Name = "stale";
  Fill_Machine_Profile(profile, provider);
  EXPECT_EQ(provider.asked, (std::vector<std::string>{"Win32_IDEController", "Win32_Processor", "Win32_ComputerSystem",
                                                      "Win32_OperatingSystem"}));
  EXPECT_EQ(profile.MyIDEControllers[1].Name, "NVMe Controller");
  EXPECT_EQ(profile.MyProcessors[0].Name, "First CPU");
  EXPECT_EQ(profile.MyProcessors[1].Name, "Second CPU");
  EXPECT_EQ(profile.MyProcessors[5].Name, "");
  EXPECT_EQ(profile.MyComputerSystems[0].TotalPhysicalMemoryFormatted, "16.0 GB");
  EXPECT_EQ(profile.MyOperatingSystem[0].Caption, "Debian GNU/Linux 12 (bookworm)");
  EXPECT_EQ(profile.MyOperatingSystem[1].Caption, "");  // Max 1: only the first
}

TEST(InventoryProfile, FailingQueryStopsTheFillAndKeepsWhatCameBefore) {
  Fixture_Provider provider;
  std::string reason;
  ASSERT_TRUE(provider.Load_Text(R"({"classes":{
      "Win32_IDEController": [{"Name":"new controller"}],
      "Win32_Processor": {"fail_after": 1, "instances": [{"Name":"new cpu"}]},
      "Win32_ComputerSystem": [{"Model":"new model"}]}})",
                                 reason));
  Machine_Profile profile;
  profile.MyComputerSystems[0].Model = "from the last activation";
  EXPECT_THROW(Fill_Machine_Profile(profile, provider), platform::Inventory_Error);
  EXPECT_EQ(profile.MyIDEControllers[0].Name, "new controller");
  EXPECT_EQ(profile.MyProcessors[0].Name, "new cpu");
  EXPECT_EQ(profile.MyComputerSystems[0].Model, "from the last activation");
}

TEST(InventoryProfile, ControllerIsTheLongestNameAndTheFirstOfEqualOnes) {
  struct Case {
    std::vector<std::string> names;
    std::int32_t max;
    std::string controller;
  };
  const std::vector<Case> cases = {
      {{}, 10, ""},
      {{"", "", ""}, 10, ""},
      {{"ABCD", "WXYZ"}, 10, "ABCD"},
      {{"short", "", "the longest name", "longer name"}, 10, "the longest name"},
      {{"short", "the longest name"}, 0, "short"},  // only positions 0..Max are looked at
  };
  for (const auto& c : cases) {
    std::array<MY_WMI_IDEController_Record, 11> list;
    for (std::size_t i = 0; i < c.names.size(); ++i) list[i].Name = c.names[i];
    EXPECT_EQ(Get_Controller(list, c.max), c.controller);
  }
}

TEST(InventoryProfile, WindowsVersionNames) {
  struct Case {
    std::uint32_t platform_id, major, minor;
    std::string csd, name;
  };
  const std::vector<Case> cases = {
      {1, 4, 0, "", "Windows 95"},   {1, 4, 10, " A ", "Windows 98se"}, {1, 4, 10, " B", "Windows 98"},
      {1, 4, 10, "", "Windows 98"},  {1, 4, 90, "", "Windows ME"},      {2, 3, 51, "", "Windows NT"},
      {2, 4, 0, "", "Windows NT"},   {2, 5, 0, "", "Windows 2000"},     {2, 5, 1, "", "Windows XP"},
      {2, 5, 2, "", "Windows 2003"}, {2, 6, 0, "", "Windows Vista"},    {2, 6, 1, "", "Windows 7"},
      {2, 6, 2, "", "Unknown"},      {2, 10, 0, "", "Unknown"},         {1, 4, 20, "", "Unknown"},
      {0, 0, 0, "", "Unknown"},
  };
  for (const auto& c : cases)
    EXPECT_EQ(Classify_Windows_Version(c.platform_id, c.major, c.minor, c.csd), c.name)
        << c.platform_id << " " << c.major << "." << c.minor;
  EXPECT_EQ(Get_Windows_Version_Name(), "Unknown");
}

TEST(InventoryProfile, ReportItemsComeFromTheProfileAndTheDrive) {
  Fixture_Provider provider;
  std::string reason;
  ASSERT_TRUE(provider.Load_Text(kMachine, reason)) << reason;
  Machine_Profile profile;
  Fill_Machine_Profile(profile, provider);
  TMyLogicalDisks drive{"/", 500000000000, "500 GB", "Samsung SSD", "uuid-1", "3", "ext4", "RVT04B6Q"};
  const std::vector<std::pair<std::string, std::string>> expected = {
      {"OS", "6.1.0-18-amd64"},
      {"OSA", "64-bit"},
      {"OSN", "Debian GNU/Linux 12 (bookworm)"},  // no service pack: no parentheses
      {"SM", "Samsung SSD"},
      {"SS", "500 GB"},
      {"ST", "3"},
      {"SSE", "uuid-1"},
      {"SFST", "ext4"},
      {"SF", "RVT04B6Q"},
      {"MA", "GenuineIntel"},
      {"CS", "3600"},
      {"PN", "First CPU"},
      {"PT", "3"},
      {"CN", "Standard SATA AHCI Controller"},
      {"CM", "Maker"},
      {"CMO", "Box 1"},
      {"CME", "16.0 GB"},
  };
  EXPECT_EQ(Profile_Report_Items(profile, drive), expected);
  profile.MyOperatingSystem[0].CSDVersion = "Service Pack 1";
  EXPECT_EQ(Profile_Report_Items(profile, drive)[2].second, "Debian GNU/Linux 12 (bookworm) (Service Pack 1)");
}
