// A host for the graph and the grid without a main window: it keeps the label texts, the
// status text and the log lines that they write.
#pragma once

#include <map>
#include <string>
#include <vector>

#include "display/display_host.h"

class Recording_Host : public Display_Host {
 public:
  void Set_Label_Text(const std::string& label, const std::string& text) override { labels[label] = text; }
  void Set_Status_Text(const std::string& text) override { status = text; }
  void Local_Writelog(const std::string& text) override { log.push_back(text); }
  void Show_Device_Check(const std::string& label, const Device_Check& check) override { checks[label] = check; }

  std::map<std::string, std::string> labels;
  std::map<std::string, Device_Check> checks;
  std::string status = "unset";
  std::vector<std::string> log;
};

// A read of 4 GB that the device "vda" moved only `device_bytes` of: a cache answered it.
inline Device_Check Cached_Read(std::int64_t device_bytes) {
  Device_Check cached;
  cached.verdict = Device_Verdict::Cache;
  cached.read = true;
  cached.device = "vda";
  cached.device_bytes = device_bytes;
  cached.counted_bytes = 4'000'000'000;
  return cached;
}
