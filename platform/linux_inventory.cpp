// The provider's front: which class of parts each question goes to. The parts are read in
// linux_inventory_disks.cpp (physical disks), linux_inventory_volumes.cpp (mounted volumes
// and the two volume questions), linux_inventory_machine.cpp (processors, computer, memory
// and operating system) and linux_inventory_pci.cpp (storage controllers).
#include "platform/linux_inventory.h"

#include <strings.h>

#include "platform/linux_inventory_parts.h"

namespace platform {

Linux_Inventory_Provider::Linux_Inventory_Provider(Platform& os, Linux_Sources sources)
    : os_(os), sources_(std::move(sources)) {}

void Linux_Inventory_Provider::Instances_Of(const std::string& class_name, const linux_parts::Each& each) {
  auto is = [&](const char* name) { return ::strcasecmp(class_name.c_str(), name) == 0; };
  if (is("Win32_DiskDrive")) Disk_Drives(each);
  else if (is("Win32_LogicalDisk")) Logical_Disks(each);
  else if (is("Win32_Processor")) Processors(each);
  else if (is("Win32_IDEController")) Storage_Controllers(each);
  else if (is("Win32_ComputerSystem")) Computer_System(each);
  else if (is("Win32_OperatingSystem")) Operating_System(each);
}

bool Linux_Inventory_Provider::Ask(const std::string& path, bool network, const std::string& mount_point,
                                   const std::string& outcome, Path_Answer& answer) {
  const Asked asked = Ask_Path(sources_.ask, path, network, mount_point, sources_.network_time_limit, answer);
  if (asked == Asked::No_Answer) Note_No_Answer(mount_point, outcome);
  return asked == Asked::Answered;
}

void Linux_Inventory_Provider::Note_No_Answer(const std::string& mount_point, const std::string& outcome) {
  notes_.push_back("No answer from the network drive " + mount_point + " within " +
                   Limit_Text(sources_.network_time_limit) + "; " + outcome);
}

std::vector<std::string> Linux_Inventory_Provider::Take_Notes() {
  std::vector<std::string> notes;
  notes.swap(notes_);
  return notes;
}

Inventory_Provider& System_Inventory_Provider() {
  static Linux_Inventory_Provider provider(System_Platform());
  return provider;
}

}  // namespace platform
