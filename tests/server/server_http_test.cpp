// The routes the program uses, on loopback, for both databases: the report upload with its
// confirmation and de-duplication, the version answer with signed installers, the ad
// counters, the files under www/ and the pages with their JSON.
#include "server_fixture.h"

#include "common/global_functions.h"
#include "platform/upgrade_files.h"
#include "reporting/installer_statement.h"
#include "reporting/report_codec.h"
#include "server/pages_html.h"
#include "server/postgres_session.h"
#include "server/svg_charts.h"
#include "server/sqlite_session.h"
#include "server/view_keys.h"

#include <sodium.h>

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <fstream>

namespace {

std::string Public_Key(const Test_Data_Folder& data) {
  std::ifstream in(data.path() + "/update-signing.pub");
  std::string hex;
  in >> hex;
  return hex;
}

bool Signature_Verifies(const std::string& signature_hex, const std::string& bytes, const std::string& key_hex) {
  unsigned char signature[crypto_sign_BYTES], key[crypto_sign_PUBLICKEYBYTES];
  if (sodium_hex2bin(signature, sizeof signature, signature_hex.c_str(), signature_hex.size(), nullptr, nullptr,
                     nullptr) != 0 ||
      sodium_hex2bin(key, sizeof key, key_hex.c_str(), key_hex.size(), nullptr, nullptr, nullptr) != 0)
    return false;
  return crypto_sign_verify_detached(signature, reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size(),
                                     key) == 0;
}

// The statement the server signs for an installer of version 1.3.1 for this machine.
std::string Statement_Of(const std::string& bytes) {
  return Installer_Statement({"1.3.1", Installer_Platform(platform::Machine_Name()), "platterscope",
                              static_cast<std::int64_t>(bytes.size()), Sha256_Hex(bytes)});
}

QJsonObject Json_Of(const std::string& text) { return QJsonDocument::fromJson(QByteArray::fromStdString(text)).object(); }

}  // namespace

using Server_Http_Test = Server_Test;

TEST_P(Server_Http_Test, AReportIsConfirmedOnceStoredAndStoredOnceHoweverOftenSent) {
  Test_Server& server = Start();
  auto client = server.Client();
  const Answer probe = Get(*client, "/uploadresults2.php?Ver=1.0.0.1&CompId=12345678901234567");
  EXPECT_EQ(probe.status, 200);
  const Upload upload = Compose_Upload(Varied_Report(1), server.host());
  EXPECT_TRUE(Confirmed(Post_Upload(*client, upload).body));
  EXPECT_EQ(Stored_Reports(), 1);
  EXPECT_TRUE(Confirmed(Post_Upload(*client, upload).body));  // again from the queue
  EXPECT_EQ(Stored_Reports(), 1);
  // Signed for another host name than the one addressed: refused.
  const Upload other_host = Compose_Upload(Varied_Report(2), "results.platterscope.example");
  EXPECT_EQ(Post_Upload(*client, other_host).body, "[RESULT]0[/RESULT]");
  EXPECT_EQ(Stored_Reports(), 1);
}

