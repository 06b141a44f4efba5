#include "inventory/machine_profile.h"

#include <algorithm>

const std::array<const char*, 13> Windows_Version_Names = {
    "Unknown",      "Windows 95", "Windows 98",   "Windows 98se",  "Windows NT", "Windows ME",   "Windows 2000",
    "Windows XP",   "Windows 2003", "Windows Vista", "Windows 7",   "Windows 8",  "Windows 2008"};

void Fill_Machine_Profile(Machine_Profile& profile, platform::Inventory_Provider& provider) {
  Get_WMI_IDE_Controllers(profile.MyIDEControllers, 10, provider);
  Get_WMI_Processors(profile.MyProcessors, 10, provider);
  Get_WMI_Computer_Systems(profile.MyComputerSystems, 10, provider);
  Get_WMI_Operating_System(profile.MyOperatingSystem, 1, provider);
}

std::string Get_Controller(std::span<const MY_WMI_IDEController_Record> List, std::int32_t Max) {
  std::string result;
  std::size_t best = 0;
  const std::int64_t last = std::min<std::int64_t>(Max, static_cast<std::int64_t>(List.size()) - 1);
  for (std::int64_t i = 0; i <= last; ++i) {
    const std::string& name = List[static_cast<std::size_t>(i)].Name;
    if (name.size() > best) {
      best = name.size();
      result = name;
    }
  }
  return result;
}

std::string Classify_Windows_Version(std::uint32_t platform_id, std::uint32_t major, std::uint32_t minor,
                                     const std::string& csd_version) {
  int position = 0;
  if (platform_id == 1 && major == 4) {
    if (minor == 0) position = 1;
    else if (minor == 10) position = csd_version.size() >= 2 && csd_version[1] == 'A' ? 3 : 2;
    else if (minor == 90) position = 5;
  } else if (platform_id == 2) {
    if (major <= 4) position = 4;
    else if (major == 5 && minor <= 2) position = 6 + static_cast<int>(minor);
    else if (major == 6 && minor <= 1) position = 9 + static_cast<int>(minor);
  }
  return Windows_Version_Names[static_cast<std::size_t>(position)];
}

std::string Get_Windows_Version_Name() {
  // No Windows platform identifier to classify on this system.
  return Classify_Windows_Version(0, 0, 0, "");
}

std::vector<std::pair<std::string, std::string>> Profile_Report_Items(const Machine_Profile& profile,
                                                                      const TMyLogicalDisks& drive) {
  const MY_WMI_OperatingSystem_Record& os = profile.MyOperatingSystem[0];
  const MY_WMI_Processor_Record& cpu = profile.MyProcessors[0];
  const MY_WMI_ComputerSystem_Record& computer = profile.MyComputerSystems[0];
  return {
      {"OS", os.Version},
      {"OSA", os.OSArchitecture},
      {"OSN", os.CSDVersion.empty() ? os.Caption : os.Caption + " (" + os.CSDVersion + ")"},
      {"SM", drive.Model},
      {"SS", drive.SizeFormatted},
      {"ST", drive.DriveType},
      {"SSE", drive.SerialNumber},
      {"SFST", drive.FileSystemType},
      {"SF", drive.Firmware},
      {"MA", cpu.Manufacturer},
      {"CS", cpu.MaxClockSpeed},
      {"PN", cpu.Name},
      {"PT", cpu.ProcessorType},
      {"CN", Get_Controller(profile.MyIDEControllers, 10)},
      {"CM", computer.Manufacturer},
      {"CMO", computer.Model},
      {"CME", computer.TotalPhysicalMemoryFormatted},
  };
}
