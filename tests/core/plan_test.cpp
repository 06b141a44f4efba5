#include <gtest/gtest.h>

#include "common/clock.h"
#include "common/result_text.h"
#include "engine/plan.h"

TEST(PlanTest, EachWriteIsFollowedByTheReadOfItsBlockSizeAndAnEmptyResultHasEveryKey) {
  // Writes at even positions, the read of the same block size right after.
  struct Row { int index; const char* tag; const char* description; int block; const char* label; };
  const Row rows[] = {{0, "WRITE", "Sequential Write", 0, "test1W"},   {1, "READ", "Sequential Read", 0, "test1R"},
                      {2, "512BW", "Random 512B Write", 512, "Label2"}, {7, "4KR", "Random 4K Read", 4096, "test3R"},
                      {12, "512KW", "Random 512k Write", 524288, "test5W"},
                      {17, "4MBR", "Random 4MB Read", 4194304, "TEST7r"}};
  for (const Row& row : rows) {
    const Planned_Test& test = kPlannedTests[static_cast<std::size_t>(row.index)];
    EXPECT_STREQ(test.NameTag, row.tag);
    EXPECT_STREQ(test.Description, row.description);
    EXPECT_EQ(test.BufferSize, row.block);
    EXPECT_STREQ(test.TestSpeedLabel, row.label);
  }
  for (int i = 0; i <= kLastTest; ++i) {
    EXPECT_EQ(kPlannedTests[i].ReadOrWrite, i % 2) << i;
    EXPECT_EQ(kPlannedTests[i].BufferSize, kPlannedTests[i - i % 2].BufferSize) << i;
  }
  EXPECT_EQ(kPlannedTests[0].Color, 0x0000FF);
  EXPECT_EQ(kPlannedTests[17].Color, 0x008000);

  const Run_Result empty;
  EXPECT_EQ(empty.outcome, Run_Outcome::None);
  for (int i = 0; i <= kLastTest; ++i) {
    EXPECT_EQ(empty.tests[i].key, kPlannedTests[i].NameTag);
    EXPECT_FALSE(empty.tests[i].Measured());
  }
}

TEST(PlanTest, SpeedIsWholeBlocksPerMillisecond) {
  const double ms = 1.0 / 86400000.0;  // one millisecond as a day fraction
  const TDateTime t0 = 45000.25;
  struct Case { double span_ms; std::int64_t blocks; std::int64_t block; double mbps; const char* text; };
  const Case cases[] = {
      {2000, 200, 1048576, 104.8576, "104.90"},
      {3000, 1500, 4096, 2.048, "2.05"},
      {0, 10, 1000, 10.0, "10.00"},  // an empty span counts as 1 ms
      {5000, 0, 8388608, 0.0, "0.00"},
      {1, 1, 8388608, 8388.608, "8389.00"},
      {1, 2, 8388608, 16777.216, "1.678E04"},
  };
  for (const Case& c : cases) {
    double rate = Calculate_Speed(t0, t0 + c.span_ms * ms, c.blocks, c.block);
    EXPECT_NEAR(rate, c.mbps, 1e-9) << c.span_ms << " ms";
    EXPECT_EQ(Result_Text(rate), c.text);
  }
}

TEST(PlanTest, TimestampsAdvanceWithAMonotonicClock) {
  TDateTime a = Now();
  TDateTime b = Now();
  EXPECT_GE(b, a);
  EXPECT_GT(a, 40000.0);  // a day count of this century
}
