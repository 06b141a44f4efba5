// The device's counters around one timed span: read just before it starts and just after it
// ends, and judged against the bytes the test counted for its rate.
#pragma once

#include <cstdint>

#include "common/device_check.h"
#include "platform/platform.h"

class Device_Span {
 public:
  Device_Span(platform::Platform& os, const platform::Folder_Handle& folder) : os_(os), folder_(folder) {
    before_.reason = "the test ended before its timed span";
  }
  // Just before the span starts.
  void Begin() { before_ = os_.Counters_Of_Device(folder_); }
  // Just after the span ends: what the device moved in the test's direction (read or
  // write), and whether it or a cache answered.
  Device_Check End(bool read, std::int64_t counted_bytes);

 private:
  platform::Platform& os_;
  const platform::Folder_Handle& folder_;
  platform::Device_Counters before_;
};
