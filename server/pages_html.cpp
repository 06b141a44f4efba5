// HTML of the front page, the compare page, a model's page and a computer's history.
#include "server/pages_html.h"

#include "server/result_reading.h"
#include "server/svg_charts.h"

#include <cctype>

#include "common/number_text.h"

namespace {

constexpr const char* kStyle =
    "body{font-family:sans-serif;margin:0;color:#222;background:#fafafa}"
    "header{background:#1d3557;color:#fff;padding:10px 24px}header a{color:#fff;text-decoration:none;font-weight:bold}"
    "main{padding:8px 24px 32px;max-width:1100px}table{border-collapse:collapse;margin:12px 0}"
    "th,td{border-bottom:1px solid #ddd;padding:4px 10px;text-align:right}th:first-child,td:first-child{text-align:left}"
    "thead th{background:#e8eef5}.facts{color:#555}.reading{font-size:1.15em}.chart text{font-size:12px;fill:#333}"
    ".chart text.tick,.chart text.unit{fill:#666;font-size:11px}.tick{stroke:#c8d0da}.minor{stroke:#e6eaef}"
    ".row{stroke:#d5dbe3}.bin{fill:#8fb3dc}.median{stroke:#1d3557;stroke-width:3}"
    ".drive{fill:#e76f51;stroke:#fff;stroke-width:1.5}.drive.flagged{fill:#fff;stroke:#e76f51;stroke-width:2}"
    "polyline{fill:none;stroke-width:2}polyline.write,circle.write{stroke:#e76f51}polyline.read,circle.read{stroke:#2a9d8f}"
    "circle.write{fill:#e76f51}circle.read{fill:#2a9d8f}text.write{fill:#e76f51}text.read{fill:#2a9d8f}"
    ".axis{stroke:#999}";

std::string Page(const std::string& title, const std::string& body) {
  return "<!DOCTYPE html>\n<html lang=\"en\"><head><meta charset=\"utf-8\"><meta name=\"viewport\" "
         "content=\"width=device-width\"><title>" + Html_Escape(title) + " - Platterscope results</title><style>" +
         kStyle + "</style></head><body><header><a href=\"/\">Platterscope results</a></header><main>" + body +
         "</main></body></html>\n";
}

constexpr const char* kChartLegend =
    "On one logarithmic scale for every test, the bars show how many computers reached each rate and the "
    "dark line is the median.";

std::string Cell(const std::string& text) { return "<td>" + text + "</td>"; }

std::string Percent_Text(double value) { return Fixed_Text(value, 0); }

std::string Drive_Link(const std::string& model) {
  return "<a href=\"/drive?model=" + Url_Encode(model) + "\">" + Html_Escape(model) + "</a>";
}

std::string Summary_Table(const std::array<Test_View, kRateCount>& tests, bool with_drive) {
  std::string table = "<table><thead><tr><th>Test</th>";
  if (with_drive) table += "<th>This drive, MB/s</th><th>Percentile</th>";
  table += "<th>Median</th><th>10th percentile</th><th>90th percentile</th><th>Computers</th></tr></thead><tbody>";
  for (std::size_t t = 0; t < kRateCount; ++t) {
    const Test_View& test = tests[t];
    if (!with_drive && test.summary.count == 0) continue;
    table += "<tr>" + Cell(kRateFields[t].description);
    if (with_drive)
      table += Cell(test.value ? Rate_Text(*test.value) : "-") + Cell(test.percentile ? Percent_Text(*test.percentile) : "-");
    const bool any = test.summary.count > 0;
    table += Cell(any ? Rate_Text(test.summary.median) : "-") + Cell(any ? Rate_Text(test.summary.p10) : "-") +
             Cell(any ? Rate_Text(test.summary.p90) : "-") + Cell(std::to_string(test.summary.count)) + "</tr>";
  }
  return table + "</tbody></table>";
}

std::string Report_Rows(const std::vector<Stored_Report>& reports, bool with_model) {
  std::string rows;
  for (const Stored_Report& stored : reports) {
    const Report& r = stored.report;
    rows += "<tr>" + Cell(Html_Escape(Time_Text(r.received_ms)));
    if (with_model) rows += Cell(Drive_Link(r.profile[kModel]));
    rows += Cell(Html_Escape(r.profile[kProgramVersion]));
    for (std::size_t t : {0u, 1u, 6u, 7u}) rows += Cell(r.rates[t] ? Rate_Text(*r.rates[t]) : "-");
    rows += "</tr>";
  }
  return rows;
}

std::string Report_Table(const std::vector<Stored_Report>& reports, bool with_model) {
  return std::string("<table><thead><tr><th>Reported</th>") + (with_model ? "<th>Drive model</th>" : "") +
         "<th>Program</th><th>Seq. write</th><th>Seq. read</th><th>4K write</th><th>4K read</th></tr></thead><tbody>" +
         Report_Rows(reports, with_model) + "</tbody></table>";
}

}  // namespace

