// The program's own version check against the results server on loopback: the server's answer
// brings the banners into the program's cache (once), a click is led to the ad's target and
// counted, and the installer the server signed runs, while one signed by a key the program
// does not trust is neither kept nor run.
#include "server_fixture.h"

#include "core/update_fixture.h"
#include "reporting/report_codec.h"

#include <sys/stat.h>

#include <QElapsedTimer>
#include <QThread>

#include <filesystem>
#include <fstream>

namespace {

using namespace std::chrono_literals;

const std::string kBannerOne = Banner_Bytes("one");
const std::string kBannerTwo = Banner_Bytes("two");

bool Appears(const std::string& path, int ms) {
  QElapsedTimer timer;
  timer.start();
  while (!std::filesystem::exists(path) && timer.elapsed() < ms) QThread::msleep(20);
  return std::filesystem::exists(path);
}

ino_t Inode_Of(const std::string& path) {
  struct stat info {};
  return ::stat(path.c_str(), &info) == 0 ? info.st_ino : 0;
}

bool Line_Says(const std::vector<std::string>& lines, std::size_t at, const std::string& text) {
  return at < lines.size() && lines[at].find(text) != std::string::npos;
}

}  // namespace

// A server offering version 1.3.1 with two banners and a signed installer that leaves a
// marker, and a program 1.3.0 "platterscope" in a folder of its own that asks it.
class Program_Version_Test : public Server_Test {
 protected:
  void SetUp() override {
    Server_Test::SetUp();
    marker_ = scratch_ / "installer-ran";
    data_.Write("www/ads/banner-1.png", kBannerOne);
    data_.Write("www/ads/banner-2.gif", kBannerTwo);
    data_.Write("www/installers/setup.run", Marker_Installer(marker_));
    data_.Append_Config("version = 1.3.1\n[ad]\nnumber = 1\nimage = ads/banner-1.png\ntarget = https://ads.example/one\n"
                        "[ad]\nnumber = 2\nimage = ads/banner-2.gif\ntarget = https://ads.example/two\n"
                        "[installer]\nfile = installers/setup.run\ntarget = platterscope\n");
    program_ = scratch_.Make_File("Program Files/platterscope");
  }

  Update_Settings Settings(const Test_Server& server, const Public_Key& key) const {
    return Test_Settings(scratch_, server.host(), key);
  }

  Public_Key Server_Public_Key() const {
    std::ifstream in(data_.path() + "/update-signing.pub");
    std::string hex;
    in >> hex;
    Public_Key key{};
    EXPECT_TRUE(Public_Key_From_Hex(hex, key)) << hex;
    return key;
  }

  std::vector<std::string> Installers() const { return Files_Beginning(scratch_ / "Program Files", "_Quillorane"); }

  Scratch_Folder scratch_;
  std::string marker_, program_;
};

TEST_P(Program_Version_Test, BannersAreFetchedOnceAClickIsCountedAndTheSignedInstallerRuns) {
  Test_Server& server = Start();
  Update_Settings settings = Settings(server, Server_Public_Key());
  Fake_Update_Host host;
  Update_Checker checker(host);
  Check_Report report;
  checker.Check_New_Version(settings, &report);
  EXPECT_EQ(report.version, "1.3.1");
  const std::string banners[] = {kBannerOne, kBannerTwo};
  for (std::size_t k = 0; k < 2; ++k) {
    const TMyAds& ad = checker.MyAds[k];
    EXPECT_EQ(ad.Active, "1") << (report.ads.size() > k ? report.ads[k] : "no report of ad " + std::to_string(k));
    EXPECT_EQ(Read_Whole_File(ad.PhysicalFile), banners[k]) << ad.PhysicalFile;
    EXPECT_EQ(ad.MD5, MD5_Of_Text(banners[k]));
  }
  EXPECT_EQ(host.shown, std::vector<std::string>{checker.MyAds[0].PhysicalFile});

  // The installer the server signed is kept, executable, and runs once the program moved aside.
  ASSERT_EQ(checker.NEW_VERSION_AVAILABLE, "1.3.1");
  ASSERT_EQ(Installers().size(), 1u);
  struct stat info {};
  ASSERT_EQ(::stat(checker.NEW_UPGRADE_FILE.c_str(), &info), 0) << checker.NEW_UPGRADE_FILE;
  EXPECT_EQ(info.st_mode & 07777, 0755u);
  EXPECT_EQ(checker.Start_Upgrade(program_), Update_Checker::Upgrade::Started);
  ASSERT_TRUE(Appears(marker_, 10000));
  EXPECT_TRUE(Started_From_Descriptor(Read_Whole_File(marker_))) << "the installer ran from its descriptor";

  // The next start of an up-to-date program finds both banners cached and shows the news page.
  settings.version3 = "1.3.1";
  const ino_t cached = Inode_Of(checker.MyAds[0].PhysicalFile);
  Fake_Update_Host next_host;
  Update_Checker next(next_host);
  Check_Report again;
  next.Check_New_Version(settings, &again);
  for (std::size_t k = 0; k < 2; ++k) EXPECT_TRUE(Line_Says(again.ads, k, "already cached")) << k;
  EXPECT_EQ(Inode_Of(next.MyAds[0].PhysicalFile), cached) << "a cached banner is not written again";
  EXPECT_EQ(next_host.pages, std::vector<std::string>{"news/index.html"});

  // A click opens the ad's click address; the server counts it and leads to the target.
  next.Image1Click();
  ASSERT_EQ(next_host.opened.size(), 1u);
  const std::string prefix = "http://" + server.host();
  ASSERT_EQ(next_host.opened[0].rfind(prefix + "/adclick.php?", 0), 0u) << next_host.opened[0];
  auto browser = server.Client();
  auto click = browser->Get(next_host.opened[0].substr(prefix.size()));
  ASSERT_TRUE(click);
  EXPECT_EQ(click->status, 302);
  EXPECT_EQ(click->get_header_value("Location"), "https://ads.example/one");
  EXPECT_EQ(server.server().Store().Ad_Counters("1").clicks, 1);
}

// The server signs with its own key the statement of each installer for its platform; a
// program built with another key, or for another platform, keeps nothing and runs nothing,
// and goes on with its banners.
TEST_P(Program_Version_Test, AnInstallerSignedByAKeyTheProgramDoesNotTrustIsNeitherKeptNorRun) {
  Test_Server& server = Start();
  const Test_Key other;
  Update_Settings another_platform = Settings(server, Server_Public_Key());
  another_platform.platform = "linux-riscv64";
  for (const Update_Settings& settings : {Settings(server, other.public_key), another_platform}) {
    SCOPED_TRACE(settings.platform);
    Fake_Update_Host host;
    Update_Checker checker(host);
    checker.Check_New_Version(settings);
    EXPECT_EQ(checker.NEW_VERSION_AVAILABLE, "");
    EXPECT_EQ(checker.NEW_UPGRADE_FILE, "");
    EXPECT_TRUE(host.Logged("Error downloading upgrade file"));
    EXPECT_TRUE(Installers().empty());
    EXPECT_EQ(checker.Start_Upgrade(program_), Update_Checker::Upgrade::None);
    EXPECT_TRUE(std::filesystem::exists(program_));
    QThread::msleep(100);
    EXPECT_FALSE(std::filesystem::exists(marker_));
    EXPECT_EQ(checker.MyAds[0].Active, "1");
    EXPECT_TRUE(host.banner_visible);
  }
}

INSTANTIATE_TEST_SUITE_P(Databases, Program_Version_Test, testing::Values(Backend::kSqlite), Backend_Name);