TEST_P(Server_Http_Test, TheVersionAnswerOffersBannersAndSignedInstallers) {
  data_.Write("www/ads/banner-1.png", "PNG bytes of banner 1");
  data_.Write("www/ads/banner-2.jpeg", "JPEG bytes");
  data_.Write("www/installers/setup.run", "#!/bin/sh\necho installed\n");
  data_.Append_Config("version = 1.3.1\nrelease_notes = Faster\n[ad]\nnumber = 1\nimage = ads/banner-1.png\n"
                      "target = https://ads.example/one\n[ad]\nnumber = 2\nimage = ads/banner-2.jpeg\n"
                      "target = https://ads.example/two\n[installer]\nfile = installers/setup.run\n");
  Test_Server& server = Start();
  auto client = server.Client();
  const std::string answer = Get(*client, "/program_version3.php?Id=1&Upgrade=1&Ver=1.0.0.1&CompId=1").body;
  EXPECT_EQ(Get_Tag_Value("[VERSION]", "[/VERSION]", answer), "1.3.1");
  EXPECT_EQ(Get_Tag_Value("[MESSAGES]", "[/MESSAGES]", answer), "news/index.html");
  EXPECT_EQ(Get_Tag_Value("[RELEASENOTES]", "[/RELEASENOTES]", answer), "Faster");
  EXPECT_EQ(Get_Tag_Value("[ADS]", "[/ADS]", answer),
            "1,/ads/banner-1.png," + MD5_Of_Text("PNG bytes of banner 1") + "[BR]2,/ads/banner-2.jpeg," +
                MD5_Of_Text("JPEG bytes"));
  std::vector<std::string> pieces(51);
  const int last = Split_String(pieces, answer, "[BR]");
  const std::string& entry = pieces[last];
  const std::string file = Get_Tag_Value("[FILE]", "[/FILE]", entry);
  EXPECT_EQ(file, "/installers/setup.run");
  const std::string bytes = Get(*client, file).body;
  EXPECT_EQ(bytes, "#!/bin/sh\necho installed\n");
  EXPECT_EQ(Get_Tag_Value("[SIZE]", "[/SIZE]", entry), std::to_string(bytes.size()));
  EXPECT_EQ(Get_Tag_Value("[MD5]", "[/MD5]", entry), MD5_Of_Text(bytes));
  EXPECT_EQ(Get_Tag_Value("[TARGETFILE]", "[/TARGETFILE]", entry), "platterscope");
  const std::string signature = Get_Tag_Value("[SIGNATURE]", "[/SIGNATURE]", entry);
  EXPECT_TRUE(Signature_Verifies(signature, Statement_Of(bytes), Public_Key(data_)));
  EXPECT_FALSE(Signature_Verifies(signature, bytes, Public_Key(data_))) << "the bytes alone are not what is signed";
  EXPECT_EQ(Get(*client, "/ads/banner-1.png").body, "PNG bytes of banner 1");

  // A replaced installer is offered with its own MD5 and signature.
  data_.Write("www/installers/setup.run", "#!/bin/sh\necho installed, version two\n");
  const std::string again = Get(*client, "/program_version3.php?Id=1&Upgrade=1&Ver=1.0.0.1&CompId=1").body;
  const std::string new_bytes = Get(*client, file).body;
  EXPECT_EQ(Get_Tag_Value("[MD5]", "[/MD5]", again), MD5_Of_Text(new_bytes));
  const std::string new_signature = Get_Tag_Value("[SIGNATURE]", "[/SIGNATURE]", again);
  EXPECT_TRUE(Signature_Verifies(new_signature, Statement_Of(new_bytes), Public_Key(data_)));
}

TEST_P(Server_Http_Test, AdClicksLeadToTheTargetAndAreCountedAsAreViews) {
  data_.Write("www/ads/b.png", "png");
  data_.Append_Config("[ad]\nnumber = 5\nimage = ads/b.png\ntarget = https://ads.example/five\n");
  Test_Server& server = Start();
  auto client = server.Client();
  auto click = client->Get("/adclick.php?Id=5&Ver=1.0.0.1&CompId=1");
  ASSERT_TRUE(click);
  EXPECT_EQ(click->status, 302);
  EXPECT_EQ(click->get_header_value("Location"), "https://ads.example/five");
  EXPECT_EQ(Get(*client, "/adview.php?Id=5&Ver=1.0.0.1&CompId=1").status, 204);
  EXPECT_EQ(Get(*client, "/adclick.php?Id=6&Ver=1.0.0.1&CompId=1").status, 404);
  EXPECT_EQ(server.server().Store().Ad_Counters("5").clicks, 1);
  EXPECT_EQ(server.server().Store().Ad_Counters("5").views, 1);
  EXPECT_EQ(server.server().Store().Ad_Counters("6").clicks, 0);
}

