// Per-model figures with incremental updates. A snapshot gives the model's report count and
// the reports numbered above the last one seen; when the count equals what was known plus
// the new ones, nothing else changed (reports are never deleted), else the model is read
// afresh (reports of other processes can commit out of number order). A computer's newer
// run takes the place of its older one.
#include "server/model_stats.h"

#include <algorithm>
#include <cmath>
#include <unordered_set>

namespace {

// values without one occurrence of each of gone (both ascending).
void Remove_Sorted(std::vector<double>& values, std::vector<double>& gone) {
  if (gone.empty()) return;
  std::sort(gone.begin(), gone.end());
  std::vector<double> kept;
  kept.reserve(values.size());
  auto next = gone.begin();
  for (double value : values) {
    if (next != gone.end() && *next == value) ++next;
    else kept.push_back(value);
  }
  values.swap(kept);
}

void Add_Sorted(std::vector<double>& values, std::vector<double>& added) {
  const std::size_t old_size = values.size();
  std::sort(added.begin(), added.end());
  values.insert(values.end(), added.begin(), added.end());
  std::inplace_merge(values.begin(), values.begin() + static_cast<std::ptrdiff_t>(old_size), values.end());
}

Rate_Row Counted_Rates(const Model_Row& row) {
  Rate_Row rates = row.rates;
  for (std::size_t t = 0; t < kRateCount; ++t)
    if (row.outliers & (1u << t)) rates[t].reset();
  return rates;
}

// Adds rows to the figures and to the runs behind them.
void Add_Rows(Counted_Runs& counted, Model_Distribution& distribution, const Model_Rows& rows) {
  std::array<std::vector<double>, kRateCount> removed, added;
  std::unordered_set<std::string> changed;
  for (const Model_Row& row : rows.rows) {
    ++distribution.reports;
    if (!row.like_run) continue;
    auto [run, fresh] = counted.try_emplace(row.computer);
    if (!fresh && run->second.id > row.id) continue;
    // Rates of a run counted before these rows are in the sorted lists already.
    if (!fresh && !changed.count(row.computer))
      for (std::size_t t = 0; t < kRateCount; ++t)
        if (run->second.rates[t]) removed[t].push_back(*run->second.rates[t]);
    changed.insert(row.computer);
    run->second = {row.id, Counted_Rates(row)};
  }
  for (const std::string& computer : changed) {
    const Rate_Row& rates = counted.at(computer).rates;
    for (std::size_t t = 0; t < kRateCount; ++t)
      if (rates[t]) added[t].push_back(*rates[t]);
  }
  for (std::size_t t = 0; t < kRateCount; ++t) {
    Remove_Sorted(distribution.sorted[t], removed[t]);
    Add_Sorted(distribution.sorted[t], added[t]);
  }
  distribution.computers = static_cast<std::int64_t>(counted.size());
}

}  // namespace

double Interpolated_Percentile(const std::vector<double>& ascending, double p) {
  if (ascending.empty()) return 0;
  const double position = p * static_cast<double>(ascending.size() - 1);
  const auto lower = static_cast<std::size_t>(std::floor(position));
  const std::size_t upper = std::min(lower + 1, ascending.size() - 1);
  return ascending[lower] + (ascending[upper] - ascending[lower]) * (position - static_cast<double>(lower));
}

// The distances below the median, walked downwards, and those above, walked upwards, are
// both ascending: merging them up to the middle gives the median distance in one pass.
double Median_Absolute_Deviation(const std::vector<double>& ascending, double median) {
  const std::size_t n = ascending.size();
  if (n == 0) return 0;
  std::size_t above = static_cast<std::size_t>(std::lower_bound(ascending.begin(), ascending.end(), median) - ascending.begin());
  std::size_t below = above;  // ascending[below - 1] is the next value below the median
  double lower_middle = 0, upper_middle = 0;
  for (std::size_t k = 0; k <= n / 2; ++k) {
    const bool take_below = below > 0 && (above == n || median - ascending[below - 1] <= ascending[above] - median);
    const double distance = take_below ? median - ascending[--below] : ascending[above++] - median;
    if (k == (n - 1) / 2) lower_middle = distance;
    if (k == n / 2) upper_middle = distance;
  }
  return (lower_middle + upper_middle) / 2;
}

std::uint32_t Outlier_Mask(const Model_Bounds& bounds, const Rate_Row& rates) {
  std::uint32_t mask = 0;
  for (std::size_t t = 0; t < kRateCount; ++t)
    if (bounds[t] && rates[t] && (*rates[t] < bounds[t]->low || *rates[t] > bounds[t]->high)) mask |= 1u << t;
  return mask;
}

Test_Summary Model_Distribution::Summary(std::size_t test) const {
  const std::vector<double>& values = sorted[test];
  return {static_cast<std::int64_t>(values.size()), Interpolated_Percentile(values, 0.1),
          Interpolated_Percentile(values, 0.5), Interpolated_Percentile(values, 0.9)};
}

std::optional<double> Model_Distribution::Percentile_Of(std::size_t test, double value) const {
  const std::vector<double>& values = sorted[test];
  if (values.empty()) return std::nullopt;
  const auto [low, high] = std::equal_range(values.begin(), values.end(), value);
  const double below = static_cast<double>(low - values.begin());
  const double equal = static_cast<double>(high - low);
  return 100.0 * (below + equal / 2) / static_cast<double>(values.size());
}

