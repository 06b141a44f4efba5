// The inventory queries: every instance of one class of the machine's parts, one record of
// texts per instance, stored in the caller's array. The facts come from an
// Inventory_Provider (the running system, or a file for tests and for reproducing a
// user's machine).
#pragma once

#include <cstdint>
#include <span>
#include <string>

#include "platform/inventory_provider.h"

struct MY_WMI_PhysicalDiskDrive_Record {  // "Win32_DiskDrive"
  std::string DeviceID, SystemName, BytesPerSector, Caption, CreationClassName, Description, Index, InterfaceType,
      Manufacturer, MediaLoaded, MediaType, Name, Model, Partitions, PNPDeviceID, SCSIBus, SCSILogicalUnit, SCSIPort,
      SCSITargetId, SectorsPerTrack, Signature, Size;
  std::string SizeFormatted;  // Size for display: "0" below 1,000,000,000 bytes, "0.0" from there, decimal units
  std::string Status, TotalCylinders, TotalHeads, TotalSectors, TotalTracks, TracksPerCylinder, FirmwareRevision;
};

struct MY_WMI_LogicalDiskDrive_Record {  // "Win32_LogicalDisk"
  std::string DeviceID, Name, Caption, DriveType, FileSystem, FreeSpace, Size;
  std::string SizeFormatted;  // Size for display: "0" below 1,000,000,000,000 bytes, "0.0" from there, decimal units
  std::string VolumeName, VolumeSerialNumber;
};

struct MY_WMI_Processor_Record {  // "Win32_Processor"
  std::string DeviceID, Name, Caption, Description, CurrentClockSpeed, MaxClockSpeed;
  std::string NumberofCores;  // the property "NumberOfCores"
  std::string Manufacturer, NumberOfLogicalProcessors, ProcessorID, ProcessorType, Revision, Role, SocketDesignation,
      Stepping, Version;
};

struct MY_WMI_IDEController_Record {  // "Win32_IDEController": the storage controllers
  std::string DeviceID, Name, Caption, Description, Manufacturer;
};

struct MY_WMI_ComputerSystem_Record {  // "Win32_ComputerSystem"
  std::string Manufacturer, Model, Name, Caption, Description, UserName, SystemType, TotalPhysicalMemory;
  std::string TotalPhysicalMemoryFormatted;  // "0" below 1 GiB, "0.0" from there, 1024-based units
  std::string DNSHostName, Domain, NumberOfProcessors, NumberOfLogicalProcessors;
};

struct MY_WMI_OperatingSystem_Record {  // "Win32_OperatingSystem"
  std::string BootDevice, BuildNumber, BuildType, Caption, Manufacturer, Description, CodeSet, CountryCode, CSDVersion,
      CSName, CurrentTimeZone, OSLanguage, OSType, OSArchitecture, SerialNumber, ServicePackMajorVersion,
      ServicePackMinorVersion, SystemDevice, SystemDrive, Version, SystemDirectory, WindowsDirectory, Name;
};

// Each query clears Rows[0..Max], then stores the first Max instances of its class at
// positions 0..Max-1 in enumeration order (position Max always ends empty). A Max beyond
// the array is taken as its last position. A failing enumeration throws
// platform::Inventory_Error; the rows stored before it stay.
void Get_WMI_Physical_Disks(std::span<MY_WMI_PhysicalDiskDrive_Record> Rows, std::int32_t Max,
                            platform::Inventory_Provider& provider);
void Get_WMI_Logical_Disks(std::span<MY_WMI_LogicalDiskDrive_Record> Rows, std::int32_t Max,
                           platform::Inventory_Provider& provider);
void Get_WMI_Processors(std::span<MY_WMI_Processor_Record> Rows, std::int32_t Max, platform::Inventory_Provider& provider);
void Get_WMI_IDE_Controllers(std::span<MY_WMI_IDEController_Record> Rows, std::int32_t Max,
                             platform::Inventory_Provider& provider);
void Get_WMI_Computer_Systems(std::span<MY_WMI_ComputerSystem_Record> Rows, std::int32_t Max,
                              platform::Inventory_Provider& provider);
void Get_WMI_Operating_System(std::span<MY_WMI_OperatingSystem_Record> Rows, std::int32_t Max,
                              platform::Inventory_Provider& provider);

// A property of one instance as text, by its CIM type: integers in decimal, reals in
// general format (15 significant digits, the locale's decimal separator), strings and
// uint64 as they are, booleans "True"/"False", datetimes and references as delivered,
// anything else empty; of an array the elements at positions 1 up to its high bound,
// separated by a blank (a zero-based [3, 4, 10] gives "4 10"). Null, a missing property or
// a value that does not convert gives an empty text. The result is trimmed.
std::string WMI_Value_To_Text(const platform::Cim_Instance& Properties, const std::string& Name);
