// Small routines the transfers and their callers share: file digests, positions in texts,
// time-of-day spans, and the progress bar painted into a grid cell.
#pragma once

#include <cstdint>
#include <string>

#include "common/global_functions.h"

// The MD5 digest of a file's bytes as 32 upper-case hexadecimal digits; empty (and the
// reason logged) when it does not exist or cannot be read. A link in its place is refused.
std::string MD5_Of_File(const std::string& path);

// The 1-based position of the last occurrence of part in text; -1 when there is none.
int Last_Pos(const std::string& text, const std::string& part);

// Seconds (millisecond resolution) from the time of day of first to that of second; the
// dates are ignored, so the result is negative when midnight lies between them.
double Seconds_Between_Times(TDateTime first, TDateTime second);

// A cell rectangle: left and top inside, right and bottom just outside.
struct Cell_Rect {
  int Left = 0, Top = 0, Right = 0, Bottom = 0;
};

// The grid a progress bar is painted into; the window's grid implements it.
class Cell_Canvas {
 public:
  virtual ~Cell_Canvas() = default;
  virtual Cell_Rect Cell_Rectangle(int col, int row) = 0;
  // Fills the rectangle with a solid colour (0x00BBGGRR).
  virtual void Fill_Rectangle(const Cell_Rect& rect, std::int32_t color) = 0;
};

// A grid cell used as a progress bar.
struct MY_StringGridRecord {
  Cell_Canvas* Name = nullptr;  // the grid, or none
  std::int32_t Col = 0;
  std::int32_t Row = 0;
  std::int32_t Color = 0;
  std::int32_t StartPercent = 0;  // the stretch of the cell's width the bar may use
  std::int32_t EndPercent = 0;
};

// Paints percentage % of the bar: from the cell's left plus start percent of its width, over
// end percent of the rest (the whole cell when end percent is 0), 2 pixels short of the
// cell's top and bottom.
void Draw_Cell_Progress(const MY_StringGridRecord& grid, int col, int row, int percentage, std::int32_t color,
                        int start_percent, int end_percent);
