// The advertisement table filled by the version check: entries and their addresses, banners
// cached whole and fetched only when their digest changed, and server texts that never become
// a path outside the banner folder.
#include <gtest/gtest.h>

#include <filesystem>

#include "update_fixture.h"

namespace {

const std::string kBannerA = "banner A";
const std::string kBannerB = "banner B";

struct Ads_Run {
  Ads_Run(const std::string& ads, std::map<std::string, std::string> files)
      : server(Loopback_Server::Serve(Add_Answer(ads, std::move(files)))),
        settings(Test_Settings(scratch, server, key.public_key)), checker(host) {}

  using Bodies = std::map<std::string, std::string>;
  static Bodies Add_Answer(const std::string& ads, Bodies files) {
    files["/program_version3.php"] = "[VERSION]1.3.0[/VERSION][ADS]" + ads + "[/ADS]";
    return files;
  }
  void Check() { checker.Check_New_Version(settings); }
  // The paths the server was asked for after the version check itself.
  std::vector<std::string> Fetched() const {
    std::vector<std::string> paths;
    for (const std::string& request : server.Requests()) {
      const std::string target = Loopback_Server::Target(request);
      if (target.rfind("/program_version3.php", 0) != 0) paths.push_back(target);
    }
    return paths;
  }

  Scratch_Folder scratch;
  Test_Key key;
  Loopback_Server server;
  Update_Settings settings;
  Fake_Update_Host host;
  Update_Checker checker;
};

}  // namespace

TEST(AdsCache, TwoEntriesFillTheTableAndATrailingSeparatorAnEmptyEntryThatIsNeverFetched) {
  Ads_Run run("7,/ads/seven.jpeg," + MD5_Of_Text(kBannerA) + ",extra[BR]8,/ads/eight.png," + MD5_Of_Text(kBannerB) +
                  "[BR]",
              {{"/ads/seven.jpeg", kBannerA}, {"/ads/eight.png", kBannerB}});
  run.Check();
  const std::string& folder = run.settings.ads_folder;
  const TMyAds& first = run.checker.MyAds[0];
  EXPECT_EQ(first.Number, "7");
  EXPECT_EQ(first.ImageLink, "/ads/seven.jpeg");
  EXPECT_EQ(first.MD5, MD5_Of_Text(kBannerA));
  EXPECT_EQ(first.PhysicalFile, folder + "7jpeg") << "the last four characters, no dot before jpeg";
  EXPECT_EQ(first.Link, "http://" + run.server.host() + "/adclick.php?Id=7&Ver=1.3.0.26&CompId=20230426153012345");
  EXPECT_EQ(first.View, "http://" + run.server.host() + "/adview.php?Id=7&Ver=1.3.0.26&CompId=20230426153012345");
  EXPECT_EQ(first.Active, "1");
  EXPECT_EQ(Read_Whole_File(first.PhysicalFile), kBannerA);
  EXPECT_EQ(run.checker.MyAds[1].PhysicalFile, folder + "8.png");
  EXPECT_EQ(run.checker.MyAds[1].Active, "1");

  // The empty entry names no file: it is filled, fetched from nowhere and never shown.
  const TMyAds& empty = run.checker.MyAds[2];
  EXPECT_EQ(empty.Number, "");
  EXPECT_EQ(empty.PhysicalFile, folder);
  EXPECT_EQ(empty.Link, "http://" + run.server.host() + "/adclick.php?Id=&Ver=1.3.0.26&CompId=20230426153012345");
  EXPECT_EQ(empty.Active, "0");
  EXPECT_EQ(run.checker.MyAds[3].Active, "") << "entries the check does not reach stay empty";
  EXPECT_EQ(run.Fetched(), (std::vector<std::string>{"/ads/seven.jpeg", "/ads/eight.png"}));
  EXPECT_EQ(run.host.shown, std::vector<std::string>{first.PhysicalFile}) << "the first banner is shown at the end";
  // The folder holds the banners and nothing half-written.
  EXPECT_EQ(Files_Beginning(folder, ".").size(), 0u);
  EXPECT_EQ(std::filesystem::status(folder).permissions() & std::filesystem::perms::all, std::filesystem::perms(0700));
}

