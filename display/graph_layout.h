// The bar graph's layout and what it shows: margins, fonts, the scale, and one column per
// test of the plan with the result drawn in it. Private to the display: the plan itself is
// common/planned_tests.h, a run's results are a Run_Result.
#pragma once

#include <array>
#include <cstdint>
#include <string>

#include "common/device_check.h"
#include "display/display_host.h"

// Columns of the graph: entries 0..17 hold the tests, 18..20 stay empty.
constexpr int kPlanEntries = 21;

// One test's column of the graph and the result shown in it.
struct TMyGraphColumn {
  double Value = 0;           // the result shown, MB/s (1 MB = 1,000,000 bytes); -1 means none
  std::int32_t Color = 0;     // bar colour, 0x00BBGGRR
  std::string NameTag;        // short key ("WRITE", "512BW"); empty for an entry without a test
  std::int32_t Left = 0, Right = 0, Top = 0, Bottom = 0;  // the bar's rectangle, set by the graph
  std::string Description;    // display name, e.g. "Sequential Write"
  std::int32_t Width = 0;     // the bar's width, set by the graph
  std::string TestSpeedLabel; // name of the label that shows the result; empty for none
  std::int32_t Column = 0;    // the entry's own index
  Device_Check Check;         // whether the device or a cache answered the test shown
};

// The graph's layout and the results it shows.
struct TMyGraph {
  std::int32_t MaxValue = 0;
  std::int32_t LeftMargin = 0;
  std::int32_t TopMargin = 0;
  std::int32_t BottomMargin = 0;
  std::int32_t RightMargin = 0;
  std::string LeyendFont;
  std::int32_t LeyendFontSize = 0;
  std::int32_t LeyendBottomMargin = 0;
  std::string ValueFont;
  std::int32_t ValueFontSize = 0;
  std::int32_t Line_Bottom_Position = 0;
  std::int32_t Line_Top_Position = 0;
  std::int32_t TotalColumns = 0;
  std::int32_t TotalRows = 0;
  std::int32_t ColumnGap = 0;
  std::array<TMyGraphColumn, kPlanEntries> GraphColumn{};
};

// The one graph of the main window.
extern TMyGraph MyGraph;

// Resets the graph: layout values, the eighteen tests' columns, every result to -1 with its
// label reading "00.00" and its mark taken away, and the status text cleared.
void Clean_ALL_Stats(TMyGraph& graph, Display_Host& host);
