// Where the system inventory gets its facts: the instances of a class of the machine's
// parts (disks, volumes, processors, storage controllers, the computer, the operating
// system), each a set of named properties with a CIM type, plus the two volume questions
// that drive discovery asks. The running system answers through the Linux provider; tests
// and reproductions of a user's machine answer from a file.
#pragma once

#include <cstdint>
#include <functional>
#include <stdexcept>
#include <string>
#include <utility>
#include <variant>
#include <vector>

namespace platform {

// CIM type codes of a property.
enum Cim_Type : int {
  kCimSint16 = 2,
  kCimSint32 = 3,
  kCimReal32 = 4,
  kCimReal64 = 5,
  kCimString = 8,
  kCimBoolean = 11,
  kCimObject = 13,
  kCimSint8 = 16,
  kCimUint8 = 17,
  kCimUint16 = 18,
  kCimUint32 = 19,
  kCimSint64 = 20,
  kCimUint64 = 21,
  kCimDatetime = 101,
  kCimReference = 102,
  kCimChar16 = 103,
};

using Cim_Scalar = std::variant<std::int64_t, double, bool, std::string>;

// A property value: Null, a scalar, or an array whose elements are numbered from
// lower_bound on.
struct Cim_Value {
  int type = kCimString;
  bool is_null = true;
  bool is_array = false;
  std::int64_t lower_bound = 0;
  std::vector<Cim_Scalar> elements;  // one element for a scalar

  static Cim_Value Null(int type) { return Cim_Value{type, true, false, 0, {}}; }
  static Cim_Value Scalar(int type, Cim_Scalar value) { return Cim_Value{type, false, false, 0, {std::move(value)}}; }
  static Cim_Value Array(int type, std::vector<Cim_Scalar> values, std::int64_t lower_bound = 0) {
    return Cim_Value{type, false, true, lower_bound, std::move(values)};
  }
  static Cim_Value Text(const std::string& text) { return Scalar(kCimString, text); }
};

// One instance: its properties in the order the provider gives them.
class Cim_Instance {
 public:
  // Adds the property or replaces its value.
  void Set(const std::string& name, Cim_Value value);
  // Convenience setters. An empty text stores Null, so that a fact that could not be read
  // stays empty; a number is stored as given.
  void Set_Text(const std::string& name, const std::string& text);
  void Set_Number(const std::string& name, int type, std::int64_t value);
  // The property of that name, letter case ignored; nullptr when the instance has none.
  const Cim_Value* Find(const std::string& name) const;
  const std::vector<std::pair<std::string, Cim_Value>>& Properties() const { return properties_; }

 private:
  std::vector<std::pair<std::string, Cim_Value>> properties_;
};

// The first stretch of a physical disk that a volume occupies. DiskNumber is the disk's
// Index in the disk inventory; an ExtentLength of 0 means the disk is not known.
struct Disk_Extent {
  std::uint32_t DiskNumber = 0;
  std::int64_t StartingOffset = 0;
  std::int64_t ExtentLength = 0;
};

// What the file system that holds a path says about itself.
struct Volume_Information {
  bool ok = false;                 // the file system could be asked at all
  std::string mount_point;         // where it is mounted
  std::string file_system;         // type name, e.g. "ext4"
  std::string label;               // file-system label; empty when it has none or it cannot be read
  std::string uuid;                // file-system UUID or volume id; empty likewise
  int drive_type = 0;              // Drive_Type_Code of platform/volumes.h
  std::int64_t max_name_length = 0;  // longest allowed name component
  bool space_ok = false;           // the space figures below could be read
  std::int64_t block_size = 0;     // the unit of the block counts
  std::int64_t free_blocks = 0;    // available to the caller
  std::int64_t total_blocks = 0;
};

// A failure to enumerate a class at all (as opposed to a fact that is missing).
class Inventory_Error : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

class Inventory_Provider {
 public:
  virtual ~Inventory_Provider() = default;

  // Calls each for every instance of the class ("Win32_DiskDrive", "Win32_LogicalDisk",
  // "Win32_Processor", "Win32_IDEController", "Win32_ComputerSystem",
  // "Win32_OperatingSystem"), in enumeration order. An unknown class has no instances.
  // Throws Inventory_Error when the enumeration fails; instances delivered before stay
  // delivered.
  virtual void Instances_Of(const std::string& class_name, const std::function<void(const Cim_Instance&)>& each) = 0;

  // The file system that holds path.
  virtual Volume_Information Volume(const std::string& path) = 0;

  // The first extent of the volume mounted at mount_point; all zero when it cannot be found.
  virtual Disk_Extent Volume_Disk_Extent(const std::string& mount_point) = 0;

  // Lines for the log that the questions since the last call gave rise to (a network share
  // that did not answer in time); the provider forgets them.
  virtual std::vector<std::string> Take_Notes() { return {}; }
};

// The running system's inventory.
Inventory_Provider& System_Inventory_Provider();

}  // namespace platform
