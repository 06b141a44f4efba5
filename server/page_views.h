// What the pages for people and their JSON twins show, gathered from the database and the
// model distributions; rendering to HTML and JSON works on these alone.
#pragma once

#include "server/model_stats.h"
#include "server/report_store.h"

#include <array>
#include <optional>
#include <string>
#include <vector>

struct Test_View {
  Test_Summary summary;
  std::optional<double> value;       // this drive's rate, on the compare page
  std::optional<double> percentile;  // where it stands among the model's rates
};

struct Compare_View {
  std::string view_key;  // opens this computer's pages
  Stored_Report latest;
  bool counted = false;  // the run counts in the model's figures (the whole plan at 20 s)
  std::int64_t model_computers = 0;
  std::array<Test_View, kRateCount> tests;
};

struct Drive_View {
  std::string model;  // as asked for
  std::int64_t computers = 0;
  std::array<Test_View, kRateCount> tests;
};

struct Computer_View {
  std::string view_key;
  std::vector<Stored_Report> history;  // oldest first, at most kHistoryLimit
};

struct Home_View {
  std::int64_t total_reports = 0;
  std::vector<Model_Count> models;
};

// The reports a computer's history shows at most: the latest ones.
constexpr int kHistoryLimit = 100;

// Nothing when the key opens no computer with a report.
std::optional<Compare_View> Make_Compare_View(Report_Store& store, Model_Stats& stats, const std::string& view_key);
std::optional<Computer_View> Make_Computer_View(Report_Store& store, const std::string& view_key);
// Nothing for a model without reports.
std::optional<Drive_View> Make_Drive_View(Model_Stats& stats, const std::string& model);
Home_View Make_Home_View(Report_Store& store);

// A rate as the pages write it: two decimals, "." separator.
std::string Rate_Text(double value);
// A report's time as "YYYY-MM-DD HH:MM UTC".
std::string Time_Text(std::int64_t received_ms);
