// The advertisement table filled by the version check: entries and their addresses, banners
// cached whole and fetched only when their digest changed, and server texts that never become
// a path outside the banner folder.
#include <gtest/gtest.h>

#include <filesystem>

#include "update_fixture.h"

namespace {

const std::string kBannerA = Banner_Bytes("A");
const std::string kBannerB = Banner_Bytes("B");

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
  std::ofstream(run.checker.MyAds[0].PhysicalFile, std::ios::trunc) << Banner_Bytes("stale");
  run.Check();
  EXPECT_EQ(run.Fetched().size(), 2u);
  EXPECT_EQ(Read_Whole_File(run.checker.MyAds[0].PhysicalFile), kBannerA);
}

TEST(AdsCache, ABannerThatCannotBeFetchedOrMatchedIsInactive) {
  Ads_Run run("1,/ads/missing.png," + MD5_Of_Text(kBannerA) + "[BR]2,/ads/wrong.png," + MD5_Of_Text(kBannerA) +
                  "[BR]3,/ads/3.png," + MD5_Of_Text(kBannerB),
              {{"/ads/wrong.png", Banner_Bytes("another")}, {"/ads/3.png", kBannerB}});
  run.Check();
  EXPECT_EQ(run.checker.MyAds[0].Active, "0");
  EXPECT_EQ(run.checker.MyAds[1].Active, "0");
  EXPECT_EQ(run.checker.MyAds[2].Active, "1");
  EXPECT_FALSE(std::filesystem::exists(run.checker.MyAds[1].PhysicalFile)) << "a mismatching banner is not kept";
  EXPECT_EQ(Files_Beginning(run.settings.ads_folder, ".").size(), 0u);
  EXPECT_EQ(run.host.shown, std::vector<std::string>{run.checker.MyAds[2].PhysicalFile});
}

TEST(AdsCache, ServerTextNeverBecomesAPathOutsideTheBannerFolder) {
  // Numbers that climb out of the folder or into a sub-folder, a name of "..", and image paths
  // that would send the download to another host; all with the banner's true digest.
  const std::string x = Banner_Bytes("X");
  const std::string md5 = MD5_Of_Text(x);
  Ads_Run run("../../victim,/ads/x.png," + md5 + "[BR]sub/x,/ads/x.png," + md5 + "[BR],..," + md5 +
                  "[BR]4,//127.0.0.1:1/ads/x.png," + md5 + "[BR]5,/\\127.0.0.1:1/ads/x.png," + md5 +
                  "[BR]6,/ads/x.png," + md5,
              {{"/ads/x.png", x}, {"..", x}});
  std::filesystem::create_directories(run.scratch / "cache/Quillorane/ADS/sub");
  run.Check();
  for (int k = 0; k < 5; ++k) EXPECT_EQ(run.checker.MyAds[k].Active, "0") << k;
  EXPECT_EQ(run.checker.MyAds[5].Active, "1");
  EXPECT_EQ(run.Fetched(), std::vector<std::string>{"/ads/x.png"}) << "only the plain entry is fetched";
  EXPECT_FALSE(std::filesystem::exists(run.scratch / "cache/victim.png"));
  EXPECT_TRUE(std::filesystem::is_empty(run.scratch / "cache/Quillorane/ADS/sub"));
  EXPECT_EQ(std::count_if(run.host.log.begin(), run.host.log.end(),
                          [](const std::string& line) { return line.find("\" ignored: ") != std::string::npos; }),
            5);
}

// A path without its leading "/" is a path from the server's root, as the server may write it;
// "@host" then stays in the path, on the results server.
TEST(AdsCache, AnImagePathWithoutItsLeadingSlashIsTakenFromTheServersRoot) {
  Ads_Run run("1,ads/1.png," + MD5_Of_Text(kBannerA) + "[BR]2,@127.0.0.1:1/ads/1.png," + MD5_Of_Text(kBannerA),
              {{"/ads/1.png", kBannerA}, {"/@127.0.0.1:1/ads/1.png", kBannerA}});
  run.Check();
  EXPECT_EQ(run.checker.MyAds[0].Active, "1");
  EXPECT_EQ(run.checker.MyAds[1].Active, "1");
  EXPECT_EQ(run.Fetched(), (std::vector<std::string>{"/ads/1.png", "/@127.0.0.1:1/ads/1.png"}));
}

// Whatever the decoders on the machine could read, a banner is a PNG, JPEG, GIF or BMP picture
// by its first bytes: no SVG (scripts, outside references), no other format.
TEST(AdsCache, OnlyAPictureOfTheFourFormatsBecomesABanner) {
  const std::string svg = "<svg xmlns=\"http://www.w3.org/2000/svg\"><script>alert(1)</script></svg>";
  const std::string pictures[] = {"\x89PNG\r\n\x1a\n rest", "\xff\xd8\xff\xe0 rest", "GIF87a rest", "BM rest"};
  std::string ads, not_pictures;
  std::map<std::string, std::string> files{{"/ads/svg.png", svg}, {"/ads/text.png", "PNG but text"}};
  for (std::size_t k = 0; k < 4; ++k) {
    files["/ads/" + std::to_string(k) + ".png"] = pictures[k];
    ads += std::to_string(k) + ",/ads/" + std::to_string(k) + ".png," + MD5_Of_Text(pictures[k]) + "[BR]";
  }
  ads += "4,/ads/svg.png," + MD5_Of_Text(svg) + "[BR]5,/ads/text.png," + MD5_Of_Text("PNG but text");
  Ads_Run run(ads, files);
  run.Check();
  for (int k = 0; k < 4; ++k) EXPECT_EQ(Read_Whole_File(run.checker.MyAds[k].PhysicalFile), pictures[k]) << k;
  for (int k = 4; k < 6; ++k) {
    EXPECT_EQ(run.checker.MyAds[k].Active, "0") << k;
    EXPECT_FALSE(std::filesystem::exists(run.checker.MyAds[k].PhysicalFile)) << "not kept in the cache";
  }
  EXPECT_TRUE(run.host.Logged("Advertisement \"4\" ignored: it is not a PNG, JPEG, GIF or BMP picture"));
  // One already in the cache, with its digest announced, does not count as cached either.
  std::ofstream(run.settings.ads_folder + "7.png") << svg;
  Ads_Run cached("7,/ads/svg.png," + MD5_Of_Text(svg), {{"/ads/svg.png", svg}});
  cached.settings.ads_folder = run.settings.ads_folder;
  cached.Check();
  EXPECT_EQ(cached.checker.MyAds[0].Active, "0");
  EXPECT_TRUE(cached.host.Logged("Advertisement \"7\" ignored: it is not a PNG, JPEG, GIF or BMP picture"));
}

// A number with a control character could forge log lines and file names.
TEST(AdsCache, AnAdNumberWithAControlCharacterIsRefused) {
  Ads_Run run("1\n2,/ads/1.png," + MD5_Of_Text(kBannerA) + "[BR]3\x7f,/ads/1.png," + MD5_Of_Text(kBannerA),
              {{"/ads/1.png", kBannerA}});
  run.Check();
  EXPECT_EQ(run.checker.MyAds[0].Active, "0");
  EXPECT_EQ(run.checker.MyAds[1].Active, "0");
  EXPECT_TRUE(run.Fetched().empty());
  EXPECT_TRUE(run.host.Logged("Advertisement \"1\n2\" ignored: its number holds a control character"));
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
