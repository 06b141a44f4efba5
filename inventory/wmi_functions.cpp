#include "inventory/wmi_functions.h"

#include <QLocale>
#include <QString>

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <optional>
#include <span>
#include <strings.h>

#include "common/global_functions.h"
#include "common/plain_text.h"

using platform::Cim_Instance;
using platform::Cim_Scalar;
using platform::Cim_Value;

namespace {

std::string Trim(const std::string& text) {
  std::size_t first = 0, last = text.size();
  while (first < last && static_cast<unsigned char>(text[first]) <= ' ') ++first;
  while (last > first && static_cast<unsigned char>(text[last - 1]) <= ' ') --last;
  return text.substr(first, last - first);
}

bool As_Integer(const Cim_Scalar& value, std::int64_t& out) {
  if (const auto* number = std::get_if<std::int64_t>(&value)) {
    out = *number;
    return true;
  }
  if (const auto* real = std::get_if<double>(&value)) {
    if (!std::isfinite(*real) || std::fabs(*real) >= 9.2e18) return false;
    out = std::llround(*real);
    return true;
  }
  if (const auto* text = std::get_if<std::string>(&value)) {
    const std::string trimmed = Trim(*text);
    const char* first = trimmed.data();
    const char* last = first + trimmed.size();
    if (first != last && *first == '+') ++first;
    auto [end, error] = std::from_chars(first, last, out);
    return !trimmed.empty() && error == std::errc() && end == last;
  }
  return false;  // a boolean is not a number
}

std::string Real_Text(double value) {
  QLocale locale;
  locale.setNumberOptions(QLocale::OmitGroupSeparator);
  return locale.toString(value, 'g', 15).toStdString();
}

bool As_Real(const Cim_Scalar& value, double& out) {
  if (const auto* number = std::get_if<std::int64_t>(&value)) {
    out = static_cast<double>(*number);
    return true;
  }
  if (const auto* real = std::get_if<double>(&value)) {
    out = *real;
    return true;
  }
  if (const auto* text = std::get_if<std::string>(&value)) {
    bool ok = false;
    out = QLocale::c().toDouble(QString::fromStdString(Trim(*text)), &ok);
    return ok;
  }
  return false;
}

std::string Plain_Text(const Cim_Scalar& value) {
  if (const auto* text = std::get_if<std::string>(&value)) return *text;
  if (const auto* number = std::get_if<std::int64_t>(&value)) return std::to_string(*number);
  if (const auto* real = std::get_if<double>(&value)) return Real_Text(*real);
  return std::get<bool>(value) ? "True" : "False";
}

bool Is_True(const Cim_Scalar& value) {
  if (const auto* flag = std::get_if<bool>(&value)) return *flag;
  if (const auto* number = std::get_if<std::int64_t>(&value)) return *number != 0;
  if (const auto* real = std::get_if<double>(&value)) return *real != 0;
  return ::strcasecmp(Trim(std::get<std::string>(value)).c_str(), "true") == 0;
}

// The elements a text is made of: a scalar's one element, or an array's elements at
// positions 1 up to its high bound, whatever its lower bound. Nothing when position 1 lies
// below the array's lower bound, which cannot be read.
std::optional<std::span<const Cim_Scalar>> Taken_Elements(const Cim_Value& value) {
  std::span<const Cim_Scalar> elements(value.elements);
  if (!value.is_array) return elements;
  if (value.lower_bound > 1) return std::nullopt;
  const std::int64_t skip = 1 - value.lower_bound;
  if (skip >= static_cast<std::int64_t>(elements.size())) return elements.subspan(elements.size());
  return elements.subspan(static_cast<std::size_t>(skip));
}

std::string Value_Text(const Cim_Value& value) {
  using namespace platform;
  if (value.is_null || value.elements.empty()) return "";
  const auto taken = Taken_Elements(value);
  if (!taken) return "";
  switch (value.type) {
    case kCimSint16: case kCimSint32: case kCimSint8: case kCimUint8: case kCimUint16: case kCimUint32:
    case kCimSint64: {
      std::string text;
      for (const auto& element : *taken) {
        std::int64_t number = 0;
        if (!As_Integer(element, number)) return "";
        if (value.is_array) text += ' ';
        text += std::to_string(number);
      }
      return text;
    }
    case kCimReal32: case kCimReal64: {
      double real = 0;
      if (value.is_array || !As_Real(value.elements.front(), real)) return "";
      return Real_Text(real);
    }
    case kCimString: case kCimUint64: {
      std::string text;
      for (const auto& element : *taken) {
        if (value.is_array) text += ' ';
        text += Plain_Text(element);
      }
      return text;
    }
    case kCimBoolean:
      if (value.is_array) return "";
      return Is_True(value.elements.front()) ? "True" : "False";
    case kCimDatetime: case kCimReference:
      if (value.is_array) return "";
      return Plain_Text(value.elements.front());
    default:
      return "";
  }
}

template <class Record>
struct Field {
  const char* property;
  std::string Record::*member;
  bool label = false;  // a text the maker of the disk or file system chose: kept to a label's form
};

// The one query behind all six: clears the caller's rows, then fills one record per
// instance from the class's field table; compute, when given, derives the display texts.
template <class Record, std::size_t N>
void Run_Query(std::span<Record> rows, std::int32_t max, platform::Inventory_Provider& provider, const char* class_name,
               const std::array<Field<Record>, N>& fields, void (*compute)(Record&) = nullptr) {
  // Positions 0..max are the caller's; a max beyond the array stops at its end.
  const std::int64_t last = std::min<std::int64_t>(max, static_cast<std::int64_t>(rows.size()) - 1);
  for (std::int64_t i = 0; i <= last; ++i) rows[static_cast<std::size_t>(i)] = Record{};
  std::int64_t r = -1;
  provider.Instances_Of(class_name, [&](const Cim_Instance& item) {
    ++r;
    if (r >= last) return;  // read and dropped
    Record& row = rows[static_cast<std::size_t>(r)];
    for (const auto& field : fields) {
      const std::string text = WMI_Value_To_Text(item, field.property);
      row.*field.member = field.label ? Label_Text(text) : text;
    }
    if (compute != nullptr) compute(row);
  });
}

// A size for display: whole units below the threshold, one decimal from it on.
std::string Formatted(const std::string& source, std::int64_t threshold, bool binary) {
  const std::int64_t size = Str_To_Int64_Safe(source);
  return Format_Size(size, size < threshold ? "0" : "0.0", binary);
}

using Disk = MY_WMI_PhysicalDiskDrive_Record;
const std::array<Field<Disk>, 29> kDiskFields = {{
    {"DeviceID", &Disk::DeviceID},         {"SystemName", &Disk::SystemName},
    {"BytesPerSector", &Disk::BytesPerSector}, {"Caption", &Disk::Caption, true},
    {"CreationClassName", &Disk::CreationClassName}, {"Description", &Disk::Description},
    {"Index", &Disk::Index},               {"InterfaceType", &Disk::InterfaceType},
    {"Manufacturer", &Disk::Manufacturer, true}, {"MediaLoaded", &Disk::MediaLoaded},
    {"MediaType", &Disk::MediaType},       {"Name", &Disk::Name},
    {"Model", &Disk::Model, true},               {"Partitions", &Disk::Partitions},
    {"PNPDeviceID", &Disk::PNPDeviceID},   {"SCSIBus", &Disk::SCSIBus},
    {"SCSILogicalUnit", &Disk::SCSILogicalUnit}, {"SCSIPort", &Disk::SCSIPort},
    {"SCSITargetId", &Disk::SCSITargetId}, {"SectorsPerTrack", &Disk::SectorsPerTrack},
    {"Signature", &Disk::Signature},       {"Size", &Disk::Size},
    {"Status", &Disk::Status},             {"TotalCylinders", &Disk::TotalCylinders},
    {"TotalHeads", &Disk::TotalHeads},     {"TotalSectors", &Disk::TotalSectors},
    {"TotalTracks", &Disk::TotalTracks},   {"TracksPerCylinder", &Disk::TracksPerCylinder},
    {"FirmwareRevision", &Disk::FirmwareRevision, true},
}};

using Volume = MY_WMI_LogicalDiskDrive_Record;
const std::array<Field<Volume>, 9> kVolumeFields = {{
    {"DeviceID", &Volume::DeviceID},
    {"Name", &Volume::Name},
    {"Caption", &Volume::Caption},
    {"DriveType", &Volume::DriveType},
    {"FileSystem", &Volume::FileSystem},
    {"FreeSpace", &Volume::FreeSpace},
    {"Size", &Volume::Size},
    {"VolumeName", &Volume::VolumeName, true},
    {"VolumeSerialNumber", &Volume::VolumeSerialNumber, true},
}};

using Processor = MY_WMI_Processor_Record;
const std::array<Field<Processor>, 16> kProcessorFields = {{
    {"DeviceID", &Processor::DeviceID},
    {"Name", &Processor::Name},
    {"Caption", &Processor::Caption},
    {"Description", &Processor::Description},
    {"CurrentClockSpeed", &Processor::CurrentClockSpeed},
    {"MaxClockSpeed", &Processor::MaxClockSpeed},
    {"NumberOfCores", &Processor::NumberofCores},
    {"Manufacturer", &Processor::Manufacturer},
    {"NumberOfLogicalProcessors", &Processor::NumberOfLogicalProcessors},
    {"ProcessorID", &Processor::ProcessorID},
    {"ProcessorType", &Processor::ProcessorType},
    {"Revision", &Processor::Revision},
    {"Role", &Processor::Role},
    {"SocketDesignation", &Processor::SocketDesignation},
    {"Stepping", &Processor::Stepping},
    {"Version", &Processor::Version},
}};

using Controller = MY_WMI_IDEController_Record;
const std::array<Field<Controller>, 5> kControllerFields = {{
    {"DeviceID", &Controller::DeviceID},
    {"Name", &Controller::Name},
    {"Caption", &Controller::Caption},
    {"Description", &Controller::Description},
    {"Manufacturer", &Controller::Manufacturer},
}};

using Computer = MY_WMI_ComputerSystem_Record;
const std::array<Field<Computer>, 12> kComputerFields = {{
    {"Manufacturer", &Computer::Manufacturer, true},
    {"Model", &Computer::Model, true},
    {"Name", &Computer::Name},
    {"Caption", &Computer::Caption},
    {"Description", &Computer::Description},
    {"UserName", &Computer::UserName},
    {"SystemType", &Computer::SystemType},
    {"TotalPhysicalMemory", &Computer::TotalPhysicalMemory},
    {"DNSHostName", &Computer::DNSHostName},
    {"Domain", &Computer::Domain},
    {"NumberOfProcessors", &Computer::NumberOfProcessors},
    {"NumberOfLogicalProcessors", &Computer::NumberOfLogicalProcessors},
}};

using System = MY_WMI_OperatingSystem_Record;
const std::array<Field<System>, 23> kSystemFields = {{
    {"BootDevice", &System::BootDevice},
    {"BuildNumber", &System::BuildNumber},
    {"BuildType", &System::BuildType},
    {"Caption", &System::Caption},
    {"Manufacturer", &System::Manufacturer},
    {"Description", &System::Description},
    {"CodeSet", &System::CodeSet},
    {"CountryCode", &System::CountryCode},
    {"CSDVersion", &System::CSDVersion},
    {"CSName", &System::CSName},
    {"CurrentTimeZone", &System::CurrentTimeZone},
    {"OSLanguage", &System::OSLanguage},
    {"OSType", &System::OSType},
    {"OSArchitecture", &System::OSArchitecture},
    {"SerialNumber", &System::SerialNumber},
    {"ServicePackMajorVersion", &System::ServicePackMajorVersion},
    {"ServicePackMinorVersion", &System::ServicePackMinorVersion},
    {"SystemDevice", &System::SystemDevice},
    {"SystemDrive", &System::SystemDrive},
    {"Version", &System::Version},
    {"SystemDirectory", &System::SystemDirectory},
    {"WindowsDirectory", &System::WindowsDirectory},
    {"Name", &System::Name},
}};

}  // namespace

