// The graph's reset: its layout and the columns of the plan's tests, without results.
#include "display/graph_layout.h"

#include "common/planned_tests.h"

TMyGraph MyGraph;

void Clean_ALL_Stats(TMyGraph& graph, Display_Host& host) {
  graph.LeftMargin = 34;
  graph.RightMargin = 10;
  graph.TopMargin = 7;
  graph.BottomMargin = 25;
  graph.TotalRows = 12;
  graph.LeyendFont = "Arial Narrow";
  graph.LeyendFontSize = 8;
  graph.ValueFont = "Arial Narrow";
  graph.ValueFontSize = 8;
  graph.MaxValue = 100;
  graph.ColumnGap = 3;
  graph.LeyendBottomMargin = 2;
  const int last = static_cast<int>(kPlannedTests.size()) - 1;
  for (int i = 0; i <= last; ++i) {
    TMyGraphColumn& entry = graph.GraphColumn[i];
    entry.Color = kPlannedTests[i].Color;
    entry.NameTag = kPlannedTests[i].NameTag;
    entry.Description = kPlannedTests[i].Description;
    entry.TestSpeedLabel = kPlannedTests[i].TestSpeedLabel;
    entry.Column = i;
  }
  graph.TotalColumns = last;
  for (TMyGraphColumn& entry : graph.GraphColumn) {
    entry.Value = -1.0;
    entry.Check = Device_Check{};
    if (!entry.TestSpeedLabel.empty()) {
      host.Set_Label_Text(entry.TestSpeedLabel, "00.00");
      host.Show_Device_Check(entry.TestSpeedLabel, entry.Check);
    }
  }
  host.Set_Status_Text("");
}