// Whatever the request path, nothing outside www/ is handed out, nor a folder listing, nor a
// file put there by a hard link.
TEST_P(Server_Http_Test, NoPathLeavesTheFilesFolder) {
  data_.Write("outside.txt", "SECRET-OUTSIDE");
  data_.Write("www/.hidden", "SECRET-HIDDEN");
  std::filesystem::create_directory_symlink(data_.path(), data_.path() + "/www/link");
  std::filesystem::create_symlink(data_.path() + "/outside.txt", data_.path() + "/www/leak.txt");
  std::filesystem::create_hard_link(data_.path() + "/outside.txt", data_.path() + "/www/hard.txt");
  Test_Server& server = Start();
  const char* paths[] = {"/../outside.txt", "/%2e%2e/outside.txt", "/%2E%2E/update-signing.key",
                         "/news/../../outside.txt", "/news/%2e%2e/%2e%2e/outside.txt", "/..%2foutside.txt",
                         "/%2e%2e%2foutside.txt", "//outside.txt", "/link/outside.txt", "/leak.txt", "/.hidden",
                         "/news/", "/news", "/www/news/index.html", "/%252e%252e/outside.txt",
                         "/update-signing.key", "/reports.sqlite", "/platterscope-server.conf",
                         "/news/index.html%00.png", "/etc/passwd", "/hard.txt"};
  for (const char* path : paths) {
    const Raw_Answer answer = Raw_Exchange(
        server.port(), std::string("GET ") + path + " HTTP/1.1\r\nHost: x\r\nConnection: close\r\n\r\n",
        std::chrono::seconds(5));
    EXPECT_EQ(answer.text.find("SECRET"), std::string::npos) << path;
    EXPECT_EQ(answer.text.find("PRIVATE"), std::string::npos) << path;
    EXPECT_EQ(answer.text.rfind("HTTP/1.1 200", 0), std::string::npos) << path << ": " << answer.text.substr(0, 40);
  }
  const Raw_Answer news = Raw_Exchange(server.port(), "GET /news/index.html HTTP/1.1\r\nHost: x\r\nConnection: close\r\n\r\n",
                                       std::chrono::seconds(5));
  EXPECT_EQ(news.text.rfind("HTTP/1.1 200", 0), 0u);
  EXPECT_NE(news.text.find("Platterscope"), std::string::npos);
}

