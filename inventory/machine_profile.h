// The machine profile: what the program keeps about the computer between start-up and the
// report of a result.
#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <string>
#include <utility>
#include <vector>

#include "inventory/drive_info.h"
#include "inventory/wmi_functions.h"

struct Machine_Profile {
  std::array<MY_WMI_Processor_Record, 11> MyProcessors{};
  std::array<MY_WMI_IDEController_Record, 11> MyIDEControllers{};
  std::array<MY_WMI_ComputerSystem_Record, 11> MyComputerSystems{};
  std::array<MY_WMI_OperatingSystem_Record, 2> MyOperatingSystem{};
};

// Refills the profile, in this order: storage controllers (Max 10), processors (Max 10),
// computer systems (Max 10), operating system (Max 1). A failing query throws
// platform::Inventory_Error; the arrays filled before it keep their new content, the later
// ones what they held.
void Fill_Machine_Profile(Machine_Profile& profile, platform::Inventory_Provider& provider);

// The longest controller name of List[0..Max] (the earliest of equally long ones); empty
// when all are empty.
std::string Get_Controller(std::span<const MY_WMI_IDEController_Record> List, std::int32_t Max);

// The Windows version names, positions 0 ("Unknown") to 12.
extern const std::array<const char*, 13> Windows_Version_Names;

// The name of a Windows version from its platform identifier (1 the 95 family, 2 NT),
// major and minor version and service-pack text; "Unknown" for anything else.
std::string Classify_Windows_Version(std::uint32_t platform_id, std::uint32_t major, std::uint32_t minor,
                                     const std::string& csd_version);

// The running system classified: Linux has no Windows version numbers, so "Unknown".
std::string Get_Windows_Version_Name();

// The machine items of a result report, key and value, in report order: "OS", "OSA",
// "OSN", "SM", "SS", "ST", "SSE", "SFST", "SF", "MA", "CS", "PN", "PT", "CN", "CM", "CMO",
// "CME". drive is the listed drive of the run.
std::vector<std::pair<std::string, std::string>> Profile_Report_Items(const Machine_Profile& profile,
                                                                      const TMyLogicalDisks& drive);