std::string Url_Encode(const std::string& text) {
  static const char kDigits[] = "0123456789ABCDEF";
  std::string encoded;
  for (unsigned char c : text) {
    if (std::isalnum(c) || c == '-' || c == '.' || c == '_' || c == '~') {
      encoded.push_back(static_cast<char>(c));
    } else {
      encoded += {'%', kDigits[c >> 4], kDigits[c & 15]};
    }
  }
  return encoded;
}

std::string Compare_Page(const Compare_View& view) {
  const Report& r = view.latest.report;
  const std::string& model = r.profile[kModel];
  std::string body = "<h1>Your drive beside every " + Drive_Link(model) + "</h1>";
  for (const std::string& sentence : Reading_Of(view)) body += "<p class=\"reading\">" + Html_Escape(sentence) + "</p>";
  body += "<p class=\"facts\">Reported " + Html_Escape(Time_Text(r.received_ms)) + " by Platterscope " +
          Html_Escape(r.profile[kProgramVersion]) + ", " + Html_Escape(r.profile[kDriveSize]) + " " +
          Html_Escape(r.profile[kFileSystem]) + ". The model's figures come from " +
          std::to_string(view.model_computers) + " computer(s), each with its latest run of the whole plan at " +
          std::to_string(kDefaultTestSeconds) + " s. " + kChartLegend + " The dot is your drive.</p>";
  body += Distribution_Chart(view.tests, true) + Summary_Table(view.tests, true);
  body += "<p><a href=\"/computer?key=" + Url_Encode(view.view_key) + "\">This computer's reports over time</a></p>";
  return Page("Compare " + model, body);
}

std::string Drive_Page(const Drive_View& view) {
  std::string body = "<h1>" + Html_Escape(view.model) + "</h1><p class=\"facts\">Figures of " +
                     std::to_string(view.computers) + " computer(s), each with its latest run of the whole plan at " +
                     std::to_string(kDefaultTestSeconds) + " s. " + kChartLegend + "</p>";
  if (view.computers > 0) body += Distribution_Chart(view.tests, false) + Summary_Table(view.tests, false);
  return Page(view.model, body);
}

std::string Computer_Page(const Computer_View& view) {
  std::string body = "<h1>One computer over time</h1><p class=\"facts\">" + std::to_string(view.history.size()) +
                     " report(s)";
  if (!view.history.empty())
    body += "; the latest is <a href=\"/compare?key=" + Url_Encode(view.view_key) + "\">compared with its model</a>";
  body += ".</p>" + History_Chart(view.history);
  body += Report_Table(std::vector<Stored_Report>(view.history.rbegin(), view.history.rend()), true);
  return Page("Computer history", body);
}

std::string Home_Page(const Home_View& view) {
  std::string body = "<h1>Disk speeds reported by Platterscope</h1><p class=\"facts\">" +
                     std::to_string(view.total_reports) + " report(s).</p><h2>Most reported drive models</h2>"
                     "<table><thead><tr><th>Drive model</th><th>Reports</th></tr></thead><tbody>";
  for (const Model_Count& model : view.models)
    body += "<tr>" + Cell(Drive_Link(model.model)) + Cell(std::to_string(model.count)) + "</tr>";
  body += "</tbody></table>";
  return Page("Results", body);
}

std::string Message_Page(const std::string& title, const std::string& message) {
  return Page(title, "<h1>" + Html_Escape(title) + "</h1><p>" + Html_Escape(message) +
                         "</p><p><a href=\"/\">All results</a></p>");
}