TEST_P(Server_Http_Test, PagesShowADriveBesideItsModel) {
  Test_Server& server = Start();
  auto client = server.Client();
  std::vector<std::string> keys;
  for (int n = 0; n < 10; ++n) {
    Sample_Report report = Varied_Report(n, 1);  // one model
    report.rates[0] = 100.0 * (n + 1);           // sequential write 100 .. 1000
    keys.push_back(View_Key_Of(Post_Upload(*client, Compose_Upload(report, server.host()))));
    ASSERT_EQ(keys.back().size(), 32u);
  }
  const std::string me = Varied_Report(2, 1).computer_id;  // wrote 300 MB/s
  const std::string& key = keys[2];
  const QJsonObject compare = Json_Of(Get(*client, "/api/compare?key=" + key).body);
  EXPECT_EQ(compare["model"].toString(), "Test Drive Model 0");
  EXPECT_EQ(compare["model_computers"].toInt(), 10);
  EXPECT_TRUE(compare["counted"].toBool());
  const QJsonObject write = compare["tests"].toObject()["WRITE"].toObject();
  EXPECT_EQ(write["count"].toInt(), 10);
  EXPECT_DOUBLE_EQ(write["median"].toDouble(), 550);
  EXPECT_DOUBLE_EQ(write["p10"].toDouble(), 190);
  EXPECT_DOUBLE_EQ(write["p90"].toDouble(), 910);
  EXPECT_DOUBLE_EQ(write["value"].toDouble(), 300);
  EXPECT_DOUBLE_EQ(write["percentile"].toDouble(), 25);
  const QJsonObject fields = compare["report"].toObject()["fields"].toObject();
  EXPECT_EQ(fields["computer"].toString().toStdString(), me);
  EXPECT_EQ(fields["cpu_name"].toString(), "AMD EPYC");
  EXPECT_FALSE(fields.contains("serial_hash"));

  const std::string page = Get(*client, "/compare?key=" + key).body;
  for (const char* text : {"Test Drive Model 0", "<svg", "Sequential Write", "Random 4MB Read", "300.00", "550.00"})
    EXPECT_NE(page.find(text), std::string::npos) << text;
  EXPECT_EQ(Json_Of(Get(*client, "/api/drive?model=test%20drive%20model%200").body)["computers"].toInt(), 10);
  EXPECT_NE(Get(*client, "/drive?model=Test%20Drive%20Model%200").body.find("10 computer(s)"), std::string::npos);
  EXPECT_EQ(Get(*client, "/drive?model=No%20Such%20Model").status, 404);
  EXPECT_EQ(Json_Of(Get(*client, "/api/computer?key=" + key).body)["reports"].toArray().size(), 1);
  EXPECT_NE(Get(*client, "/computer?key=" + key).body.find("<polyline"), std::string::npos);
  const std::string home = Get(*client, "/").body;
  EXPECT_NE(home.find("10 report(s)"), std::string::npos);
  EXPECT_NE(home.find("/drive?model=Test%20Drive%20Model%200"), std::string::npos);
  EXPECT_EQ(home.find(me), std::string::npos);  // computers are not listed for everyone
  EXPECT_EQ(home.find("UTC"), std::string::npos) << "nor single reports";
}

// The identifier is the first start's time and easily guessed: it opens nothing. The key
// comes with the computer's first report only, or with that report sent again after its
// answer was lost, which replaces the key.
TEST_P(Server_Http_Test, AComputersPagesOpenOnlyWithItsViewKey) {
  Test_Server& server = Start();
  auto client = server.Client();
  const Sample_Report first = Varied_Report(1);
  const Answer answer = Post_Upload(*client, Compose_Upload(first, server.host()));
  const std::string key = View_Key_Of(answer);
  ASSERT_EQ(key.size(), 32u) << answer.body;
  EXPECT_EQ(key.find_first_not_of("0123456789abcdef"), std::string::npos);
  std::string upper = key;
  for (char& c : upper) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  for (const char* route : {"/compare", "/api/compare", "/computer", "/api/computer"}) {
    EXPECT_EQ(Get(*client, std::string(route) + "?key=" + key).status, 200) << route;
    EXPECT_EQ(Get(*client, std::string(route) + "?key=" + upper).status, 200) << route;
    EXPECT_EQ(Get(*client, std::string(route) + "?CompId=" + first.computer_id).status, 404) << route;
    EXPECT_EQ(Get(*client, std::string(route) + "?CompId=" + first.computer_id + "&key=").status, 404) << route;
    EXPECT_EQ(Get(*client, std::string(route) + "?key=" + std::string(32, '0')).status, 404) << route;
    EXPECT_EQ(Get(*client, std::string(route) + "?key=" + key.substr(1)).status, 404) << route;
  }
  Sample_Report second = first;
  second.rates[0] = 1234;
  EXPECT_EQ(Post_Upload(*client, Compose_Upload(second, server.host())).body, "[RESULT]1[/RESULT]") << "no key again";
  EXPECT_DOUBLE_EQ(Json_Of(Get(*client, "/api/compare?key=" + key).body)["tests"].toObject()["WRITE"].toObject()["value"].toDouble(), 1234);

  const std::string replaced = View_Key_Of(Post_Upload(*client, Compose_Upload(first, server.host())));
  ASSERT_EQ(replaced.size(), 32u);
  EXPECT_NE(replaced, key);
  EXPECT_EQ(Get(*client, "/compare?key=" + key).status, 404);
  EXPECT_EQ(Get(*client, "/compare?key=" + replaced).status, 200);
  EXPECT_EQ(Stored_Reports(), 2);

  std::unique_ptr<Sql_Session> session = database_.empty() ? Open_Sqlite_Session(data_.path() + "/reports.sqlite")
                                                           : Open_Postgres_Session(database_);
  const auto rows = session->Query("SELECT comp_id, view_hash FROM computers", {});
  ASSERT_EQ(rows.size(), 1u);
  EXPECT_EQ(Sql_Text(rows[0][1]), View_Key_Hash(replaced)) << "the key kept only as its hash";
}

