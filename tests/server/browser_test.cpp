// The compare page in a real browser: Debian's chromium, headless, loads /compare of a
// seeded database; the page's text is checked in the DOM it built and a screenshot is kept.
#include "server_fixture.h"
#include "server_process.h"

#include <fstream>

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

}  // namespace

TEST(ComparePageInABrowser, ShowsTheDriveBesideItsModel) {
  const std::string chromium = Find_Chromium();
  if (chromium.empty()) GTEST_SKIP() << "chromium is not installed (scripts/deps installs it)";
  Test_Data_Folder data;
  Test_Server server(data.path(), "");
  auto client = server.Client();
  std::string key;
  for (int n = 0; n < 40; ++n) {
    const Answer answer = Post_Upload(*client, Compose_Upload(Varied_Report(n, 2), server.host()));
    ASSERT_TRUE(Confirmed(answer.body));
    if (n == 4) key = View_Key_Of(answer);
  }
  const std::string url = "http://" + server.host() + "/compare?key=" + key;

  Scratch_Folder profile;
  std::vector<std::string> dump = Chromium(chromium, profile / "dump");
  dump.insert(dump.end(), {"--dump-dom", url});
  std::string dom;
  ASSERT_EQ(Run_Program(dump, 90, dom), 0) << dom;
  for (const char* text : {"Your drive beside every", "Test Drive Model 0", "20 computer(s)", "Sequential Write",
                           "Random 4MB Read", "Percentile", "<svg", "<circle class=\"drive\""})
    EXPECT_NE(dom.find(text), std::string::npos) << text;

  const std::string picture = std::string(PS_TEST_OUTPUT_DIR) + "/compare-page.png";
  std::filesystem::remove(picture);
  std::vector<std::string> shot = Chromium(chromium, profile / "shot");
  shot.insert(shot.end(), {"--hide-scrollbars", "--window-size=1000,900", "--screenshot=" + picture, url});
  std::string output;
  ASSERT_EQ(Run_Program(shot, 90, output), 0) << output;
  std::ifstream in(picture, std::ios::binary);
  std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  EXPECT_EQ(bytes.substr(0, 8), "\x89PNG\r\n\x1a\n");
  EXPECT_GT(bytes.size(), 20000u) << "a blank page compresses to far less";
}
