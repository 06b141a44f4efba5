// A drive is far behind below the 10th percentile and far ahead above the 90th. The share
// of computers a drive is slower than is rounded down, so that "99 %" never hides that it is
// not all of them.
#include "server/result_reading.h"

#include "common/planned_tests.h"

#include <cmath>

namespace {

constexpr double kFarBehind = 10;
constexpr double kFarAhead = 90;

std::string Computers(std::int64_t count) {
  return count == 1 ? "the one computer" : "the " + std::to_string(count) + " computers";
}

std::string Share(double percent) { return std::to_string(static_cast<int>(std::floor(percent))) + " %"; }

std::string Advice(std::size_t test) {
  return kPlannedTests[test].ReadOrWrite == 0 ? "check the drive's health and its write cache"
                                               : "check the drive's health and how it is connected";
}

// Why the run is not in the figures, when it is not.
std::string Not_Counted(const Compare_View& view) {
  const Report& report = view.latest.report;
  std::size_t tests = 0;
  for (const auto& rate : report.rates) tests += rate.has_value();
  return "This run is kept but not counted in the model's figures: they count each computer's latest run of "
         "the whole plan at the default test time of " + std::to_string(kDefaultTestSeconds) + " s, and this run took " +
         report.profile[kTestSeconds] + " s per test with " + std::to_string(tests) + " of " +
         std::to_string(kRateCount) + " tests.";
}

}  // namespace

std::string Test_Phrase(std::size_t test) {
  const Planned_Test& planned = kPlannedTests[test];
  const std::string kind = planned.ReadOrWrite == 0 ? "write" : "read";
  if (planned.BufferSize == 0) return "sequential " + kind;
  const std::string tag = planned.NameTag;
  return tag.substr(0, tag.size() - 1) + " " + kind;
}

std::vector<std::string> Reading_Of(const Compare_View& view) {
  std::vector<std::string> sentences;
  std::optional<std::size_t> slowest, fastest;
  for (std::size_t t = 0; t < kRateCount; ++t) {
    const Test_View& test = view.tests[t];
    if (!test.percentile || test.summary.count < 2) continue;
    if (!slowest || *test.percentile < *view.tests[*slowest].percentile) slowest = t;
    if (!fastest || *test.percentile > *view.tests[*fastest].percentile) fastest = t;
  }
  if (slowest && *view.tests[*slowest].percentile < kFarBehind) {
    const Test_View& test = view.tests[*slowest];
    sentences.push_back("Your " + Test_Phrase(*slowest) + " is slower than " + Share(100 - *test.percentile) + " of " +
                        Computers(test.summary.count) + " with this model: " + Advice(*slowest) + ".");
  }
  if (fastest && *view.tests[*fastest].percentile > kFarAhead) {
    const Test_View& test = view.tests[*fastest];
    sentences.push_back("Your " + Test_Phrase(*fastest) + " is faster than " + Share(*test.percentile) + " of " +
                        Computers(test.summary.count) + " with this model.");
  }
  if (sentences.empty() && slowest)
    sentences.push_back("Your drive is like most of its model: each of its rates lies between the 10th and the 90th "
                        "percentile of " + Computers(view.model_computers) + " with this model.");
  if (!slowest)
    sentences.push_back("There are no figures of this model to compare with yet: they need the runs of other computers.");
  for (std::size_t t = 0; t < kRateCount; ++t)
    if (view.tests[t].flagged)
      sentences.push_back("Your " + Test_Phrase(t) + " of " + Rate_Text(*view.tests[t].value) +
                          " MB/s lies far outside this model's figures and is left out of them.");
  if (!view.counted) sentences.push_back(Not_Counted(view));
  return sentences;
}
