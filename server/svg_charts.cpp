// SVG drawn as text, with no script: rows of bars for distributions, lines for history.
#include "server/svg_charts.h"

#include <algorithm>
#include <cstdio>

namespace {

constexpr int kLabelWidth = 150;
constexpr int kPlotWidth = 460;
constexpr int kRowHeight = 24;

std::string Number(double value) {
  char text[32];
  std::snprintf(text, sizeof text, "%.1f", value);
  return text;
}

std::string Distribution_Row(const Test_View& test, std::size_t index, int y, bool with_drive) {
  const Test_Summary& s = test.summary;
  double top = std::max(s.p90, s.median);
  if (with_drive && test.value) top = std::max(top, *test.value);
  top = top > 0 ? top * 1.1 : 1;
  auto x = [&](double value) { return Number(kLabelWidth + value / top * kPlotWidth); };
  std::string row = "<text x=\"0\" y=\"" + std::to_string(y + 16) + "\">" +
                    Html_Escape(kRateFields[index].description) + "</text>";
  row += "<rect class=\"band\" x=\"" + x(s.p10) + "\" y=\"" + std::to_string(y + 5) + "\" width=\"" +
         Number((s.p90 - s.p10) / top * kPlotWidth) + "\" height=\"14\"/>";
  row += "<line class=\"median\" x1=\"" + x(s.median) + "\" x2=\"" + x(s.median) + "\" y1=\"" +
         std::to_string(y + 2) + "\" y2=\"" + std::to_string(y + 22) + "\"/>";
  std::string note = "median " + Rate_Text(s.median);
  if (with_drive && test.value) {
    row += "<circle class=\"drive\" cx=\"" + x(*test.value) + "\" cy=\"" + std::to_string(y + 12) + "\" r=\"6\"/>";
    note = Rate_Text(*test.value) + " MB/s";
    if (test.percentile) note += ", percentile " + Number(*test.percentile);
  }
  row += "<text x=\"" + std::to_string(kLabelWidth + kPlotWidth + 12) + "\" y=\"" + std::to_string(y + 16) + "\">" +
         note + "</text>";
  return row;
}

// One test's rates as a line with a dot per report (a single report still shows).
std::string Series(const std::vector<Stored_Report>& history, std::size_t test, double top, const char* name) {
  constexpr int kWidth = 600, kHeight = 200;
  std::string points, dots;
  const double step = history.size() > 1 ? static_cast<double>(kWidth) / static_cast<double>(history.size() - 1) : 0;
  for (std::size_t i = 0; i < history.size(); ++i) {
    const auto& rate = history[i].report.rates[test];
    if (!rate) continue;
    const std::string x = Number(50 + step * static_cast<double>(i)), y = Number(10 + kHeight - *rate / top * kHeight);
    points += x + "," + y + " ";
    dots += "<circle class=\"" + std::string(name) + "\" cx=\"" + x + "\" cy=\"" + y + "\" r=\"3\"/>";
  }
  return "<polyline class=\"" + std::string(name) + "\" points=\"" + points + "\"/>" + dots;
}

}  // namespace

std::string Display_Text(const std::string& text) {
  std::string shown;
  shown.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    const auto byte = [&](std::size_t k) { return i + k < text.size() ? static_cast<unsigned char>(text[i + k]) : 0; };
    if (byte(0) == 0xD8 && byte(1) == 0x9C) {  // U+061C
      ++i;
      continue;
    }
    if (byte(0) == 0xE2 && ((byte(1) == 0x80 && (byte(2) == 0x8E || byte(2) == 0x8F || (byte(2) >= 0xAA && byte(2) <= 0xAE))) ||
                            (byte(1) == 0x81 && byte(2) >= 0xA6 && byte(2) <= 0xA9))) {
      i += 2;
      continue;
    }
    shown.push_back(text[i]);
  }
  return shown;
}

std::string Html_Escape(const std::string& raw) {
  const std::string text = Display_Text(raw);
  std::string safe;
  safe.reserve(text.size());
  for (char c : text) {
    switch (c) {
      case '&': safe += "&amp;"; break;
      case '<': safe += "&lt;"; break;
      case '>': safe += "&gt;"; break;
      case '"': safe += "&quot;"; break;
      case '\'': safe += "&#39;"; break;
      default: safe.push_back(c);
    }
  }
  return safe;
}

std::string Distribution_Chart(const std::array<Test_View, kRateCount>& tests, bool with_drive) {
  std::string rows;
  int y = 0;
  for (std::size_t t = 0; t < kRateCount; ++t) {
    if (tests[t].summary.count == 0) continue;
    rows += Distribution_Row(tests[t], t, y, with_drive);
    y += kRowHeight;
  }
  const int width = kLabelWidth + kPlotWidth + 230;
  return "<svg class=\"chart\" role=\"img\" aria-label=\"rates of each test\" xmlns=\"http://www.w3.org/2000/svg\" "
         "width=\"" + std::to_string(width) + "\" height=\"" + std::to_string(y + 4) + "\" viewBox=\"0 0 " +
         std::to_string(width) + " " + std::to_string(y + 4) + "\">" + rows + "</svg>";
}

std::string History_Chart(const std::vector<Stored_Report>& history) {
  double top = 0;
  for (const Stored_Report& stored : history)
    for (std::size_t test : {0u, 1u})
      if (stored.report.rates[test]) top = std::max(top, *stored.report.rates[test]);
  top = top > 0 ? top * 1.1 : 1;
  std::string svg = "<svg class=\"chart\" role=\"img\" aria-label=\"sequential rates over time\" "
                    "xmlns=\"http://www.w3.org/2000/svg\" width=\"700\" height=\"240\" viewBox=\"0 0 700 240\">";
  svg += "<line class=\"axis\" x1=\"50\" y1=\"210\" x2=\"650\" y2=\"210\"/><line class=\"axis\" x1=\"50\" y1=\"10\" "
         "x2=\"50\" y2=\"210\"/>";
  svg += "<text x=\"0\" y=\"20\">" + Number(top) + "</text><text x=\"0\" y=\"210\">0</text>";
  svg += Series(history, 0, top, "write") + Series(history, 1, top, "read");
  svg += "<text class=\"write\" x=\"60\" y=\"232\">Sequential Write</text>"
         "<text class=\"read\" x=\"220\" y=\"232\">Sequential Read</text>";
  if (!history.empty())
    svg += "<text x=\"450\" y=\"232\">" + Time_Text(history.front().report.received_ms).substr(0, 10) + " to " +
           Time_Text(history.back().report.received_ms).substr(0, 10) + "</text>";
  return svg + "</svg>";
}
