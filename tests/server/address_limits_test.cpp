// Limits per client address: reports in an hour, ad clicks and views counted once an hour.
// Loopback addresses 127.0.0.2 and up stand in for other clients.
#include "server_fixture.h"

#include "server/address_limits.h"

namespace {

Raw_Answer Post_Raw(int port, const Upload& upload, const std::string& from, const std::string& forwarded_for = "") {
  const std::string forwarded = forwarded_for.empty() ? "" : "\r\nX-Forwarded-For: " + forwarded_for;
  const std::string request = "POST /uploadresults2.php?Ver=1.0.0.1&CompId=1 HTTP/1.1\r\nHost: 127.0.0.1:" +
                              std::to_string(port) + forwarded + "\r\nContent-Type: " + upload.content_type +
                              "\r\nContent-Length: " + std::to_string(upload.body.size()) +
                              "\r\nConnection: close\r\n\r\n" + upload.body;
  return Raw_Exchange(port, request, std::chrono::seconds(10), from);
}

std::string Body_Of(const Raw_Answer& raw) {
  const auto body = raw.text.find("\r\n\r\n");
  return body == std::string::npos ? std::string() : raw.text.substr(body + 4);
}

}  // namespace

TEST(AddressLimits, AddressesCountByClientAndIpv6ByItsNetwork) {
  const std::pair<std::string, std::string> cases[] = {
      {"192.0.2.7", "192.0.2.7"},
      {"::ffff:192.0.2.7", "192.0.2.7"},
      {"2001:db8:1:2:3:4:5:6", "2001:0db8:0001:0002::/64"},
      {"2001:db8:1:2:ffff::1", "2001:0db8:0001:0002::/64"},
      {"2001:db8:1:3::1", "2001:0db8:0001:0003::/64"},
      {"not an address", "not an address"},
  };
  for (const auto& [address, key] : cases) EXPECT_EQ(Address_Key(address), key) << address;
}

TEST(AddressLimits, AWindowAllowsItsLimitThenTellsWhenToComeBack) {
  Window_Limit limit(3, 60000);
  for (int n = 0; n < 3; ++n) EXPECT_TRUE(limit.Take("a", 1000 + n).allowed);
  EXPECT_TRUE(limit.Check("b", 1000).allowed);
  const auto refused = limit.Take("a", 31000);
  EXPECT_FALSE(refused.allowed);
  EXPECT_EQ(refused.retry_after_s, 30);
  EXPECT_FALSE(limit.Check("a", 60999).allowed);
  EXPECT_TRUE(limit.Take("b", 31000).allowed) << "another address has its own window";
  EXPECT_TRUE(limit.Take("a", 61000).allowed) << "a new window";
  EXPECT_TRUE(Window_Limit(0, 60000).Take("a", 0).allowed) << "0 is no limit";

  // A full table drops its oldest window rather than refusing a newcomer.
  Window_Limit small(1, 60000, 2);
  EXPECT_TRUE(small.Take("a", 0).allowed);
  EXPECT_TRUE(small.Take("b", 1).allowed);
  EXPECT_FALSE(small.Take("b", 2).allowed);
  EXPECT_TRUE(small.Take("c", 3).allowed);
  EXPECT_FALSE(small.Take("b", 4).allowed) << "b's window is younger than a's and stays";
}

// Uploads that are no report do not count; past the limit a report is answered 429 without
// a verdict, so that the program keeps it queued, and other addresses go on.
TEST(AddressLimits, AnAddressSendsItsReportsForTheHourAndNoMore) {
  Test_Data_Folder data;
  data.Append_Config("reports_per_hour = 3");
  Test_Server server(data.path(), "");
  const Upload junk{"multipart/form-data; boundary=x", "junk"};
  for (int n = 0; n < 5; ++n) EXPECT_EQ(Body_Of(Post_Raw(server.port(), junk, "127.0.0.1")), "[RESULT]0[/RESULT]");
  for (int n = 0; n < 3; ++n)
    EXPECT_TRUE(Confirmed(Body_Of(Post_Raw(server.port(), Compose_Upload(Varied_Report(n), server.host()), "127.0.0.1"))));
  const Raw_Answer refused = Post_Raw(server.port(), Compose_Upload(Varied_Report(3), server.host()), "127.0.0.1");
  EXPECT_EQ(refused.text.rfind("HTTP/1.1 429", 0), 0u) << refused.text;
  EXPECT_NE(refused.text.find("Retry-After: 36"), std::string::npos) << "about an hour";
  EXPECT_EQ(refused.text.find("[RESULT]"), std::string::npos) << "no verdict at all";
  EXPECT_TRUE(Confirmed(Body_Of(Post_Raw(server.port(), Compose_Upload(Varied_Report(4), server.host()), "127.0.0.2"))));
  EXPECT_EQ(server.server().Store().Report_Count(), 4);
}

