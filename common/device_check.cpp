// The rule that tells a device's answer from a cache's, and the texts that say which it was.
#include "common/device_check.h"

#include "common/global_functions.h"
#include "common/plain_text.h"

namespace {

std::string Percent_Text(std::int64_t part, std::int64_t whole) {
  if (whole <= 0) return "";
  return " (" + std::to_string(static_cast<long long>(static_cast<double>(part) * 100.0 / static_cast<double>(whole))) +
         " %)";
}

std::string Size_Text(std::int64_t bytes) { return Format_Size(bytes, "0.##", false); }

}  // namespace

Device_Verdict Judge_Device_Bytes(bool read, std::int64_t counted_bytes, std::int64_t device_bytes) {
  if (device_bytes < 0) return Device_Verdict::Not_Checked;
  if (!read || counted_bytes <= 0) return Device_Verdict::Device;
  return static_cast<double>(device_bytes) < kDeviceShareOfRead * static_cast<double>(counted_bytes)
             ? Device_Verdict::Cache
             : Device_Verdict::Device;
}

const char* Verdict_Name(Device_Verdict verdict) {
  switch (verdict) {
    case Device_Verdict::Not_Checked: return "not checked";
    case Device_Verdict::Device: return "device";
    case Device_Verdict::Cache: return "cache";
    case Device_Verdict::None: break;
  }
  return "";
}

std::string Device_Check_Log_Line(const Device_Check& check) {
  if (check.verdict == Device_Verdict::Not_Checked || check.device_bytes < 0)
    return "Device Counters:not checked, " + check.reason;
  std::string line = "Device Counters:" + check.device + (check.read ? " read " : " wrote ") +
                     std::to_string(check.device_bytes) + " bytes, the test counted " +
                     std::to_string(check.counted_bytes) + " bytes" +
                     Percent_Text(check.device_bytes, check.counted_bytes);
  if (check.verdict == Device_Verdict::Cache) line += ": served by a cache";
  return line;
}

std::string Device_Check_Tip(const Device_Check& check) {
  const std::string moved = check.read ? " read " : " wrote ";
  switch (check.verdict) {
    case Device_Verdict::Cache:
      return "Served by a cache, not by the disk: the device " + check.device + moved +
             Size_Text(check.device_bytes) + " of the " + Size_Text(check.counted_bytes) +
             " this test counted (less than 90 %).";
    case Device_Verdict::Device:
      return "The device " + check.device + moved + Size_Text(check.device_bytes) + " of the " +
             Size_Text(check.counted_bytes) + " this test counted.";
    case Device_Verdict::Not_Checked: return "Not checked: " + check.reason + ".";
    case Device_Verdict::None: break;
  }
  return "";
}

std::string Device_Check_Brief(const Device_Check& check) {
  switch (check.verdict) {
    case Device_Verdict::Device: return "[device " + check.device + ": " + Size_Text(check.device_bytes) + "]";
    case Device_Verdict::Cache:
      return "[served by a cache: " + check.device + " read " + Size_Text(check.device_bytes) + "]";
    case Device_Verdict::Not_Checked: return "[not checked: " + check.reason + "]";
    case Device_Verdict::None: break;
  }
  return "";
}

std::string Device_Check_Json_Fields(const Device_Check& check) {
  const bool known = check.verdict == Device_Verdict::Device || check.verdict == Device_Verdict::Cache;
  std::string text = ",\"device_bytes\":" + (known ? std::to_string(check.device_bytes) : std::string("null"));
  text += ",\"cached\":" + std::string(!known ? "null" : check.verdict == Device_Verdict::Cache ? "true" : "false");
  return text + ",\"check\":" + Json_String(Verdict_Name(check.verdict));
}
