// Inline SVG charts of the pages: each test's spread over a model (10th to 90th percentile,
// median, and optionally one drive's rate), and one installation's rates over time.
#pragma once

#include "server/page_views.h"

#include <string>

// Text as the pages show it: without the bidirectional controls (U+061C, U+200E, U+200F,
// U+202A to U+202E, U+2066 to U+2069) that would turn round what follows them on screen.
std::string Display_Text(const std::string& text);
// Display_Text made safe inside HTML and SVG (&, <, >, quotes).
std::string Html_Escape(const std::string& text);

// One row per test with at least one rate; with_drive marks the drive's own value.
std::string Distribution_Chart(const std::array<Test_View, kRateCount>& tests, bool with_drive);

// The sequential write and read of each report, oldest to newest.
std::string History_Chart(const std::vector<Stored_Report>& history);
