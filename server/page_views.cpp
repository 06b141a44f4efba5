// Gathers the pages' data: a report beside its model's distribution, one model, one
// installation's history, and the front page's lists.
#include "server/page_views.h"

#include <algorithm>
#include <cmath>
#include <ctime>

#include "common/number_text.h"

namespace {

constexpr int kFrontListLength = 20;

std::array<Test_View, kRateCount> Summaries(const Model_Distribution& distribution) {
  std::array<Test_View, kRateCount> tests;
  for (std::size_t t = 0; t < kRateCount; ++t) {
    const std::vector<double>& rates = distribution.sorted[t];
    tests[t].summary = distribution.Summary(t);
    tests[t].histogram = Histogram_Of(rates);
    if (!rates.empty()) tests[t].lowest = rates.front(), tests[t].highest = rates.back();
  }
  return tests;
}

}  // namespace

double Bin_Edge(std::size_t bin) {
  return std::pow(10.0, kLowestDecade + static_cast<double>(bin) / kBinsPerDecade);
}

// Each bin's count is the distance between the positions of its two edges. The edges are
// worked out once: every page draws a histogram of each test.
Histogram Histogram_Of(const std::vector<double>& ascending) {
  static const std::array<double, kHistogramBins> kEdges = [] {
    std::array<double, kHistogramBins> edges{};
    for (std::size_t bin = 0; bin < kHistogramBins; ++bin) edges[bin] = Bin_Edge(bin);
    return edges;
  }();
  Histogram bins{};
  auto from = ascending.begin();
  for (std::size_t bin = 0; bin < kHistogramBins; ++bin) {
    const auto to = bin + 1 == kHistogramBins ? ascending.end() : std::lower_bound(from, ascending.end(), kEdges[bin + 1]);
    bins[bin] = to - from;
    from = to;
  }
  return bins;
}

std::optional<Compare_View> Make_Compare_View(Report_Store& store, Model_Stats& stats, const std::string& view_key) {
  std::vector<Stored_Report> latest = store.History_Of_Key(view_key, 1);
  if (latest.empty()) return std::nullopt;
  const auto distribution = stats.Distribution(latest.front().report.model_key);
  Compare_View view{view_key, std::move(latest.front()), false, distribution->Computers(), Summaries(*distribution)};
  view.counted = Is_Like_Run(view.latest.report);
  for (std::size_t t = 0; t < kRateCount; ++t) {
    view.tests[t].value = view.latest.report.rates[t];
    view.tests[t].flagged = (view.latest.report.outliers >> t) & 1u;
    if (view.tests[t].value) view.tests[t].percentile = distribution->Percentile_Of(t, *view.tests[t].value);
  }
  return view;
}

std::optional<Drive_View> Make_Drive_View(Model_Stats& stats, const std::string& model) {
  const auto distribution = stats.Distribution(Model_Key(model));
  if (distribution->reports == 0) return std::nullopt;
  return Drive_View{model, distribution->Computers(), Summaries(*distribution)};
}

std::optional<Computer_View> Make_Computer_View(Report_Store& store, const std::string& view_key) {
  std::vector<Stored_Report> history = store.History_Of_Key(view_key, kHistoryLimit);
  if (history.empty()) return std::nullopt;
  return Computer_View{view_key, std::move(history)};
}

Home_View Make_Home_View(Report_Store& store) {
  return {store.Report_Count(), store.Top_Models(kFrontListLength)};
}

std::string Rate_Text(double value) { return Fixed_Text(value, 2); }

std::string Time_Text(std::int64_t received_ms) {
  const std::time_t seconds = static_cast<std::time_t>(received_ms / 1000);
  std::tm parts{};
  gmtime_r(&seconds, &parts);
  char text[40];
  std::strftime(text, sizeof text, "%Y-%m-%d %H:%M UTC", &parts);
  return text;
}
