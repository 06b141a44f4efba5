// SVG drawn as text, with no script: rows of bars for distributions, lines for history.
#include "server/svg_charts.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <string_view>

#include "common/number_text.h"

namespace {

constexpr int kLabelWidth = 150;
constexpr int kPlotWidth = 520;
constexpr int kNoteWidth = 190;
constexpr int kRowHeight = 28;
constexpr int kAxisHeight = 22;

std::string Number(double value) { return Fixed_Text(value, 1); }

// 0.01, 0.1, 1, 10, 100, 1,000, 10,000, 100,000.
std::string Decade_Text(int decade) {
  if (decade < 0) return std::string("0.").append(static_cast<std::size_t>(-decade - 1), '0').append("1");
  std::string digits;
  for (int place = decade; place >= 0; --place) {
    digits.push_back(place == decade ? '1' : '0');
    if (place > 0 && place % 3 == 0) digits.push_back(',');
  }
  return digits;
}

// Grid lines at every decade (and lighter ones at 2 and 5 times it) down through the rows,
// with the decades' values above and below them.
std::string Axis(const Log_Axis& axis, int rows_height) {
  std::string svg;
  const int bottom = kAxisHeight + rows_height;
  for (int decade = axis.low_decade; decade <= axis.high_decade; ++decade) {
    for (int step : {1, 2, 5}) {
      if (decade == axis.high_decade && step > 1) break;
      const std::string x = Number(axis.X(step * std::pow(10.0, decade)));
      svg += "<line class=\"" + std::string(step == 1 ? "tick" : "minor") + "\" x1=\"" + x + "\" x2=\"" + x + "\" y1=\"" +
             std::to_string(kAxisHeight - (step == 1 ? 6 : 3)) + "\" y2=\"" + std::to_string(bottom + (step == 1 ? 6 : 3)) +
             "\"/>";
    }
    const std::string x = Number(axis.X(std::pow(10.0, decade)));
    for (int y : {kAxisHeight - 9, bottom + 18})
      svg += "<text class=\"tick\" x=\"" + x + "\" y=\"" + std::to_string(y) + "\" text-anchor=\"middle\">" +
             Decade_Text(decade) + "</text>";
  }
  svg += "<text class=\"unit\" x=\"0\" y=\"" + std::to_string(bottom + 18) + "\">MB/s (logarithmic)</text>";
  return svg;
}

// Appends the many small pieces of a chart to one text, numbers written in place: no
// temporary strings. Doubles are coordinates and sizes, with one decimal.
class Svg_Text {
 public:
  Svg_Text& operator<<(std::string_view piece) {
    text_.append(piece);
    return *this;
  }
  Svg_Text& operator<<(std::int64_t value) {
    Append_Integer(text_, value);
    return *this;
  }
  Svg_Text& operator<<(int value) { return *this << std::int64_t{value}; }
  Svg_Text& operator<<(double value) {
    Append_Fixed(text_, value, 1);
    return *this;
  }
  std::string& Text() { return text_; }

