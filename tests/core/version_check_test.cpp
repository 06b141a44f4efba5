// The version check against a loopback results server: the request exactly as the server must
// see it, which versions count as newer and which answers are refused, the news, the limits of
// the answer, and the controls that always come back when nothing else claims them.
#include <gtest/gtest.h>

#include <filesystem>

#include "update_fixture.h"

namespace {

const char kInstallerPath[] = "/files/setup.run";

// An answer offering version with the news page and one installer entry signed by key.
std::string Offer(const std::string& version, const std::string& installer, const Test_Key& key) {
  return "[VERSION]" + version + "[/VERSION][MESSAGES]news.php[/MESSAGES][RELEASENOTES]Faster.[/RELEASENOTES][BR]" +
         Installer_Entry(kInstallerPath, installer, key.Sign_Statement(installer, version), MD5_Of_Text(installer)) +
         "[BR]";
}

}  // namespace

TEST(VersionCheck, AsksWithTheProgramsVersionAndIdentifierAndNoCache) {
  Loopback_Server server(Loopback_Server::Serve({{"/program_version3.php", "[VERSION]1.3.0[/VERSION]"}}));
  Scratch_Folder scratch;
  Test_Key key;
  Fake_Update_Host host;
  Update_Checker checker(host);
  checker.Check_New_Version(Test_Settings(scratch, server, key.public_key));
  const auto requests = server.Requests();
  ASSERT_EQ(requests.size(), 1u);
  EXPECT_EQ(requests[0], "GET /program_version3.php?Id=1&Upgrade=1&Ver=1.3.0.26&CompId=20230426153012345 HTTP/1.1\r\n"
                         "Host: " + server.host() + "\r\n"
                         "Pragma: no-cache\r\n\r\n");
  EXPECT_EQ(host.loading_texts, std::vector<std::string>{"Checking for new version..."});
  EXPECT_EQ(host.loading, "") << "the loading panel is hidden at the end";
  EXPECT_EQ(host.status, "");
}

TEST(VersionCheck, TheIdentifierAndVersionGoIntoEveryAddressPercentEncoded) {
  Loopback_Server server(Loopback_Server::Serve({{"/program_version3.php", "[ADS]1,/ads/1.png,[/ADS]"}}));
  Scratch_Folder scratch;
  Test_Key key;
  Fake_Update_Host host;
  Update_Checker checker(host);
  Update_Settings settings = Test_Settings(scratch, server, key.public_key);
  settings.computer_id = "id with blank&Ver=9";
  checker.Check_New_Version(settings);
  ASSERT_FALSE(server.Requests().empty()) << "a blank no longer stops the check";
  EXPECT_EQ(Loopback_Server::Target(server.Requests()[0]),
            "/program_version3.php?Id=1&Upgrade=1&Ver=1.3.0.26&CompId=id%20with%20blank%26Ver%3D9");
  EXPECT_EQ(checker.MyAds[0].Link,
            "http://" + server.host() + "/adclick.php?Id=1&Ver=1.3.0.26&CompId=id%20with%20blank%26Ver%3D9");
  EXPECT_EQ(checker.MyAds[0].View,
            "http://" + server.host() + "/adview.php?Id=1&Ver=1.3.0.26&CompId=id%20with%20blank%26Ver%3D9");
}

