// Records shared by the engine, the display and the reports.
#pragma once

#include <array>
#include <cstdint>
#include <string>

#include "common/device_check.h"

// One test of the plan and its bar in the graph.
struct TMyGraphColumn {
  double Value = 0;           // result in MB/s (1 MB = 1,000,000 bytes); -1 means no result
  std::int32_t Color = 0;     // bar colour, 0x00BBGGRR
  std::string NameTag;        // short key ("WRITE", "512BW"); empty for an entry without a test
  std::int32_t Left = 0, Right = 0, Top = 0, Bottom = 0;  // the bar's rectangle, set by the graph
  std::string Description;    // display name, e.g. "Sequential Write"
  std::int32_t Width = 0;     // the bar's width, set by the graph
  std::string TestSpeedLabel; // name of the label that shows the result; empty for none
  std::int32_t BufferSize = 0;  // block size in bytes; 0 = chosen from the drive type
  std::int32_t Column = 0;    // the entry's own index
  std::int32_t ReadOrWrite = 0; // 0 write, 1 read
  std::int64_t TargetSize = 0;  // sample size of the sequential file, logged by the write
  std::int64_t Loops = 0;
  Device_Check Check;           // whether the device or a cache answered the test
};

// The plan of tests, their results and the layout of the graph that shows them.
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
  std::array<TMyGraphColumn, 21> GraphColumn{};
};

// The one plan of the running program.
extern TMyGraph MyGraph;
