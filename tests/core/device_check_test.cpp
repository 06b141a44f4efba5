// Whether the device or a cache answered: the rule, and whole runs on the in-memory disk whose
// device counters the tests set (a cache serving reads, no device at all, counters that jump).
#include <gtest/gtest.h>

#include "memory_rig.h"

namespace {

struct Rule_Case {
  bool read;
  std::int64_t counted, moved;
  Device_Verdict verdict;
};

}  // namespace

TEST(Device_Check_Rule, OnlyAReadTheDeviceMovedLessThanNinetyPercentOfIsACachesAnswer) {
  const Rule_Case cases[] = {
      {true, 1000, 1000, Device_Verdict::Device},
      {true, 1000, 900, Device_Verdict::Device},  // exactly 90 %
      {true, 1000, 899, Device_Verdict::Cache},
      {true, 1000, 0, Device_Verdict::Cache},
      {true, 1000, 5000, Device_Verdict::Device},  // other processes' reads only add
      {true, 0, 0, Device_Verdict::Device},        // nothing counted, nothing to doubt
      {false, 1000, 0, Device_Verdict::Device},    // a write is never marked
      {true, 1000, -1, Device_Verdict::Not_Checked},
      {false, 1000, -1, Device_Verdict::Not_Checked},
  };
  for (const Rule_Case& c : cases)
    EXPECT_EQ(Judge_Device_Bytes(c.read, c.counted, c.moved), c.verdict)
        << (c.read ? "read " : "write ") << c.moved << " of " << c.counted;
}

TEST(Device_Check_Run, ReadsACacheServedAreMarkedInTheResultAndTheLog) {
  Memory_Rig rig;
  rig.Only({0, 3});
  rig.disk.device.read_percent = 50;  // half of every read comes from a cache
  rig.Run();
  for (int column : {0, 6}) {  // the writes: the device took every byte
    const Device_Check& check = rig.result.tests[column].check;
    EXPECT_EQ(check.verdict, Device_Verdict::Device) << column;
    EXPECT_EQ(check.device, "memdisk");
    EXPECT_EQ(check.device_bytes, check.counted_bytes);
    EXPECT_GT(check.counted_bytes, 0);
  }
  for (int column : {1, 7}) {
    const Device_Check& check = rig.result.tests[column].check;
    EXPECT_EQ(check.verdict, Device_Verdict::Cache) << column;
    EXPECT_TRUE(check.read);
    EXPECT_EQ(check.device_bytes, check.counted_bytes / 2);
    EXPECT_EQ(rig.observer.finished.at(column).check.verdict, Device_Verdict::Cache) << column;
  }
  const Device_Check& read = rig.result.tests[1].check;
  EXPECT_TRUE(rig.observer.Logged("Device Counters:memdisk read " + std::to_string(read.device_bytes) +
                              " bytes, the test counted " + std::to_string(read.counted_bytes) +
                              " bytes (50 %): served by a cache"));
  EXPECT_EQ(Device_Check_Tip(read).rfind("Served by a cache, not by the disk: the device memdisk read ", 0), 0u)
      << Device_Check_Tip(read);
}

TEST(Device_Check_Run, WithoutCountersToCompareNoTestIsCalledTheDevicesAnswer) {
  {  // no block device under the file system
    Memory_Rig rig;
    rig.Only({0, 8});
    rig.disk.device.present = false;
    rig.disk.device.read_percent = 0;
    rig.Run();
    for (int column : {0, 1, 16, 17}) {
      EXPECT_EQ(rig.result.tests[column].check.verdict, Device_Verdict::Not_Checked) << column;
      EXPECT_EQ(rig.result.tests[column].check.device_bytes, -1);
    }
    EXPECT_TRUE(rig.observer.Logged("Device Counters:not checked, memfs has no block device"));
    EXPECT_EQ(Device_Check_Tip(rig.result.tests[1].check), "Not checked: memfs has no block device.");
  }
  {  // counters that go back during a read (a device that was removed and came back)
    Memory_Rig rig;
    rig.Only({0});
    rig.disk.before = [&](const std::string& op, const std::string&) {
      if (op == "open") rig.disk.device.read_bytes = 0;
    };
    rig.disk.device.read_bytes = 1'000'000'000'000ULL;
    rig.disk.device.read_percent = 0;
    rig.Run();
    const Device_Check& read = rig.result.tests[1].check;
    EXPECT_EQ(read.verdict, Device_Verdict::Not_Checked);
    EXPECT_EQ(read.reason, "the counters of memdisk went back during the test");
  }
}
