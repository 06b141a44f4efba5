// The distribution of every test's rates over all reports of one drive model: medians,
// 10th and 90th percentiles, and where one drive's rate stands among them. Kept in memory
// per model and brought up to date from the database at each use.
#pragma once

#include "server/report_store.h"

#include <array>
#include <cstdint>
#include <list>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

struct Test_Summary {
  std::int64_t count = 0;  // reports of the model with this test
  double p10 = 0;
  double median = 0;
  double p90 = 0;
};

struct Model_Distribution {
  std::int64_t reports = 0;  // all reports of the model
  std::array<std::vector<double>, kRateCount> sorted;  // each test's rates, ascending

  Test_Summary Summary(std::size_t test) const;
  // The share of the model's rates below value, ties counted half, in percent (0..100);
  // nothing when the model has no rate for the test.
  std::optional<double> Percentile_Of(std::size_t test, double value) const;
};

// The value at fraction p (0..1) of ascending values, linearly between neighbours.
double Interpolated_Percentile(const std::vector<double>& ascending, double p);

class Model_Stats {
 public:
  Model_Stats(Report_Store& store, std::size_t max_models);

  // The model's distribution as the database holds it now. Only reports added since the
  // last call are read, unless the count shows that the model's reports changed otherwise.
  std::shared_ptr<const Model_Distribution> Distribution(const std::string& model_key);

 private:
  struct Entry {
    std::mutex mutex;
    std::shared_ptr<const Model_Distribution> distribution = std::make_shared<Model_Distribution>();
    std::int64_t max_id = 0;
    std::list<std::string>::iterator recent;
  };

  std::shared_ptr<Entry> Find_Entry(const std::string& model_key);

  Report_Store& store_;
  std::size_t max_models_;
  std::mutex mutex_;
  std::unordered_map<std::string, std::shared_ptr<Entry>> entries_;
  std::list<std::string> recent_;  // most recently used first
};
