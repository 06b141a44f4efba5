// Per-model rate distributions with incremental updates. A snapshot gives the model's
// report count and the reports numbered above the last one seen; when the count equals
// what was known plus the new ones, nothing else changed (reports are never deleted), else
// the model is read afresh (reports of other processes can commit out of number order).
#include "server/model_stats.h"

#include <algorithm>
#include <cmath>

namespace {

void Add_Rows(Model_Distribution& distribution, const Model_Rows& rows) {
  for (std::size_t test = 0; test < kRateCount; ++test) {
    std::vector<double>& values = distribution.sorted[test];
    const std::size_t old_size = values.size();
    for (const auto& [id, rates] : rows.rows)
      if (rates[test]) values.push_back(*rates[test]);
    std::sort(values.begin() + static_cast<std::ptrdiff_t>(old_size), values.end());
    std::inplace_merge(values.begin(), values.begin() + static_cast<std::ptrdiff_t>(old_size), values.end());
  }
  distribution.reports += static_cast<std::int64_t>(rows.rows.size());
}

}  // namespace

double Interpolated_Percentile(const std::vector<double>& ascending, double p) {
  if (ascending.empty()) return 0;
  const double position = p * static_cast<double>(ascending.size() - 1);
  const auto lower = static_cast<std::size_t>(std::floor(position));
  const std::size_t upper = std::min(lower + 1, ascending.size() - 1);
  return ascending[lower] + (ascending[upper] - ascending[lower]) * (position - static_cast<double>(lower));
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

Model_Stats::Model_Stats(Report_Store& store, std::size_t max_models)
    : store_(store), max_models_(std::max<std::size_t>(max_models, 1)) {}

std::shared_ptr<Model_Stats::Entry> Model_Stats::Find_Entry(const std::string& model_key) {
  std::lock_guard lock(mutex_);
  auto found = entries_.find(model_key);
  if (found != entries_.end()) {
    recent_.splice(recent_.begin(), recent_, found->second->recent);
    return found->second;
  }
  if (entries_.size() >= max_models_) {
    entries_.erase(recent_.back());
    recent_.pop_back();
  }
  auto entry = std::make_shared<Entry>();
  recent_.push_front(model_key);
  entry->recent = recent_.begin();
  entries_.emplace(model_key, entry);
  return entry;
}

std::shared_ptr<const Model_Distribution> Model_Stats::Distribution(const std::string& model_key) {
  const std::shared_ptr<Entry> entry = Find_Entry(model_key);
  std::lock_guard lock(entry->mutex);
  Model_Rows rows = store_.Model_Rates_After(model_key, entry->max_id);
  if (rows.total == entry->distribution->reports && rows.rows.empty()) return entry->distribution;
  auto updated = std::make_shared<Model_Distribution>();
  if (rows.total == entry->distribution->reports + static_cast<std::int64_t>(rows.rows.size())) {
    *updated = *entry->distribution;
  } else {
    rows = store_.Model_Rates_After(model_key, 0);
  }
  Add_Rows(*updated, rows);
  entry->distribution = updated;
  entry->max_id = rows.max_id;
  return updated;
}
