// The graph's reset: its layout, the eighteen tests' columns and labels, no result shown.
#include <gtest/gtest.h>

#include "common/planned_tests.h"
#include "display/graph_layout.h"
#include "recording_host.h"

TEST(GraphLayoutTest, ResetFillsTheEighteenColumnsAndClearsEveryResultAndMark) {
  Recording_Host host;
  TMyGraph graph;
  graph.GraphColumn[4].Value = 12.5;
  graph.GraphColumn[5].Check = Cached_Read(0);
  graph.GraphColumn[19].Value = 3;
  graph.MaxValue = 900;
  for (int round = 0; round < 2; ++round) {  // a second reset leaves the same state
    Clean_ALL_Stats(graph, host);
    EXPECT_EQ(graph.TotalColumns, 17);
    EXPECT_EQ(graph.MaxValue, 100);
    EXPECT_EQ(graph.LeftMargin, 34);
    EXPECT_EQ(graph.LeyendFont, "Arial Narrow");
    for (int i = 0; i < kPlanEntries; ++i) {
      const TMyGraphColumn& entry = graph.GraphColumn[i];
      EXPECT_EQ(entry.Value, -1.0) << i;
      EXPECT_EQ(entry.Check.verdict, Device_Verdict::None) << i;
      EXPECT_EQ(entry.NameTag.empty(), i > 17) << i;
      if (i <= 17) {
        EXPECT_EQ(entry.Column, i);
        EXPECT_EQ(entry.NameTag, kPlannedTests[i].NameTag);
        EXPECT_EQ(entry.Description, kPlannedTests[i].Description);
        EXPECT_EQ(entry.Color, kPlannedTests[i].Color);
        EXPECT_EQ(host.labels.at(entry.TestSpeedLabel), "00.00");
        EXPECT_EQ(host.checks.at(entry.TestSpeedLabel).verdict, Device_Verdict::None);
      }
    }
    EXPECT_EQ(host.labels.size(), 18u);
    EXPECT_EQ(host.status, "");
  }
}
