// The figures of the peak tests: the latency histogram against the exact percentiles of
// known distributions, and a fixed result as text, JSON and CSV compared with stored texts.
#include <gtest/gtest.h>

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <algorithm>
#include <random>

#include "common/latency_histogram.h"
#include "common/peak_export.h"
#include "golden.h"

namespace {

// The nearest-rank percentile of the sorted samples: the ceil(permille x n / 1000)-th smallest.
std::int64_t Exact(const std::vector<std::int64_t>& sorted, std::int64_t permille) {
  const auto n = static_cast<std::int64_t>(sorted.size());
  const std::int64_t rank = std::max<std::int64_t>(1, (permille * n + 999) / 1000);
  return sorted[static_cast<std::size_t>(rank - 1)];
}

struct Distribution {
  const char* name;
  std::function<std::vector<std::int64_t>(std::mt19937_64&)> draw;
};

std::vector<std::int64_t> Draw(std::size_t n, const std::function<double(std::mt19937_64&)>& one, std::mt19937_64& rng) {
  std::vector<std::int64_t> samples(n);
  for (std::int64_t& s : samples) s = static_cast<std::int64_t>(one(rng));
  return samples;
}

Device_Check Check(Device_Verdict verdict, std::int64_t device_bytes, std::int64_t counted, bool read) {
  Device_Check check;
  check.verdict = verdict;
  check.read = read;
  check.device = "vda";
  check.device_bytes = device_bytes;
  check.counted_bytes = counted;
  if (verdict == Device_Verdict::Not_Checked) check.reason = "tmpfs has no block device";
  return check;
}

// A run with a device's answer, a cache's, one nobody could check and a failed write.
Peak_Result Fixed_Result() {
  Peak_Result result;
  result.target = "/srv/a,b";
  result.size = 1LL << 30;
  result.seconds = 5;
  result.engine = "thread pool";
  result.engine_note = "io_uring is unavailable: Operation not permitted";
  result.direct = true;
  result.outcome = Peak_Outcome::Stopped;
  Peak_Test_Result seq{0, "SEQ1M-Q8T1-R", 5884LL << 20, 5884, 5'012'345'678, 0, 7120.5, 7988.25, 9120, {}, false, ""};
  seq.check = Check(Device_Verdict::Device, seq.bytes, seq.bytes, true);
  Peak_Test_Result cached{4, "RND4K-Q32T1-R", 4'000'000LL * 4096, 4'000'000, 5'000'100'000, 0, 39.75, 71.5, 130.25,
                          {}, false, ""};
  cached.check = Check(Device_Verdict::Cache, 0, cached.bytes, true);
  Peak_Test_Result failed{5, "RND4K-Q32T1-W", 0, 0, 200'000'000, 200'000'000, 0, 0, 0, {}, false,
                          "Error writing file /srv/a,b/_Quillorane/peak.tmp at 4096: Input/output error"};
  failed.check = Check(Device_Verdict::Not_Checked, -1, 0, false);
  Peak_Test_Result stopped{7, "RND4K-Q1T1-W", 40'000LL * 4096, 40'000, 2'600'000'000, 200'000'000, 61.5, 140, 2010.75,
                           {}, true, ""};
  stopped.check = Check(Device_Verdict::Device, stopped.bytes + 65536, stopped.bytes, false);
  result.tests = {seq, cached, failed, stopped};
  return result;
}

}  // namespace

TEST(Latency_Histogram, PercentilesAreWithinOnePercentOfTheExactOnes) {
  const std::size_t n = 100'000;
  const Distribution distributions[] = {
      {"one value", [](std::mt19937_64&) { return std::vector<std::int64_t>(1000, 81'234); }},
      {"a single sample", [](std::mt19937_64&) { return std::vector<std::int64_t>{123'456'789}; }},
      {"small values, each exact", [&](std::mt19937_64& rng) {
         return Draw(n, [](std::mt19937_64& r) { return std::uniform_int_distribution<int>(0, 127)(r); }, rng);
       }},
      {"uniform 1 ns to 1 ms", [&](std::mt19937_64& rng) {
         return Draw(n, [](std::mt19937_64& r) { return std::uniform_int_distribution<int>(1, 1'000'000)(r); }, rng);
       }},
      {"exponential, mean 50 us", [&](std::mt19937_64& rng) {
         return Draw(n, [](std::mt19937_64& r) { return std::exponential_distribution<double>(1 / 50'000.0)(r); }, rng);
       }},
      {"lognormal around 100 us", [&](std::mt19937_64& rng) {
         return Draw(n, [](std::mt19937_64& r) { return std::lognormal_distribution<double>(std::log(1e5), 1.0)(r); }, rng);
       }},
      {"seconds-long stalls", [&](std::mt19937_64& rng) {
         return Draw(n, [](std::mt19937_64& r) { return std::uniform_real_distribution<double>(1e9, 1e10)(r); }, rng);
       }},
      {"99 % fast, 1 % slow", [&](std::mt19937_64& rng) {
         std::vector<std::int64_t> samples = Draw(n, [](std::mt19937_64& r) { return std::uniform_int_distribution<int>(19'000, 21'000)(r); }, rng);
         for (std::size_t i = 0; i < n / 100; ++i) samples[i] = 5'000'000 + static_cast<std::int64_t>(i);
         std::shuffle(samples.begin(), samples.end(), rng);
         return samples;
       }},
  };
  for (const Distribution& d : distributions) {
    std::mt19937_64 rng(42);
    std::vector<std::int64_t> samples = d.draw(rng);
    Latency_Histogram histogram;
    for (std::int64_t s : samples) histogram.Add(s);
    std::sort(samples.begin(), samples.end());
    EXPECT_EQ(histogram.Count(), static_cast<std::int64_t>(samples.size())) << d.name;
    for (std::int64_t permille : {0, 1, 500, 990, 999, 1000}) {
      const double exact = static_cast<double>(Exact(samples, permille));
      const double got = histogram.Percentile(static_cast<double>(permille) / 1000);
      if (exact < 128) EXPECT_EQ(got, exact) << d.name << " p" << permille / 10.0;
      else EXPECT_NEAR(got, exact, exact * 0.01) << d.name << " p" << permille / 10.0;
    }
  }
  Latency_Histogram empty;
  EXPECT_EQ(empty.Percentile(0.5), 0);
  empty.Add(-5);  // a clock that went back counts as no time at all
  EXPECT_EQ(empty.Percentile(0.5), 0);
}

TEST(Peak_Output, AResultAsTextJsonAndCsv) {
  const Peak_Result result = Fixed_Result();
  EXPECT_TRUE(Matches_Golden("peak-result.txt", Peak_Text(result)));
  EXPECT_TRUE(Matches_Golden("peak-result.json", Peak_Json(result)));
  EXPECT_TRUE(Matches_Golden("peak-result.csv", Peak_Csv(result, "2025-12-09 14:05:09")));

  QJsonParseError error;
  const QJsonDocument json = QJsonDocument::fromJson(QByteArray::fromStdString(Peak_Json(result)), &error);
  ASSERT_EQ(error.error, QJsonParseError::NoError) << error.errorString().toStdString();
  const QJsonArray tests = json["tests"].toArray();
  ASSERT_EQ(tests.size(), 4);
  EXPECT_EQ(tests[0]["latency_us"]["p99.9"].toDouble(), 9120.0);
  EXPECT_EQ(tests[0]["device_bytes"].toDouble(), static_cast<double>(5884LL << 20));
  EXPECT_TRUE(tests[1]["cached"].toBool());
  EXPECT_TRUE(tests[2]["cached"].isNull());
  EXPECT_TRUE(json["stopped"].toBool());
}