 private:
  std::string text_;
};

// The histogram's bars rise from the row's foot, the fullest bin to the row's height. A
// bin's edges lie at whole tenths of a decade, so their places need no logarithm.
void Histogram_Bars(Svg_Text& svg, const Test_View& test, const Log_Axis& axis, int y) {
  const std::int64_t fullest = *std::max_element(test.histogram.begin(), test.histogram.end());
  if (fullest == 0) return;
  const double foot = y + kRowHeight - 4, tallest = kRowHeight - 8;
  const auto edge_x = [&](std::size_t bin) {
    return axis.At_Power(kLowestDecade + static_cast<double>(bin) / kBinsPerDecade);
  };
  for (std::size_t bin = 0; bin < kHistogramBins; ++bin) {
    if (test.histogram[bin] == 0) continue;
    const double x1 = edge_x(bin), x2 = edge_x(bin + 1);
    const double height = std::max(1.5, tallest * static_cast<double>(test.histogram[bin]) / static_cast<double>(fullest));
    svg << "<rect class=\"bin\" x=\"" << x1 << "\" y=\"" << foot - height << "\" width=\""
        << std::max(1.0, x2 - x1 - 0.6) << "\" height=\"" << height << "\"><title>" << test.histogram[bin]
        << " computer(s)</title></rect>";
  }
}

void Distribution_Row(Svg_Text& svg, const Test_View& test, std::size_t index, const Log_Axis& axis, int y,
                      bool with_drive) {
  const Test_Summary& s = test.summary;
  const int foot = y + kRowHeight - 4;
  svg << "<text x=\"0\" y=\"" << y + 18 << "\">" << Html_Escape(kRateFields[index].description) << "</text>";
  svg << "<line class=\"row\" x1=\"" << kLabelWidth << "\" x2=\"" << kLabelWidth + kPlotWidth << "\" y1=\"" << foot
      << "\" y2=\"" << foot << "\"/>";
  Histogram_Bars(svg, test, axis, y);
  std::string note = s.count > 0 ? "median " + Rate_Text(s.median) : "no figures yet";
  if (s.count > 0) {
    const double x = axis.X(s.median);
    svg << "<line class=\"median\" x1=\"" << x << "\" x2=\"" << x << "\" y1=\"" << y + 2 << "\" y2=\""
        << y + kRowHeight - 2 << "\"><title>median " << Rate_Text(s.median) << " MB/s</title></line>";
  }
  if (with_drive && test.value) {
    const std::string rate = Rate_Text(*test.value);
    svg << "<circle class=\"drive" << (test.flagged ? " flagged" : "") << "\" cx=\"" << axis.X(*test.value)
        << "\" cy=\"" << y + kRowHeight / 2 << "\" r=\"5.5\"><title>your drive: " << rate << " MB/s</title></circle>";
    note = rate + " MB/s";
    if (test.percentile) note += ", faster than " + std::to_string(static_cast<int>(*test.percentile)) + " %";
  }
  svg << "<text x=\"" << kLabelWidth + kPlotWidth + 12 << "\" y=\"" << y + 18 << "\">" << note << "</text>";
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

Log_Axis Log_Axis::Spanning(double lowest, double highest, double left, double width) {
  const auto decade = [](double value, bool up) {
    const double power = std::log10(std::clamp(value, 1e-2, 1e5));
    return static_cast<int>(up ? std::ceil(power - 1e-9) : std::floor(power + 1e-9));
  };
  Log_Axis axis{decade(lowest, false), decade(highest, true), left, width};
  if (axis.high_decade <= axis.low_decade) {
    if (axis.low_decade < kHighestDecade) ++axis.high_decade;
    else --axis.low_decade;
  }
  return axis;
}

double Log_Axis::X(double mbps) const { return At_Power(std::log10(std::max(mbps, 1e-9))); }

double Log_Axis::At_Power(double power) const {
  const double held = std::clamp(power, double(low_decade), double(high_decade));
  return left + (held - low_decade) / (high_decade - low_decade) * width;
}

std::string Distribution_Chart(const std::array<Test_View, kRateCount>& tests, bool with_drive) {
  double lowest = 1e9, highest = 0;
  std::vector<std::size_t> shown;
  for (std::size_t t = 0; t < kRateCount; ++t) {
    const Test_View& test = tests[t];
    const bool drive = with_drive && test.value;
    if (test.summary.count == 0 && !drive) continue;
    shown.push_back(t);
    if (test.summary.count > 0) lowest = std::min(lowest, test.lowest), highest = std::max(highest, test.highest);
    if (drive) lowest = std::min(lowest, *test.value), highest = std::max(highest, *test.value);
  }
  if (shown.empty()) return {};
  const Log_Axis axis = Log_Axis::Spanning(lowest, highest, kLabelWidth, kPlotWidth);
  const int rows_height = static_cast<int>(shown.size()) * kRowHeight;
  const int width = kLabelWidth + kPlotWidth + kNoteWidth, height = kAxisHeight + rows_height + 26;
  Svg_Text svg;
  svg.Text().reserve(2048 * shown.size());
  svg << "<svg class=\"chart\" role=\"img\" aria-label=\"rates of each test on a logarithmic scale\" "
         "xmlns=\"http://www.w3.org/2000/svg\" width=\"" << width << "\" height=\"" << height << "\" viewBox=\"0 0 "
      << width << " " << height << "\">" << Axis(axis, rows_height);
  for (std::size_t i = 0; i < shown.size(); ++i)
    Distribution_Row(svg, tests[shown[i]], shown[i], axis, kAxisHeight + static_cast<int>(i) * kRowHeight, with_drive);
  svg << "</svg>";
  return std::move(svg.Text());
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