std::string WMI_Value_To_Text(const Cim_Instance& Properties, const std::string& Name) {
  const Cim_Value* value = Properties.Find(Name);
  return value == nullptr ? "" : Trim(Value_Text(*value));
}

void Get_WMI_Physical_Disks(std::span<MY_WMI_PhysicalDiskDrive_Record> Rows, std::int32_t Max,
                            platform::Inventory_Provider& provider) {
  Run_Query(Rows, Max, provider, "Win32_DiskDrive", kDiskFields,
            +[](Disk& row) { row.SizeFormatted = Formatted(row.Size, 1000000000LL, false); });
}

void Get_WMI_Logical_Disks(std::span<MY_WMI_LogicalDiskDrive_Record> Rows, std::int32_t Max,
                           platform::Inventory_Provider& provider) {
  Run_Query(Rows, Max, provider, "Win32_LogicalDisk", kVolumeFields,
            +[](Volume& row) { row.SizeFormatted = Formatted(row.Size, 1000000000000LL, false); });
}

void Get_WMI_Processors(std::span<MY_WMI_Processor_Record> Rows, std::int32_t Max, platform::Inventory_Provider& provider) {
  Run_Query(Rows, Max, provider, "Win32_Processor", kProcessorFields);
}

void Get_WMI_IDE_Controllers(std::span<MY_WMI_IDEController_Record> Rows, std::int32_t Max,
                             platform::Inventory_Provider& provider) {
  Run_Query(Rows, Max, provider, "Win32_IDEController", kControllerFields);
}

void Get_WMI_Computer_Systems(std::span<MY_WMI_ComputerSystem_Record> Rows, std::int32_t Max,
                              platform::Inventory_Provider& provider) {
  Run_Query(Rows, Max, provider, "Win32_ComputerSystem", kComputerFields, +[](Computer& row) {
    row.TotalPhysicalMemoryFormatted = Formatted(row.TotalPhysicalMemory, 1073741824LL, true);
  });
}

void Get_WMI_Operating_System(std::span<MY_WMI_OperatingSystem_Record> Rows, std::int32_t Max,
                              platform::Inventory_Provider& provider) {
  Run_Query(Rows, Max, provider, "Win32_OperatingSystem", kSystemFields);
}
