// The figures of one drive model: every test's rates over the model's computers, one run
// per computer (its latest run of the whole plan at the default test time), without the
// rates flagged as far outside. Medians, percentiles, where one drive's rate stands, and the
// bounds beyond which a new rate is flagged. Kept in memory per known model and brought up
// to date from the database at each use.
#pragma once

#include "server/report_store.h"

#include <array>
#include <chrono>
#include <cstdint>
#include <list>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

struct Test_Summary {
  std::int64_t count = 0;  // computers whose rate of the test counts
  double p10 = 0;
  double median = 0;
  double p90 = 0;
};

// The run of one computer that counts in its model's figures.
struct Counted_Run {
  std::int64_t id = 0;
  Rate_Row rates;  // without the rates flagged as far outside
};
using Counted_Runs = std::unordered_map<std::string, Counted_Run>;  // by computer

// Rates of a test outside [low, high] are far outside the model's figures.
struct Rate_Bounds {
  double low = 0;
  double high = 0;
};
using Model_Bounds = std::array<std::optional<Rate_Bounds>, kRateCount>;

// A test's figures must come from this many computers before a rate is judged against them,
// and a rate beyond this many median absolute deviations from the median is far outside.
constexpr std::int64_t kOutlierPopulation = 20;
constexpr double kOutlierDeviations = 5;

// The figures as one snapshot, shared with the pages while the next is made: they copy
// quickly, the runs behind them are kept apart (Model_Stats' Entry).
struct Model_Distribution {
  std::int64_t reports = 0;    // every report of the model, counted or not
  std::int64_t computers = 0;  // computers with a run that counts
  std::array<std::vector<double>, kRateCount> sorted;  // each test's counted rates, ascending

  std::int64_t Computers() const { return computers; }
  Test_Summary Summary(std::size_t test) const;
  // The share of the model's rates below value, ties counted half, in percent (0..100);
  // nothing when the model has no rate for the test.
  std::optional<double> Percentile_Of(std::size_t test, double value) const;
  // The bounds of each test whose figures come from at least kOutlierPopulation computers:
  // kOutlierDeviations median absolute deviations either side of the median (a deviation
  // of at least 1 % of the median, so that a model of identical rates is not as narrow as
  // a point).
  Model_Bounds Bounds() const;
};

// The value at fraction p (0..1) of ascending values, linearly between neighbours.
double Interpolated_Percentile(const std::vector<double>& ascending, double p);
// The median of the values' distances from median, of ascending values.
double Median_Absolute_Deviation(const std::vector<double>& ascending, double median);
// Bit t set for each rate outside its test's bounds.
std::uint32_t Outlier_Mask(const Model_Bounds& bounds, const Rate_Row& rates);

class Model_Stats {
 public:
  // At most max_models models are kept; the bounds of a model are read afresh when they are
  // older than bounds_age. A population of twenty computers or more moves little in ten
  // seconds, and each reading costs the database a query for the model.
  Model_Stats(Report_Store& store, std::size_t max_models,
              std::chrono::milliseconds bounds_age = std::chrono::seconds(10));

  // The model's figures as the database holds them now. Only reports added since the last
  // call are read, unless the count shows that the model's reports changed otherwise; while
  // another request is reading them, the figures as they were are answered. A model without
  // reports is answered empty and not kept, so that made-up names cannot push the known
  // models out.
  std::shared_ptr<const Model_Distribution> Distribution(const std::string& model_key);

  // The rates of a new report that lie far outside its model's figures (Outlier_Mask).
  std::uint32_t Outliers(const std::string& model_key, const Rate_Row& rates);

  // Whether the model's figures are kept in memory.
  bool Holds(const std::string& model_key);

 private:
  using Clock = std::chrono::steady_clock;
  struct Entry {
    std::mutex mutex;  // held while the figures are brought up to date
    std::int64_t max_id = 0;
    Counted_Runs counted;  // the runs behind the figures; only with mutex held
    bool rebuild = false;  // counted is to be read afresh (an update failed half way)
    std::list<std::string>::iterator recent;
    std::mutex state_mutex;  // held while the figures or bounds are read or replaced
    std::shared_ptr<const Model_Distribution> distribution;
    std::optional<Model_Bounds> bounds;
    Clock::time_point bounds_at;
  };

  std::shared_ptr<Entry> Find_Entry(const std::string& model_key);
  std::shared_ptr<Entry> Keep_Entry(const std::string& model_key, std::shared_ptr<Entry> entry);
  // Both with entry.mutex held.
  std::shared_ptr<const Model_Distribution> Update(Entry& entry, const std::string& model_key);
  static std::shared_ptr<const Model_Distribution> Current(Entry& entry);

  Report_Store& store_;
  std::size_t max_models_;
  std::chrono::milliseconds bounds_age_;
  std::mutex mutex_;
  std::unordered_map<std::string, std::shared_ptr<Entry>> entries_;
  std::list<std::string> recent_;  // most recently used first
};