// Behind a trusted proxy each client counts by the address the proxy names; anyone else's
// X-Forwarded-For is not believed, so a forger cannot spread its reports over made-up addresses.
TEST(AddressLimits, BehindATrustedProxyReportsCountByTheForwardedAddress) {
  Test_Data_Folder data;
  data.Append_Config("reports_per_hour = 1\ntrusted_proxies = 127.0.0.1");
  Test_Server server(data.path(), "");
  const struct {
    const char* peer;
    const char* forwarded_for;
    bool confirmed;
  } cases[] = {
      {"127.0.0.1", "198.51.100.1", true},
      {"127.0.0.1", "198.51.100.2", true},
      {"127.0.0.1", "198.51.100.1", false},
      {"127.0.0.2", "198.51.100.3", true},
      {"127.0.0.2", "198.51.100.4", false},
  };
  int n = 0;
  for (const auto& c : cases) {
    const Raw_Answer answer = Post_Raw(server.port(), Compose_Upload(Varied_Report(n++), server.host()), c.peer, c.forwarded_for);
    EXPECT_EQ(Confirmed(Body_Of(answer)), c.confirmed) << c.peer << " for " << c.forwarded_for << ": " << answer.text;
    if (!c.confirmed) EXPECT_EQ(answer.text.rfind("HTTP/1.1 429", 0), 0u) << answer.text;
  }
  EXPECT_EQ(server.server().Store().Report_Count(), 3);
}

TEST(AddressLimits, AnAdsClicksAndViewsCountOnceAnHourPerAddress) {
  Test_Data_Folder data;
  data.Write("www/ads/b.png", "png");
  data.Append_Config("[ad]\nnumber = 5\nimage = ads/b.png\ntarget = https://ads.example/five\n");
  Test_Server server(data.path(), "");
  for (const char* from : {"127.0.0.1", "127.0.0.1", "127.0.0.1", "127.0.0.2", "127.0.0.2"}) {
    EXPECT_EQ(Get_From(server.port(), "/adclick.php?Id=5&Ver=1.0.0.1&CompId=1", from).status, 302) << from;
    EXPECT_EQ(Get_From(server.port(), "/adview.php?Id=5&Ver=1.0.0.1&CompId=1", from).status, 204) << from;
  }
  EXPECT_EQ(server.server().Store().Ad_Counters("5").clicks, 2);
  EXPECT_EQ(server.server().Store().Ad_Counters("5").views, 2);
}

// A flood of the pages read from the database is refused early for its address alone; the
// program's own routes and other addresses go on.
TEST(AddressLimits, ThePagesReadFromTheDatabaseHaveALimitPerAddress) {
  Test_Data_Folder data;
  data.Append_Config("pages_per_minute = 5");
  Test_Server server(data.path(), "");
  auto client = server.Client();
  ASSERT_TRUE(Confirmed(Post_Upload(*client, Compose_Upload(Varied_Report(1, 1), server.host())).body));
  const std::string drive = "/api/drive?model=Test%20Drive%20Model%200";
  for (int n = 0; n < 5; ++n) EXPECT_EQ(Get(*client, n % 2 ? drive : "/").status, 200) << n;
  auto refused = client->Get(drive.c_str());
  ASSERT_TRUE(refused);
  EXPECT_EQ(refused->status, 429);
  EXPECT_EQ(refused->body, "{\"error\":\"too many requests\"}");
  const int retry = std::stoi(refused->get_header_value("Retry-After"));
  EXPECT_GT(retry, 0);
  EXPECT_LE(retry, 60);
  EXPECT_EQ(Get(*client, "/compare?key=" + std::string(32, 'a')).status, 429);
  EXPECT_EQ(Get(*client, "/program_version3.php?Id=1&Upgrade=1&Ver=1.0.0.1&CompId=1").status, 200);
  EXPECT_EQ(Get(*client, "/uploadresults2.php").status, 200);
  EXPECT_EQ(Get(*client, "/news/index.html").status, 200);
  EXPECT_EQ(Get_From(server.port(), drive, "127.0.0.2").status, 200);
}
