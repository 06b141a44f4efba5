// Inline SVG charts of the pages: each test's rates over a model (a histogram on a shared
// logarithmic axis, the median, and optionally one drive's rate), and one computer's rates
// over time.
#pragma once

#include "server/page_views.h"

#include <string>

// Text as the pages show it: without the bidirectional controls (U+061C, U+200E, U+200F,
// U+202A to U+202E, U+2066 to U+2069) that would turn round what follows them on screen.
std::string Display_Text(const std::string& text);
// Display_Text made safe inside HTML and SVG (&, <, >, quotes).
std::string Html_Escape(const std::string& text);

// A logarithmic MB/s axis over whole decades, from the decade at or below lowest to the one
// at or above highest (at least one decade, within 0.01 to 100,000 MB/s).
struct Log_Axis {
  int low_decade = 0;
  int high_decade = 1;
  double left = 0;   // x of the low end
  double width = 1;  // from the low end to the high end

  static Log_Axis Spanning(double lowest, double highest, double left, double width);
  // x of a rate, held to the axis' ends.
  double X(double mbps) const;
  // x of the rate 10 to the power, held to the axis' ends.
  double At_Power(double power) const;
};

// One row per test with figures or a rate of the drive, all on one logarithmic axis with
// ticks: the model's histogram, its median and, with_drive, the drive's own rate.
std::string Distribution_Chart(const std::array<Test_View, kRateCount>& tests, bool with_drive);

// The sequential write and read of each report, oldest to newest.
std::string History_Chart(const std::vector<Stored_Report>& history);
