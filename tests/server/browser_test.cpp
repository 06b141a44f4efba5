// The compare page in a real browser: Debian's chromium, headless, loads /compare of a
// database of several hundred computers; the page's text is checked in the DOM it built, and
// the screenshot it took is kept in the tests' output folder and its colours counted.
#include "server_fixture.h"
#include "server_process.h"

#include <QImage>

#include <atomic>
#include <cmath>
#include <random>

namespace {

std::string Find_Chromium() {
  for (const char* path : {"/usr/bin/chromium", "/usr/bin/chromium-browser"})
    if (::access(path, X_OK) == 0) return path;
  return {};
}

std::vector<std::string> Chromium(const std::string& binary, const std::string& profile) {
  return {binary, "--headless", "--no-sandbox", "--disable-gpu", "--disable-quic", "--no-first-run",
          "--disable-background-networking", "--disable-component-update", "--disable-sync",
          "--user-data-dir=" + profile};
}

// The typical rates of each test in plan order, MB/s.
constexpr std::array<double, 18> kTypical = {500, 550, 0.8, 1.5, 1.5, 3, 5, 12, 60, 150,
                                             100, 250, 250, 450, 350, 500, 450, 520};

// Computer n of the model: each rate spread around the typical one as rates of one model are.
Sample_Report Population_Member(int n) {
  Sample_Report report = Varied_Report(n, 1);
  std::mt19937 random(static_cast<unsigned>(n));
  std::normal_distribution<double> spread(0, 0.15);
  for (std::size_t t = 0; t < kTypical.size(); ++t) report.rates[t] = kTypical[t] * std::exp(spread(random));
  return report;
}

// How many pixels of the picture have this colour.
int Pixels_Of(const QImage& image, QRgb colour) {
  int count = 0;
  for (int y = 0; y < image.height(); ++y)
    for (int x = 0; x < image.width(); ++x) count += (image.pixel(x, y) & 0xFFFFFF) == (colour & 0xFFFFFF);
  return count;
}

}  // namespace

// 300 computers of one model and one more whose 4K write is far behind them.
TEST(ComparePageInABrowser, ShowsTheDriveBesideSeveralHundredComputersOfItsModel) {
  const std::string chromium = Find_Chromium();
  if (chromium.empty()) GTEST_SKIP() << "chromium is not installed (scripts/deps --test installs it)";
  Test_Data_Folder data;
  Test_Server server(data.path(), "");
  constexpr int kPopulation = 300, kSenders = 4;
  std::atomic<int> refused{0};
  std::vector<std::thread> senders;
  for (int s = 0; s < kSenders; ++s)
    senders.emplace_back([&, s] {
      auto client = server.Client();
      for (int n = s; n < kPopulation; n += kSenders)
        refused += !Confirmed(Post_Upload(*client, Compose_Upload(Population_Member(n), server.host())).body);
    });
  for (auto& sender : senders) sender.join();
  ASSERT_EQ(refused, 0);
  Sample_Report mine = Varied_Report(kPopulation, 1);
  for (std::size_t t = 0; t < kTypical.size(); ++t) mine.rates[t] = kTypical[t];
  mine.rates[6] = kTypical[6] * 0.3;
  auto client = server.Client();
  const std::string key = View_Key_Of(Post_Upload(*client, Compose_Upload(mine, server.host())));
  ASSERT_FALSE(key.empty());
  const std::string url = "http://" + server.host() + "/compare?key=" + key;

  Scratch_Folder profile;
  std::vector<std::string> dump = Chromium(chromium, profile / "dump");
  dump.insert(dump.end(), {"--dump-dom", url});
  std::string dom;
  ASSERT_EQ(Run_Program(dump, 90, dom), 0) << dom;
  for (const char* text : {"Your drive beside every", "Test Drive Model 0",
                           "Your 4K write is slower than 99 % of the 301 computers with this model: check the "
                           "drive's health and its write cache.",
                           "301 computer(s)", ">1,000<", ">0.1<", "MB/s (logarithmic)", "<rect class=\"bin\"",
                           "<line class=\"median\"", "<circle class=\"drive\"", "Random 4MB Read", "Percentile"})
    EXPECT_NE(dom.find(text), std::string::npos) << text;

  const std::string picture = std::string(PS_TEST_OUTPUT_DIR) + "/compare-page.png";
  std::filesystem::remove(picture);
  std::vector<std::string> shot = Chromium(chromium, profile / "shot");
  shot.insert(shot.end(), {"--hide-scrollbars", "--window-size=1000,1000", "--screenshot=" + picture, url});
  std::string output;
  ASSERT_EQ(Run_Program(shot, 90, output), 0) << output;
  std::cout << "The compare page as Chromium drew it: " << picture << "\n";
  QImage image(QString::fromStdString(picture));
  ASSERT_FALSE(image.isNull()) << picture;
  EXPECT_EQ(image.size(), QSize(1000, 1000));
  EXPECT_GT(Pixels_Of(image, qRgb(0x8f, 0xb3, 0xdc)), 3000) << "the histograms' bars";
  EXPECT_GT(Pixels_Of(image, qRgb(0xe7, 0x6f, 0x51)), 18 * 40) << "a dot of the drive in each test's row";
  EXPECT_GT(Pixels_Of(image, qRgb(0x1d, 0x35, 0x57)), 18 * 30) << "the medians (and the header)";
}
