// Judging one span's device counters.
#include "engine/device_span.h"

Device_Check Device_Span::End(bool read, std::int64_t counted_bytes) {
  const platform::Device_Counters after = before_.ok ? os_.Counters_Of_Device(folder_) : before_;
  Device_Check check;
  check.read = read;
  check.counted_bytes = counted_bytes;
  check.device = after.device;
  const std::uint64_t from = read ? before_.read_bytes : before_.written_bytes;
  const std::uint64_t to = read ? after.read_bytes : after.written_bytes;
  if (!after.ok) {
    check.reason = after.reason;
  } else if (after.device != before_.device || to < from) {
    // Another device under the folder, or counters that went back (a device removed and
    // added again, a 32-bit counter that wrapped): nothing to compare.
    check.reason = "the counters of " + after.device + " went back during the test";
  } else {
    check.device_bytes = static_cast<std::int64_t>(to - from);
  }
  check.verdict = Judge_Device_Bytes(read, counted_bytes, check.device_bytes);
  return check;
}
