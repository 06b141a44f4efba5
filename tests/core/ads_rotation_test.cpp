// The banner rotation and the click: the active ad shown least often comes next, an ad whose
// banner cannot be shown leaves the rotation without an error, a banner hidden for want of ads
// comes back, and a click opens the ad on the banner.
#include <gtest/gtest.h>

#include <algorithm>

#include "update_fixture.h"

namespace {

// A checker whose ads 0.. are active as pattern says ('1' active, '0' not), each with a
// banner file in scratch.
struct Rotation {
  explicit Rotation(const std::string& pattern) : checker(host) {
    for (std::size_t k = 0; k < pattern.size(); ++k) {
      TMyAds& ad = checker.MyAds[k];
      ad.Number = std::to_string(10 + k);
      ad.Link = "http://results.test/adclick.php?Id=" + ad.Number;
      ad.PhysicalFile = scratch.Make_File(ad.Number + ".png");
      std::ofstream(ad.PhysicalFile) << Banner_Bytes(ad.Number);
      ad.Active = std::string(1, pattern[k]);
    }
  }
  // The indexes of the banners shown by count calls.
  std::vector<int> Show(int count) {
    std::vector<int> indexes;
    for (int i = 0; i < count; ++i) {
      const std::size_t before = host.shown.size();
      checker.Display_Ads();
      if (host.shown.size() == before) continue;
      for (int k = 0; k <= kLastAd; ++k)
        if (checker.MyAds[k].PhysicalFile == host.shown.back()) indexes.push_back(k);
    }
    return indexes;
  }

  Scratch_Folder scratch;
  Fake_Update_Host host;
  Update_Checker checker;
};

}  // namespace

TEST(AdsRotation, TheActiveAdShownLeastOftenComesNext) {
  struct Case {
    const char* active;
    std::vector<int> shown;
  };
  const Case cases[] = {{"111", {0, 1, 2, 0, 1, 2}}, {"101", {0, 2, 0, 2, 0, 2}}, {"011", {1, 2, 1, 2, 1, 2}}};
  for (const Case& c : cases) {
    Rotation rotation(c.active);
    EXPECT_EQ(rotation.Show(6), c.shown) << c.active;
    const TMyAds& last = rotation.checker.MyAds[static_cast<std::size_t>(c.shown.back())];
    EXPECT_EQ(last.Displayed, "1");
    EXPECT_EQ(last.Impressions, std::count(c.shown.begin(), c.shown.end(), c.shown.back()));
  }
}

TEST(AdsRotation, ABannerThatCannotBeShownLeavesTheRotationWithOneLogLine) {
  Rotation rotation("111");
  std::ofstream(rotation.checker.MyAds[0].PhysicalFile, std::ios::trunc) << "\x89PNG broken";
  std::filesystem::remove(rotation.checker.MyAds[2].PhysicalFile);
  EXPECT_EQ(rotation.Show(4), (std::vector<int>{1, 1, 1, 1})) << "no tick without a banner";
  EXPECT_EQ(rotation.checker.MyAds[0].Active, "0");
  EXPECT_EQ(rotation.checker.MyAds[2].Active, "0");
  EXPECT_EQ(rotation.checker.MyAds[0].Impressions, 0);
  EXPECT_EQ(rotation.host.log.size(), 2u) << "each logged once, never again at a later tick";
}

TEST(AdsRotation, AHiddenBannerComesBackWhenAnAdIsChosen) {
  Rotation rotation("00");
  rotation.checker.Display_Ads();
  EXPECT_FALSE(rotation.host.banner_visible);
  rotation.checker.MyAds[1].Active = std::string(1, '1');
  rotation.checker.Display_Ads();
  EXPECT_TRUE(rotation.host.banner_visible);
  EXPECT_EQ(rotation.checker.MyAds[1].Displayed, "1");
}

TEST(AdsRotation, AClickOpensTheAdOnTheBannerAndCountsIt) {
  Rotation rotation("111");
  rotation.checker.Image1Click();
  EXPECT_TRUE(rotation.host.opened.empty()) << "no banner chosen yet";

  rotation.Show(2);
  rotation.checker.Image1Click();
  EXPECT_EQ(rotation.host.opened, std::vector<std::string>{"http://results.test/adclick.php?Id=11"});
  EXPECT_EQ(rotation.checker.MyAds[1].Clicks, 1);

  rotation.host.open_succeeds = false;
  rotation.checker.Image1Click();
  EXPECT_EQ(rotation.checker.MyAds[1].Clicks, 1) << "not counted when nothing was opened";

  // The ad on the banner is taken out by a later check: the next banner's click is its own.
  rotation.checker.MyAds[1].Active = std::string(1, '0');
  rotation.host.open_succeeds = true;
  rotation.Show(1);
  rotation.checker.Image1Click();
  EXPECT_EQ(rotation.host.opened.back(), "http://results.test/adclick.php?Id=12");
  EXPECT_EQ(rotation.checker.MyAds[2].Clicks, 1);
}

// A check made by another checker (the window's, made on a worker) is taken whole, its
// table and upgrade state, while the impressions and clicks counted meanwhile by the
// rotation on screen stay.
TEST(AdsRotation, ACheckTakenFromAnotherCheckerKeepsTheCountsMadeMeanwhile) {
  Rotation shown("11");
  shown.Show(3);  // ad 0 twice, ad 1 once
  ++shown.checker.MyAds[1].Clicks;
  Fake_Update_Host other_host;
  Update_Checker fetched(other_host);
  fetched.MyAds = shown.checker.MyAds;
  fetched.MyAds[1].Active = "0";  // its banner no longer matched
  fetched.MyAds[2] = fetched.MyAds[0];
  fetched.MyAds[2].Number = "12";
  fetched.MyAds[2].Impressions = 0;
  fetched.MyAds[2].PhysicalFile = shown.scratch.Make_File("12.png");
  std::ofstream(fetched.MyAds[2].PhysicalFile) << Banner_Bytes("12");
  fetched.NEW_VERSION_AVAILABLE = "1.4.0";
  fetched.NEW_UPGRADE_FILE = "/opt/platterscope/_Quillorane123.run";

  shown.checker.Take_Check(fetched);
  const auto& ads = shown.checker.MyAds;
  EXPECT_EQ(ads[0].Impressions, 2);
  EXPECT_EQ(ads[1].Impressions, 1);
  EXPECT_EQ(ads[1].Clicks, 1);
  EXPECT_EQ(ads[1].Active, "0");
  EXPECT_EQ(ads[2].Number, "12");
  EXPECT_EQ(ads[2].Impressions, 0);
  EXPECT_EQ(shown.checker.NEW_VERSION_AVAILABLE, "1.4.0");
  EXPECT_EQ(shown.checker.NEW_UPGRADE_FILE, "/opt/platterscope/_Quillorane123.run");
  EXPECT_EQ(shown.Show(2), (std::vector<int>{2, 2})) << "the new ad, shown least, comes next";
}
