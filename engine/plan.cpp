#include "engine/plan.h"

#include "engine/host.h"

TMyGraph MyGraph;

namespace {

struct Planned_Test {
  const char* NameTag;
  const char* Description;
  int ReadOrWrite;
  int BufferSize;
  std::int32_t Color;
  const char* TestSpeedLabel;
};

constexpr Planned_Test kPlan[kLastTest + 1] = {
    {"WRITE", "Sequential Write", 0, 0, 0x0000FF, "test1W"},
    {"READ", "Sequential Read", 1, 0, 0x00FF00, "test1R"},
    {"512BW", "Random 512B Write", 0, 512, 0x008274, "Label2"},
    {"512BR", "Random 512B Read", 1, 512, 0x0081F4, "Label4"},
    {"1KW", "Random 1K Write", 0, 1024, 0x00FFFF, "test2W"},
    {"1KR", "Random 1K Read", 1, 1024, static_cast<std::int32_t>(0xFF00FF), "test2R"},
    {"4KW", "Random 4K Write", 0, 4096, static_cast<std::int32_t>(0xFF0000), "test3W"},
    {"4KR", "Random 4K Read", 1, 4096, static_cast<std::int32_t>(0xFFFF00), "test3R"},
    {"64KW", "Random 64K Write", 0, 65536, static_cast<std::int32_t>(0xC0DCC0), "test4W"},
    {"64KR", "Random 64K Read", 1, 65536, static_cast<std::int32_t>(0x808000), "test4R"},
    {"128KW", "Random 128K Write", 0, 131072, static_cast<std::int32_t>(0xC1B6FF), "Label6"},
    {"128KR", "Random 128K Read", 1, 131072, static_cast<std::int32_t>(0xFAFAFF), "Label9"},
    {"512KW", "Random 512k Write", 0, 524288, 0x000080, "test5W"},
    {"512KR", "Random 512k Read", 1, 524288, 0x800080, "test5R"},
    {"1MBW", "Random 1MB Write", 0, 1048576, static_cast<std::int32_t>(0xF0CAA6), "TEST6w"},
    {"1MBR", "Random 1MB Read", 1, 1048576, static_cast<std::int32_t>(0xF0FBFF), "TEST6r"},
    {"4MBW", "Random 4MB Write", 0, 4194304, 0x008080, "TEST7w"},
    {"4MBR", "Random 4MB Read", 1, 4194304, 0x008000, "TEST7r"},
};

}  // namespace

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
    entry.Color = kPlan[i].Color;
    entry.NameTag = kPlan[i].NameTag;
    entry.Description = kPlan[i].Description;
    entry.TestSpeedLabel = kPlan[i].TestSpeedLabel;
    entry.BufferSize = kPlan[i].BufferSize;
    entry.ReadOrWrite = kPlan[i].ReadOrWrite;
    entry.Column = i;
  }
  graph.TotalColumns = kLastTest;
  for (TMyGraphColumn& entry : graph.GraphColumn) {
    entry.Value = -1.0;
    if (!entry.TestSpeedLabel.empty()) host.Set_Label_Text(entry.TestSpeedLabel, "00.00");
  }
  host.Set_Status_Text("");
}

double Calculate_Speed(TDateTime starttime, TDateTime endtime, std::int64_t counts, std::int64_t buffersize) {
  std::int64_t ms = Milliseconds_Between(starttime, endtime);
  if (ms == 0) ms = 1;
  return static_cast<double>(counts) * (static_cast<double>(buffersize) / 1000.0) / static_cast<double>(ms);
}
