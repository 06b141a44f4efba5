// The compare page's chart and its reading in words, from views made by hand: one
// logarithmic axis for every test, the model's histogram, median and the drive's dot where
// the axis puts them, and the sentences for a drive far behind, far ahead, like most, alone,
// flagged or not counted.
#include "server/page_views.h"
#include "server/result_reading.h"
#include "server/svg_charts.h"

#include <gtest/gtest.h>

#include <cmath>
#include <regex>

namespace {

// A test's figures from rates spread evenly between low and high (inclusive).
Test_View Figures(double low, double high, int count) {
  std::vector<double> rates;
  for (int n = 0; n < count; ++n) rates.push_back(low * std::pow(high / low, n / double(count - 1)));
  Test_View test;
  test.summary = {count, rates[count / 10], rates[count / 2], rates[count * 9 / 10]};
  test.histogram = Histogram_Of(rates);
  test.lowest = rates.front();
  test.highest = rates.back();
  return test;
}

std::vector<double> Attribute_Values(const std::string& svg, const std::string& element_start, const std::string& name) {
  std::vector<double> values;
  const std::regex pattern(element_start + "[^>]*? " + name + "=\"([0-9.]+)\"");
  for (auto it = std::sregex_iterator(svg.begin(), svg.end(), pattern); it != std::sregex_iterator(); ++it)
    values.push_back(std::stod((*it)[1]));
  return values;
}

Compare_View View_With(std::size_t test, double percentile, std::int64_t computers) {
  Compare_View view;
  view.counted = true;
  view.model_computers = computers;
  view.latest.report.profile[kTestSeconds] = "20";
  for (std::size_t t = 0; t < kRateCount; ++t) {
    view.tests[t].summary.count = computers;
    view.tests[t].value = 100;
    view.tests[t].percentile = t == test ? percentile : 50;
  }
  return view;
}

}  // namespace

TEST(CompareChart, TheAxisSpansWholeDecadesAroundTheRates) {
  struct Case {
    double lowest, highest;
    int low_decade, high_decade;
  };
  const Case cases[] = {
      {3.2, 2400, 0, 4}, {150, 160, 2, 3},      {100, 1000, 2, 3},   {0.001, 1e7, -2, 5},
      {1e5, 1e5, 4, 5},  {0.01, 0.01, -2, -1}, {0.5, 99999, -1, 5},
  };
  for (const Case& c : cases) {
    const Log_Axis axis = Log_Axis::Spanning(c.lowest, c.highest, 150, 520);
    EXPECT_EQ(axis.low_decade, c.low_decade) << c.lowest << ".." << c.highest;
    EXPECT_EQ(axis.high_decade, c.high_decade) << c.lowest << ".." << c.highest;
  }
  const Log_Axis axis = Log_Axis::Spanning(3.2, 2400, 150, 520);
  EXPECT_DOUBLE_EQ(axis.X(1), 150);
  EXPECT_DOUBLE_EQ(axis.X(100), 150 + 260);
  EXPECT_DOUBLE_EQ(axis.X(10000), 670);
  EXPECT_DOUBLE_EQ(axis.X(1e9), 670) << "held to the ends";
  EXPECT_DOUBLE_EQ(axis.X(0.001), 150);
}

// A fast test and a slow one share the axis: each median and dot sits where its rate is on
// that axis, so the rows no longer all end at the same place.
TEST(CompareChart, EveryTestStandsOnOneLogarithmicAxis) {
  std::array<Test_View, kRateCount> tests;
  tests[0] = Figures(300, 800, 200);  // sequential write
  tests[6] = Figures(0.5, 4, 200);    // 4K write
  tests[0].value = 450;
  tests[6].value = 0.2;
  const std::string svg = Distribution_Chart(tests, true);
  const Log_Axis axis = Log_Axis::Spanning(0.2, 800, 150, 520);
  ASSERT_EQ(axis.low_decade, -1);
  ASSERT_EQ(axis.high_decade, 3);
  for (const char* tick : {">0.1<", ">1<", ">10<", ">100<", ">1,000<", "MB/s (logarithmic)"})
    EXPECT_NE(svg.find(tick), std::string::npos) << tick;
  const std::vector<double> medians = Attribute_Values(svg, "<line class=\"median\"", "x1");
  ASSERT_EQ(medians.size(), 2u);
  EXPECT_NEAR(medians[0], axis.X(tests[0].summary.median), 0.06);
  EXPECT_NEAR(medians[1], axis.X(tests[6].summary.median), 0.06);
  const std::vector<double> dots = Attribute_Values(svg, "<circle class=\"drive\"", "cx");
  ASSERT_EQ(dots.size(), 2u);
  EXPECT_NEAR(dots[0], axis.X(450), 0.06);
  EXPECT_NEAR(dots[1], axis.X(0.2), 0.06);
  const std::vector<double> bars = Attribute_Values(svg, "<rect class=\"bin\"", "x");
  ASSERT_FALSE(bars.empty());
  EXPECT_GE(*std::min_element(bars.begin(), bars.end()), axis.X(0.5 / std::pow(10, 0.1)) - 0.06) << "the bin holding 0.5";
  EXPECT_LE(*std::max_element(bars.begin(), bars.end()), axis.X(800));
  EXPECT_EQ(svg.find("Random 512B Write"), std::string::npos) << "a test without figures or rate has no row";
}

TEST(CompareChart, TheReadingSaysWhereTheDriveStandsAndWhatToCheck) {
  struct Case {
    const char* name;
    Compare_View view;
    std::vector<std::string> sentences;
  };
  Compare_View alone = View_With(0, 50, 1);
  Compare_View flagged = View_With(0, 50, 30);
  flagged.tests[1].value = 100000;
  flagged.tests[1].flagged = true;
  Compare_View short_run = View_With(0, 50, 30);
  short_run.counted = false;
  short_run.latest.report.profile[kTestSeconds] = "1";
  short_run.latest.report.rates[0] = 10;
  short_run.latest.report.rates[1] = 10;
  const std::string kLikeMost =
      "Your drive is like most of its model: each of its rates lies between the 10th and the 90th percentile of the 30 "
      "computers with this model.";
  const Case cases[] = {
      {"far behind", View_With(6, 100.0 * 0.5 / 312, 312),
       {"Your 4K write is slower than 99 % of the 312 computers with this model: check the drive's health and its "
        "write cache."}},
      {"a slow read", View_With(15, 5, 40),
       {"Your 1MB read is slower than 95 % of the 40 computers with this model: check the drive's health and how it "
        "is connected."}},
      {"far ahead", View_With(1, 97.5, 40), {"Your sequential read is faster than 97 % of the 40 computers with this model."}},
      {"like most", View_With(3, 11, 30), {kLikeMost}},
      {"alone", alone, {"There are no figures of this model to compare with yet: they need the runs of other computers."}},
      {"flagged", flagged,
       {kLikeMost, "Your sequential read of 100000.00 MB/s lies far outside this model's figures and is left out of them."}},
      {"not counted", short_run,
       {kLikeMost, "This run is kept but not counted in the model's figures: they count each computer's latest run of "
                   "the whole plan at the default test time of 20 s, and this run took 1 s per test with 2 of 18 tests."}},
  };
  for (const Case& c : cases) EXPECT_EQ(Reading_Of(c.view), c.sentences) << c.name;
  EXPECT_EQ(Test_Phrase(12), "512K write");
  EXPECT_EQ(Test_Phrase(3), "512B read");
}