Model_Bounds Model_Distribution::Bounds() const {
  Model_Bounds bounds;
  for (std::size_t t = 0; t < kRateCount; ++t) {
    const std::vector<double>& values = sorted[t];
    if (static_cast<std::int64_t>(values.size()) < kOutlierPopulation) continue;
    const double median = Interpolated_Percentile(values, 0.5);
    const double deviation = std::max(Median_Absolute_Deviation(values, median), 0.01 * median);
    bounds[t] = Rate_Bounds{median - kOutlierDeviations * deviation, median + kOutlierDeviations * deviation};
  }
  return bounds;
}

Model_Stats::Model_Stats(Report_Store& store, std::size_t max_models, std::chrono::milliseconds bounds_age)
    : store_(store), max_models_(std::max<std::size_t>(max_models, 1)), bounds_age_(bounds_age) {}

std::shared_ptr<Model_Stats::Entry> Model_Stats::Find_Entry(const std::string& model_key) {
  std::lock_guard lock(mutex_);
  auto found = entries_.find(model_key);
  if (found == entries_.end()) return nullptr;
  recent_.splice(recent_.begin(), recent_, found->second->recent);
  return found->second;
}

// Another thread may have kept the model meanwhile: the entry kept first stays.
std::shared_ptr<Model_Stats::Entry> Model_Stats::Keep_Entry(const std::string& model_key, std::shared_ptr<Entry> entry) {
  std::lock_guard lock(mutex_);
  auto [found, fresh] = entries_.try_emplace(model_key, entry);
  if (!fresh) return found->second;
  if (entries_.size() > max_models_) {
    entries_.erase(recent_.back());
    recent_.pop_back();
  }
  recent_.push_front(model_key);
  entry->recent = recent_.begin();
  return entry;
}

bool Model_Stats::Holds(const std::string& model_key) {
  std::lock_guard lock(mutex_);
  return entries_.count(model_key) > 0;
}

std::shared_ptr<const Model_Distribution> Model_Stats::Current(Entry& entry) {
  std::lock_guard lock(entry.state_mutex);
  return entry.distribution;
}

std::shared_ptr<const Model_Distribution> Model_Stats::Update(Entry& entry, const std::string& model_key) {
  const std::shared_ptr<const Model_Distribution> known = Current(entry);
  Model_Rows rows = store_.Model_Rates_After(model_key, entry.max_id);
  if (rows.total == known->reports && rows.rows.empty()) return known;
  auto updated = std::make_shared<Model_Distribution>();
  if (!entry.rebuild && rows.total == known->reports + static_cast<std::int64_t>(rows.rows.size())) {
    *updated = *known;
  } else {
    rows = store_.Model_Rates_After(model_key, 0);
    entry.counted.clear();
  }
  try {
    Add_Rows(entry.counted, *updated, rows);
  } catch (...) {
    entry.rebuild = true;  // the runs may be half changed: read them afresh next time
    throw;
  }
  entry.rebuild = false;
  entry.max_id = rows.max_id;
  std::lock_guard lock(entry.state_mutex);
  entry.distribution = updated;
  return updated;
}

std::shared_ptr<const Model_Distribution> Model_Stats::Distribution(const std::string& model_key) {
  std::shared_ptr<Entry> entry = Find_Entry(model_key);
  if (!entry) {
    const Model_Rows rows = store_.Model_Rates_After(model_key, 0);
    auto distribution = std::make_shared<Model_Distribution>();
    if (rows.total == 0) return distribution;
    entry = std::make_shared<Entry>();
    Add_Rows(entry->counted, *distribution, rows);
    entry->distribution = distribution;
    entry->max_id = rows.max_id;
    if (Keep_Entry(model_key, entry) == entry) return distribution;
    entry = Find_Entry(model_key);
    if (!entry) return distribution;
  }
  std::unique_lock update(entry->mutex, std::try_to_lock);
  if (!update.owns_lock()) return Current(*entry);
  return Update(*entry, model_key);
}

// Many uploads of one model arrive at once: one of them brings the bounds up to date while
// the others judge by the bounds as they were.
std::uint32_t Model_Stats::Outliers(const std::string& model_key, const Rate_Row& rates) {
  std::shared_ptr<Entry> entry = Find_Entry(model_key);
  if (!entry) {
    Distribution(model_key);
    entry = Find_Entry(model_key);
    if (!entry) return 0;  // the model's first report
  }
  {
    std::lock_guard lock(entry->state_mutex);
    if (entry->bounds && Clock::now() - entry->bounds_at < bounds_age_) return Outlier_Mask(*entry->bounds, rates);
  }
  std::unique_lock update(entry->mutex, std::try_to_lock);
  if (update.owns_lock()) {
    const Model_Bounds bounds = Update(*entry, model_key)->Bounds();
    std::lock_guard lock(entry->state_mutex);
    entry->bounds = bounds;
    entry->bounds_at = Clock::now();
  }
  std::lock_guard lock(entry->state_mutex);
  return entry->bounds ? Outlier_Mask(*entry->bounds, rates) : 0;
}
