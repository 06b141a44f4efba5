// Whether the block device or a cache answered a test: the bytes the device's own counters
// moved during the timed span, compared with the bytes the test counted.
#pragma once

#include <cstdint>
#include <string>

enum class Device_Verdict {
  None,         // the test has not run
  Not_Checked,  // no block device to ask (tmpfs, network share, overlay) or no counters
  Device,       // the device moved what the test counted (a write: any amount)
  Cache,        // a read whose bytes the device did not move: a cache served it
};

struct Device_Check {
  Device_Verdict verdict = Device_Verdict::None;
  bool read = false;
  std::string device;              // the kernel's name of the block device, e.g. "vda1"
  std::string reason;              // why it was not checked
  std::int64_t device_bytes = -1;  // bytes the device moved in the test's direction; -1 unknown
  std::int64_t counted_bytes = 0;  // bytes the test counted for its rate
};

// A read is served by a cache when the device moved less than this share of what it counted.
inline constexpr double kDeviceShareOfRead = 0.9;

// The rule. A write is never marked: other traffic, the journal and the metadata only add to
// what the device moves, and the writes of a test are forced out before its span ends.
Device_Verdict Judge_Device_Bytes(bool read, std::int64_t counted_bytes, std::int64_t device_bytes);

// "device", "cache" or "not checked"; empty for a test that has not run.
const char* Verdict_Name(Device_Verdict verdict);

// The log line of one test.
std::string Device_Check_Log_Line(const Device_Check& check);

// What the user is told about a result: why it is marked, or what was checked.
std::string Device_Check_Tip(const Device_Check& check);

// What answered a test, in brackets after its figures: "[device vda: 4.19 GB]", "[served by a
// cache: vda read 0 bytes]", "[not checked: tmpfs has no block device]"; empty before it ran.
std::string Device_Check_Brief(const Device_Check& check);

// The check's JSON fields after a test's others: ,"device_bytes":N,"cached":B,"check":"..."
// (device_bytes and cached null when nobody could tell).
std::string Device_Check_Json_Fields(const Device_Check& check);
