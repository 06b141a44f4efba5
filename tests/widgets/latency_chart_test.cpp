// The latency chart's picture: three bars per test in their colours, heights on a decade
// scale that fits the latencies shown, nothing for a test without figures.
#include <gtest/gtest.h>

#include <cmath>

#include "display/latency_chart.h"

namespace {

// The colour just above the foot of a bar, and at the height given.
QColor Pixel(const Latency_Chart& chart, int test, int percentile, int above) {
  return chart.Image().pixelColor(chart.Bar_Centre(test, percentile), chart.Bar_Bottom() - above);
}

// How many pixels of the bar's colour stand in its column.
int Bar_Pixels(const Latency_Chart& chart, int test, int percentile, const QColor& colour) {
  int count = 0;
  for (int y = 0; y < chart.Image().height(); ++y)
    if (chart.Image().pixelColor(chart.Bar_Centre(test, percentile), y) == colour) ++count;
  return count;
}

}  // namespace

TEST(LatencyChartTest, DrawsEachTestsThreePercentilesAsBarsOnALogScale) {
  Latency_Chart chart;
  // Latencies from 50 us to 20 ms, as a drive's fast reads and slow synced writes give them.
  const Latency_Marks marks[] = {{800, 1600, 3200}, {900, 2000, 20000}, {50, 60, 70}, {400, 500, 900}};
  for (int i = 0; i < 4; ++i) chart.Set(i, marks[i]);

  const QColor colours[] = {kP50Colour, kP99Colour, kP999Colour};
  for (int i = 0; i < 4; ++i) {
    const double values[] = {marks[i].p50, marks[i].p99, marks[i].p999};
    for (int p = 0; p < 3; ++p) {
      SCOPED_TRACE(std::to_string(i) + "/" + std::to_string(p));
      EXPECT_EQ(Pixel(chart, i, p, 1), colours[p]);
      EXPECT_EQ(Bar_Pixels(chart, i, p, colours[p]), chart.Bar_Height(values[p]));
    }
  }
  // The scale runs from 10 us to 100 ms: a tenfold latency stands one decade, a quarter of
  // the height, higher.
  const int decade = chart.Bar_Height(10'000) - chart.Bar_Height(1'000);
  EXPECT_GT(decade, 30);
  EXPECT_NEAR(chart.Bar_Height(20'000) - chart.Bar_Height(2'000), decade, 1);
  EXPECT_NEAR(chart.Bar_Height(100'000), 4 * decade, 2);
  // The tests without figures have no bars.
  for (int i = 4; i < Latency_Chart::kTests; ++i)
    for (int p = 0; p < 3; ++p) EXPECT_EQ(Bar_Pixels(chart, i, p, colours[p]), 0) << i;

  chart.Clear();
  for (int p = 0; p < 3; ++p) EXPECT_EQ(Bar_Pixels(chart, 0, p, colours[p]), 0);
}

TEST(LatencyChartTest, ALatencyAtTheFootOfTheScaleStillShows) {
  Latency_Chart chart;
  chart.Set(0, {10, 10, 10});        // exactly a decade: the foot of the scale
  chart.Set(1, {10, 1e6, 1e6});      // a second-long stall beside it
  EXPECT_GE(Bar_Pixels(chart, 0, 0, kP50Colour), 2);
  EXPECT_EQ(Pixel(chart, 1, 2, chart.Bar_Height(1e6) - 1), kP999Colour) << "the tallest bar fits the picture";
  EXPECT_GT(chart.Bar_Bottom() - chart.Bar_Height(1e6), 0);
}