TEST(VersionCheck, OnlyAGreaterVersionNumberIsNewer) {
  struct Case {
    const char* offered;
    bool newer;
  };
  // The program is 1.3.0.26 and compares its three-part version, number by number.
  const Case cases[] = {{"1.3.1", true},  {"1.3.0", false}, {"1.10.0", true}, {"", false},     {"1.3.0.1", true},
                        {"1.3", false},   {"0.9.9", false}, {"1.2.99", false}, {"01.3.1", true}, {"2", true}};
  const std::string installer = "#!/bin/sh\nexit 0\n";
  for (const Case& c : cases) {
    SCOPED_TRACE(c.offered);
    Test_Key key;
    Loopback_Server server(Loopback_Server::Serve(
        {{"/program_version3.php", Offer(c.offered, installer, key)}, {kInstallerPath, installer}}));
    Scratch_Folder scratch;
    Fake_Update_Host host;
    Update_Checker checker(host);
    const Update_Settings settings = Test_Settings(scratch, server, key.public_key);
    checker.Check_New_Version(settings);

    const auto installers = Files_Beginning(settings.program_folder, "_Quillorane");
    if (c.newer) {
      EXPECT_EQ(checker.NEW_VERSION_AVAILABLE, c.offered);
      EXPECT_EQ(checker.NEW_UPGRADE_MD5, MD5_Of_Text(installer));
      ASSERT_EQ(installers.size(), 1u);
      EXPECT_EQ(checker.NEW_UPGRADE_FILE, settings.program_folder + installers[0]);
      EXPECT_EQ(installers[0].substr(installers[0].size() - 4), ".run");
      EXPECT_EQ(std::filesystem::status(checker.NEW_UPGRADE_FILE).permissions() & std::filesystem::perms::all,
                std::filesystem::perms(0755));
      EXPECT_TRUE(host.Logged(std::string("New Version Available:") + c.offered));
      EXPECT_TRUE(host.pages.empty()) << "no news while an upgrade is due";
      EXPECT_FALSE(host.enabled) << "the upgrade follows; nothing is to be started meanwhile";
    } else {
      EXPECT_EQ(checker.NEW_VERSION_AVAILABLE, "");
      EXPECT_TRUE(installers.empty());
      EXPECT_EQ(server.Requests().size(), 1u) << "no installer fetched";
      EXPECT_EQ(host.pages, std::vector<std::string>{"news.php"});
      EXPECT_FALSE(host.enabled) << "the news keeps the controls until it is closed";
    }
    EXPECT_TRUE(host.timer_started);
  }
}

TEST(VersionCheck, AnAnswerWhoseVersionIsNotAVersionIsRefusedWhole) {
  const std::string installer = "#!/bin/sh\nexit 0\n";
  const std::string not_versions[] = {"1.0.0 ", std::string("1.0.0\0", 6), "A", "[", "[VERSION]9.9.9",
                                      " 1.4",   "1..4",                      "-1", "1.2.3.4.5", "1234567890"};
  for (const std::string& offered : not_versions) {
    SCOPED_TRACE(offered);
    Test_Key key;
    const std::string ads = "[ADS]1,/ads/1.png," + MD5_Of_Text(Banner_Bytes("1")) + "[/ADS]";
    Loopback_Server server(Loopback_Server::Serve({{"/program_version3.php", Offer(offered, installer, key) + ads},
                                                   {kInstallerPath, installer},
                                                   {"/ads/1.png", Banner_Bytes("1")}}));
    Scratch_Folder scratch;
    Fake_Update_Host host;
    Update_Checker checker(host);
    Check_Report report;
    checker.Check_New_Version(Test_Settings(scratch, server, key.public_key), &report);
    EXPECT_EQ(server.Requests().size(), 1u) << "neither banner nor installer fetched";
    EXPECT_EQ(checker.NEW_VERSION_AVAILABLE, "");
    EXPECT_TRUE(host.pages.empty()) << "not even the news";
    EXPECT_EQ(checker.MyAds[0].Active, "");
    EXPECT_EQ(report.refused, "[VERSION] \"" + offered + "\" is not a version");
    EXPECT_TRUE(host.Logged("Version answer refused: " + report.refused));
    EXPECT_TRUE(host.enabled);
    EXPECT_TRUE(host.timer_started);
  }
}