TEST(AdsCache, ABannerWhoseDigestStillMatchesIsNotFetchedAgain) {
  Ads_Run run("1,/ads/1.png," + MD5_Of_Text(kBannerA), {{"/ads/1.png", kBannerA}});
  run.Check();
  run.Check();
  EXPECT_EQ(run.Fetched(), std::vector<std::string>{"/ads/1.png"}) << "the second check finds it cached";
  EXPECT_EQ(run.checker.MyAds[0].Active, "1");

  // A cached file that no longer matches is fetched again and replaced whole.
  std::ofstream(run.checker.MyAds[0].PhysicalFile, std::ios::trunc) << "banner, stale";
  run.Check();
  EXPECT_EQ(run.Fetched().size(), 2u);
  EXPECT_EQ(Read_Whole_File(run.checker.MyAds[0].PhysicalFile), kBannerA);
}

TEST(AdsCache, ABannerThatCannotBeFetchedOrMatchedIsInactive) {
  Ads_Run run("1,/ads/missing.png," + MD5_Of_Text(kBannerA) + "[BR]2,/ads/wrong.png," + MD5_Of_Text(kBannerA) +
                  "[BR]3,/ads/3.png," + MD5_Of_Text(kBannerB),
              {{"/ads/wrong.png", "banner, but another"}, {"/ads/3.png", kBannerB}});
  run.Check();
  EXPECT_EQ(run.checker.MyAds[0].Active, "0");
  EXPECT_EQ(run.checker.MyAds[1].Active, "0");
  EXPECT_EQ(run.checker.MyAds[2].Active, "1");
  EXPECT_FALSE(std::filesystem::exists(run.checker.MyAds[1].PhysicalFile)) << "a mismatching banner is not kept";
  EXPECT_EQ(Files_Beginning(run.settings.ads_folder, ".").size(), 0u);
  EXPECT_EQ(run.host.shown, std::vector<std::string>{run.checker.MyAds[2].PhysicalFile});
}

TEST(AdsCache, ServerTextNeverBecomesAPathOutsideTheBannerFolder) {
  // Numbers that climb out of the folder or into a sub-folder, a name of "..", and an image
  // path that would send the download to another host; all with the banner's true digest.
  const std::string md5 = MD5_Of_Text("banner X");
  Ads_Run run("../../victim,/ads/x.png," + md5 + "[BR]sub/x,/ads/x.png," + md5 + "[BR],..," + md5 +
                  "[BR]4,@127.0.0.1:1/ads/x.png," + md5 + "[BR]5,/ads/x.png," + md5,
              {{"/ads/x.png", "banner X"}, {"..", "banner X"}});
  std::filesystem::create_directories(run.scratch / "cache/Quillorane/ADS/sub");
  run.Check();
  for (int k = 0; k < 4; ++k) EXPECT_EQ(run.checker.MyAds[k].Active, "0") << k;
  EXPECT_EQ(run.checker.MyAds[4].Active, "1");
  EXPECT_EQ(run.Fetched(), std::vector<std::string>{"/ads/x.png"}) << "only the plain entry is fetched";
  EXPECT_FALSE(std::filesystem::exists(run.scratch / "cache/victim.png"));
  EXPECT_TRUE(std::filesystem::is_empty(run.scratch / "cache/Quillorane/ADS/sub"));
  EXPECT_EQ(std::count_if(run.host.log.begin(), run.host.log.end(),
                          [](const std::string& line) { return line.find("\" ignored: ") != std::string::npos; }),
            4);
}

TEST(AdsCache, ABannerFolderOthersCanChangeIsNotUsed) {
  Ads_Run run("1,/ads/1.png," + MD5_Of_Text(kBannerA), {{"/ads/1.png", kBannerA}});
  std::filesystem::create_directories(run.settings.ads_folder);
  ::chmod(run.settings.ads_folder.c_str(), 0777);
  run.Check();
  EXPECT_EQ(run.checker.MyAds[0].Active, "");
  EXPECT_TRUE(run.Fetched().empty());
  EXPECT_TRUE(run.host.enabled);
}
