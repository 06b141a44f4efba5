// What the pages for people and their JSON twins show, gathered from the database and the
// model distributions; rendering to HTML and JSON works on these alone.
#pragma once

#include "server/model_stats.h"
#include "server/report_store.h"

#include <array>
#include <optional>
#include <string>
#include <vector>

// The figures' histogram: bins of a tenth of a decade from 0.01 to 100,000 MB/s; rates below
// fall into the first bin.
constexpr int kLowestDecade = -2;
constexpr int kHighestDecade = 5;
constexpr int kBinsPerDecade = 10;
constexpr std::size_t kHistogramBins = (kHighestDecade - kLowestDecade) * kBinsPerDecade;
using Histogram = std::array<std::int64_t, kHistogramBins>;

// How many of the ascending rates fall into each bin.
Histogram Histogram_Of(const std::vector<double>& ascending);
// The lower edge of bin (its upper edge is the next bin's lower edge), in MB/s.
double Bin_Edge(std::size_t bin);

struct Test_View {
  Test_Summary summary;
  Histogram histogram{};
  double lowest = 0, highest = 0;    // the model's slowest and fastest counted rate
  std::optional<double> value;       // this drive's rate, on the compare page
  std::optional<double> percentile;  // where it stands among the model's rates
  bool flagged = false;              // the rate lay far outside the model's figures and is left out
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
