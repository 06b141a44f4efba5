// The grid's runs as CSV, JSON (numbers always with a point) and a plain-text table (numbers
// as the screen writes them), and the choice of file format by extension.
#include "common/results_export.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <chrono>
#include <cmath>
#include <cstdio>

#include "common/plain_text.h"
#include "common/planned_tests.h"
#include "common/result_text.h"

namespace {

bool Has_Rate(double rate) { return std::isfinite(rate) && rate >= 0; }

// Two decimals with a point, never the locale's separator.
std::string Number_Text(double rate) {
  char text[64];
  const auto written = std::to_chars(text, text + sizeof text, rate, std::chars_format::fixed, 2);
  return std::string(text, written.ptr);
}

}  // namespace

std::string Csv_Field(const std::string& text) {
  if (text.find_first_of(",\"\r\n") == std::string::npos) return text;
  std::string quoted = "\"";
  for (char c : text) quoted += c == '"' ? std::string("\"\"") : std::string(1, c);
  return quoted + "\"";
}

namespace {

// The length of a UTF-8 text in characters.
std::size_t Characters(const std::string& text) {
  return static_cast<std::size_t>(
      std::count_if(text.begin(), text.end(), [](char c) { return (static_cast<unsigned char>(c) & 0xC0) != 0x80; }));
}

std::string Padded(const std::string& text, std::size_t width, bool left) {
  const std::string fill(width - std::min(width, Characters(text)), ' ');
  return left ? text + fill : fill + text;
}

}  // namespace

std::string Date_Text(TDateTime local_time) {
  using namespace std::chrono;
  const auto total = static_cast<long long>(std::llround(local_time * 86400.0)) - 25569LL * 86400;  // from 1970
  const sys_seconds at{seconds(total)};
  const sys_days day = floor<days>(at);
  const year_month_day date{day};
  const hh_mm_ss<seconds> time{at - day};
  char text[40];
  std::snprintf(text, sizeof text, "%04d-%02u-%02u %02lld:%02lld:%02lld", static_cast<int>(date.year()),
                static_cast<unsigned>(date.month()), static_cast<unsigned>(date.day()),
                static_cast<long long>(time.hours().count()), static_cast<long long>(time.minutes().count()),
                static_cast<long long>(time.seconds().count()));
  return text;
}

std::string Results_Csv(const std::vector<Run_Record>& runs) {
  std::string text = "drive,date,seconds";
  for (const Planned_Test& test : kPlannedTests) text += std::string(",") + test.NameTag;
  text += "\n";
  for (const Run_Record& run : runs) {
    text += Csv_Field(run.drive) + "," + Csv_Field(run.date) + "," + std::to_string(run.run.seconds);
    for (const Test_Result& test : run.run.tests) {
      text += ',';
      if (Has_Rate(test.rate)) text += Number_Text(test.rate);
    }
    text += "\n";
  }
  return text;
}

std::string Results_Json(const std::vector<Run_Record>& runs) {
  std::string text = "{\"runs\":[";
  for (std::size_t r = 0; r < runs.size(); ++r) {
    const Run_Record& run = runs[r];
    text += std::string(r == 0 ? "" : ",") + "{\"drive\":" + Json_String(run.drive) +
            ",\"date\":" + Json_String(run.date) + ",\"seconds\":" + std::to_string(run.run.seconds) + ",\"mbps\":{";
    for (std::size_t i = 0; i < run.run.tests.size(); ++i) {
      const Test_Result& test = run.run.tests[i];
      text += std::string(i == 0 ? "" : ",") + Json_String(test.key) + ":" +
              (Has_Rate(test.rate) ? Number_Text(test.rate) : std::string("null"));
    }
    text += "}}";
  }
  return text + "]}\n";
}

std::string Results_Table(const std::vector<Run_Record>& runs) {
  // Rows of cells: the column of captions, then one column per run.
  std::vector<std::vector<std::string>> rows;
  rows.push_back({"Drive"});
  rows.push_back({"Date"});
  rows.push_back({"Test time"});
  for (const Planned_Test& test : kPlannedTests) rows.push_back({test.Description});
  for (const Run_Record& run : runs) {
    rows[0].push_back(Label_Text(run.drive));
    rows[1].push_back(Label_Text(run.date));
    rows[2].push_back(std::to_string(run.run.seconds) + " s");
    for (std::size_t i = 0; i < run.run.tests.size(); ++i) {
      const double rate = run.run.tests[i].rate;
      rows[i + 3].push_back(Has_Rate(rate) ? Result_Text(rate) : "-");
    }
  }
  std::vector<std::size_t> widths(runs.size() + 1, 0);
  for (const auto& row : rows)
    for (std::size_t c = 0; c < row.size(); ++c) widths[c] = std::max(widths[c], Characters(row[c]));
  std::string text;
  for (const auto& row : rows) {
    std::string line = Padded(row[0], widths[0], true);
    for (std::size_t c = 1; c < row.size(); ++c) line += "  " + Padded(row[c], widths[c], false);
    text += line + "\n";
  }
  return text;
}

Results_Format Format_Of_File(const std::string& path) {
  const std::size_t dot = path.find_last_of("./");
  if (dot == std::string::npos || path[dot] != '.') return Results_Format::Unknown;
  std::string extension = path.substr(dot + 1);
  std::transform(extension.begin(), extension.end(), extension.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  if (extension == "csv") return Results_Format::Csv;
  if (extension == "json") return Results_Format::Json;
  return Results_Format::Unknown;
}
