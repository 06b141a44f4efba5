#include "engine/plan.h"

#include "common/planned_tests.h"
#include "engine/host.h"

TMyGraph MyGraph;

static_assert(kPlannedTests.size() == kLastTest + 1);

void Clean_ALL_Stats(TMyGraph& graph, Engine_Host& host) {
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
  for (int i = 0; i <= kLastTest; ++i) {
    TMyGraphColumn& entry = graph.GraphColumn[i];
    entry.Color = kPlannedTests[i].Color;
    entry.NameTag = kPlannedTests[i].NameTag;
    entry.Description = kPlannedTests[i].Description;
    entry.TestSpeedLabel = kPlannedTests[i].TestSpeedLabel;
    entry.BufferSize = kPlannedTests[i].BufferSize;
    entry.ReadOrWrite = kPlannedTests[i].ReadOrWrite;
    entry.Column = i;
  }
  graph.TotalColumns = kLastTest;
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

double Calculate_Speed(TDateTime starttime, TDateTime endtime, std::int64_t counts, std::int64_t buffersize) {
  std::int64_t ms = Milliseconds_Between(starttime, endtime);
  if (ms == 0) ms = 1;
  return static_cast<double>(counts) * (static_cast<double>(buffersize) / 1000.0) / static_cast<double>(ms);
}