TEST(VersionCheck, NoAnswerNoTagsOrOfflineEndWithTheControlsEnabled) {
  struct Case {
    const char* what;
    bool offline;
    bool reachable;
    const char* answer;
  };
  const Case cases[] = {{"tags missing", false, true, "<html>Service moved</html>"},
                        {"empty answer", false, true, ""},
                        {"unreachable", false, false, ""},
                        {"offline", true, true, "[VERSION]9.9.9[/VERSION]"}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Loopback_Server server(Loopback_Server::Serve({{"/program_version3.php", c.answer}}));
    Scratch_Folder scratch;
    Test_Key key;
    Fake_Update_Host host;
    Update_Checker checker(host);
    checker.MyAds[0].Active = "0";
    Update_Settings settings = Test_Settings(scratch, server, key.public_key);
    settings.offline = c.offline;
    if (!c.reachable) settings.server_host = "127.0.0.1:1";
    checker.Check_New_Version(settings);
    EXPECT_TRUE(host.enabled);
    EXPECT_EQ(host.loading, "");
    EXPECT_TRUE(host.pages.empty());
    EXPECT_EQ(checker.NEW_VERSION_AVAILABLE, "");
    EXPECT_FALSE(host.banner_visible) << "no active ad: the banner is hidden";
    EXPECT_TRUE(host.timer_started);
    if (c.offline) {
      EXPECT_TRUE(server.Requests().empty());
      EXPECT_TRUE(host.loading_texts.empty()) << "offline: not even the wait is shown";
    }
  }
}

TEST(VersionCheck, ANewerVersionWhoseInstallerFailsLeavesTheControlsEnabled) {
  const std::string installer = "#!/bin/sh\nexit 0\n";
  Test_Key key, stranger;
  // Signed by another key: the download fails, no upgrade is recorded and, as designed, the
  // news is not shown either.
  Loopback_Server server(Loopback_Server::Serve(
      {{"/program_version3.php", Offer("1.4.0", installer, stranger)}, {kInstallerPath, installer}}));
  Scratch_Folder scratch;
  Fake_Update_Host host;
  Update_Checker checker(host);
  checker.Check_New_Version(Test_Settings(scratch, server, key.public_key));
  EXPECT_EQ(checker.NEW_VERSION_AVAILABLE, "");
  EXPECT_TRUE(host.Logged("Error downloading upgrade file"));
  EXPECT_TRUE(host.pages.empty());
  EXPECT_TRUE(host.enabled) << "the user can always benchmark";
}

TEST(VersionCheck, AnAnswerBeyondItsLimitsIsAnErrorAfterThePanelsArePutRight) {
  std::string twelve_ads = "[ADS]";
  for (int k = 0; k < 12; ++k) twelve_ads += std::to_string(k) + ",/ads/" + std::to_string(k) + ".png,[BR]";
  twelve_ads.resize(twelve_ads.size() - 4);
  twelve_ads += "[/ADS]";
  std::string many_pieces;
  for (int k = 0; k < 51; ++k) many_pieces += "[BR]";
  const std::string answers[] = {
      twelve_ads,
      "[ADS]1,/a.png,,4,5,6,7,8,9,10,11,12[/ADS]",
      "[VERSION]1.0.0[/VERSION]" + many_pieces,
      "[VERSION]2.0.0[/VERSION][FILE]/s.run[/FILE][SIZE]12x[/SIZE][MD5]00[/MD5][TARGETFILE]p[/TARGETFILE]",
  };
  for (const std::string& answer : answers) {
    SCOPED_TRACE(answer);
    const std::string with_news = answer + "[MESSAGES]news.php[/MESSAGES]";
    Loopback_Server server(Loopback_Server::Serve({{"/program_version3.php", with_news}}));
    Scratch_Folder scratch;
    Test_Key key;
    Fake_Update_Host host;
    Update_Checker checker(host);
    EXPECT_ANY_THROW(checker.Check_New_Version(Test_Settings(scratch, server, key.public_key)));
    EXPECT_EQ(host.loading, "");
    EXPECT_EQ(host.status, "");
    EXPECT_TRUE(host.enabled) << "the news was never shown";
    EXPECT_FALSE(host.timer_started) << "no banner, no timer";
  }
}