// A computer's history shows its latest reports, no more.
TEST_P(Server_Http_Test, AHistoryShowsTheLatestHundredReports) {
  Test_Server& server = Start();
  auto client = server.Client();
  std::string key;
  for (int n = 0; n < 130; ++n) {
    Sample_Report report = Varied_Report(1);
    report.rates[0] = 1000 + n;
    const Answer answer = Post_Upload(*client, Compose_Upload(report, server.host()));
    ASSERT_EQ(answer.body.rfind("[RESULT]1[/RESULT]", 0), 0u);
    if (n == 0) key = View_Key_Of(answer);
  }
  const QJsonArray reports = Json_Of(Get(*client, "/api/computer?key=" + key).body)["reports"].toArray();
  ASSERT_EQ(reports.size(), 100);
  EXPECT_DOUBLE_EQ(reports.first().toObject()["rates"].toObject()["WRITE"].toDouble(), 1030);
  EXPECT_DOUBLE_EQ(reports.last().toObject()["rates"].toObject()["WRITE"].toDouble(), 1129);
}

// Markup is escaped, and bidirectional controls that would show "Disk 4TB" as "Disk BT4" are
// left out, though the database keeps the model as reported.
TEST_P(Server_Http_Test, PageTextFromReportsIsEscaped) {
  Test_Server& server = Start();
  auto client = server.Client();
  Sample_Report report;
  // (The program itself drops the marks U+061C, U+200E and U+200F from what it reports.)
  report.drive.Model = "<script>alert(1)</script> Disk \xE2\x80\xAE" "4TB\xE2\x80\xAC \xE2\x81\xA7x\xE2\x81\xA9";
  report.rates[0] = 10;
  const std::string key = View_Key_Of(Post_Upload(*client, Compose_Upload(report, server.host())));
  ASSERT_FALSE(key.empty());
  const std::string paths[] = {"/", "/compare?key=" + key, "/computer?key=" + key, "/api/compare?key=" + key,
                               "/drive?model=" + Url_Encode(report.drive.Model)};
  for (const std::string& path : paths) {
    const Answer page = Get(*client, path);
    EXPECT_EQ(page.status, 200) << path;
    const bool json = path.rfind("/api", 0) == 0;
    if (!json) {
      EXPECT_EQ(page.body.find("<script>"), std::string::npos) << path;
    }
    EXPECT_NE(page.body.find(json ? "Disk 4TB x" : "&lt;script&gt;"), std::string::npos) << path;
    for (const char* control : {"\xE2\x80\xAE", "\xE2\x80\xAC", "\xE2\x81\xA7", "\xE2\x81\xA9", "\xD8\x9C", "\xE2\x80\x8F"})
      EXPECT_EQ(page.body.find(control), std::string::npos) << path;
  }
  EXPECT_EQ(server.server().Store().Latest_Report(report.computer_id)->report.profile[kModel], report.drive.Model);
  EXPECT_EQ(Display_Text("a\xE2\x80\xAD" "b\xE2\x80\x8E\xE2\x81\xA6" "c\xE2\x80\xA9" "d\xD8\x9C\xE2\x80\x8F"), "abc\xE2\x80\xA9" "d")
      << "U+2029 is no control of direction";
}

PS_BOTH_DATABASES(Server_Http_Test);
