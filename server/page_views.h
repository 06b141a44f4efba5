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
  Stored_Report latest;
  std::int64_t model_reports = 0;
  std::array<Test_View, kRateCount> tests;
};

struct Drive_View {
  std::string model;  // as asked for
  std::int64_t reports = 0;
  std::array<Test_View, kRateCount> tests;
};

struct Computer_View {
  std::string computer_id;
  std::vector<Stored_Report> history;  // oldest first
};

struct Home_View {
  std::int64_t total_reports = 0;
  std::vector<Model_Count> models;
  std::vector<Stored_Report> latest;  // newest first
};

// Nothing when the computer has no report.
std::optional<Compare_View> Make_Compare_View(Report_Store& store, Model_Stats& stats, const std::string& computer_id);
Drive_View Make_Drive_View(Model_Stats& stats, const std::string& model);
Computer_View Make_Computer_View(Report_Store& store, const std::string& computer_id);
Home_View Make_Home_View(Report_Store& store);

// A rate as the pages write it: two decimals, "." separator.
std::string Rate_Text(double value);
// A report's time as "YYYY-MM-DD HH:MM UTC".
std::string Time_Text(std::int64_t received_ms);
