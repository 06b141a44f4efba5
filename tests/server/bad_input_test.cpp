// Hostile and broken input: oversized bodies, silent clients, malformed uploads and a fuzz
// run of random and mutated bodies. The server answers each, stores only valid reports and
// keeps serving.
#include "server_fixture.h"

#include "reporting/report_codec.h"
#include "server/postgres_session.h"

#include <random>

namespace {

const std::string kRefused = "[RESULT]0[/RESULT]";

std::string Post_Head(std::size_t length, const std::string& type = "multipart/form-data; boundary=x") {
  return "POST /uploadresults2.php?Ver=1&CompId=1 HTTP/1.1\r\nHost: 127.0.0.1\r\nContent-Type: " + type +
         "\r\nContent-Length: " + std::to_string(length) + "\r\n\r\n";
}

}  // namespace

using Bad_Input_Test = Server_Test;

TEST_P(Bad_Input_Test, BodiesOverOneMebibyteAreRefusedBeforeTheyAreRead) {
  Test_Server& server = Start();
  // Only the header arrives: the answer must not wait for megabytes that never come.
  const Raw_Answer early = Raw_Exchange(server.port(), Post_Head(64 << 20), std::chrono::seconds(3));
  EXPECT_EQ(early.text.rfind("HTTP/1.1 413", 0), 0u) << early.text;
  EXPECT_NE(early.text.find(kRefused), std::string::npos);
  EXPECT_TRUE(early.closed);
  EXPECT_LT(early.took, std::chrono::seconds(2));
  // A whole report padded just past the limit, sent in full: 413, read before the server
  // closes the connection.
  Upload upload = Compose_Upload(Varied_Report(1), server.host());
  upload.body.insert(0, (1 << 20) + 1 - upload.body.size(), 'x');
  auto client = server.Client();
  const Answer over = Post_Upload(*client, upload);
  EXPECT_EQ(over.status, 413);
  EXPECT_EQ(over.body, kRefused);
  EXPECT_EQ(Get(*client, "/uploadresults2.php").status, 200);
  // Chunked bodies have no length to check first: refused too.
  const Raw_Answer chunked = Raw_Exchange(
      server.port(), "POST /uploadresults2.php HTTP/1.1\r\nHost: x\r\nTransfer-Encoding: chunked\r\n\r\n5\r\nhello\r\n",
      std::chrono::seconds(3));
  EXPECT_EQ(chunked.text.rfind("HTTP/1.1 411", 0), 0u) << chunked.text;
  EXPECT_EQ(Stored_Reports(), 0);
}

TEST_P(Bad_Input_Test, AClientThatSendsNothingIsDropped) {
  EXPECT_EQ(Server_Options{}.limits.header_time, std::chrono::seconds(10));
  EXPECT_EQ(Server_Options{}.limits.body_time, std::chrono::seconds(60));
  Server_Options options;
  options.limits.header_time = options.limits.body_time = std::chrono::seconds(1);
  Test_Server& server = Start(options);
  const Raw_Answer silent = Raw_Exchange(server.port(), "", std::chrono::seconds(5));
  EXPECT_TRUE(silent.closed);
  EXPECT_LT(silent.took, std::chrono::milliseconds(3000));
  const Raw_Answer half_header = Raw_Exchange(server.port(), "POST /uploadresults2.php HTTP/1.1\r\nHost:",
                                              std::chrono::seconds(5));
  EXPECT_TRUE(half_header.closed);
  const Raw_Answer half_body = Raw_Exchange(server.port(), Post_Head(1000) + "--x", std::chrono::seconds(5));
  EXPECT_TRUE(half_body.closed);
  EXPECT_LT(half_body.took, std::chrono::milliseconds(3000));
  EXPECT_EQ(Stored_Reports(), 0);
}

TEST_P(Bad_Input_Test, MalformedUploadsAreAnsweredZeroAndStoreNothing) {
  Test_Server& server = Start();
  const std::string host = server.host();
  const Upload good = Compose_Upload(Varied_Report(1), host);
  auto with_entries = [&](auto change) {
    std::vector<std::string> entries = Compose_Entries(Varied_Report(1), host);
    change(entries);
    return Upload_Of(entries);
  };
  const std::pair<const char*, Upload> cases[] = {
      {"empty body", {good.content_type, ""}},
      {"not multipart", {"application/x-www-form-urlencoded", "ID=1&SIG=2"}},
      {"no boundary", {"multipart/form-data", good.body}},
      {"other boundary", {"multipart/form-data; boundary=abc", good.body}},
      {"cut short", {good.content_type, good.body.substr(0, good.body.size() / 2)}},
      {"garbage", {good.content_type, std::string(500, '\x7f')}},
      {"missing entry", with_entries([](auto& e) { e.erase(e.begin() + 3); })},
      {"bad signature", with_entries([](auto& e) { e[1] = "SIG=" + Hex_Encode("0", 1); })},
      {"bad check value", with_entries([](auto& e) { e.back() = "MD5=" + std::string(32, '0'); })},
      {"rate not a number", with_entries([](auto& e) {
         e[21] = "WRITE=" + Hex_Encode("fast", 1);
         e.back() = "MD5=" + Report_Check_Value({e.begin(), e.end() - 1});
       })},
  };
  auto client = server.Client();
  for (const auto& [name, upload] : cases) {
    const Answer answer = Post_Upload(*client, upload);
    EXPECT_EQ(answer.body, kRefused) << name;
    EXPECT_EQ(answer.status, 200) << name;
  }
  EXPECT_EQ(Stored_Reports(), 0);
  EXPECT_TRUE(Confirmed(Post_Upload(*client, good).body));
}

// A parameter that is not UTF-8 or holds a NUL never reaches the database: 400, in either
// database alike (PostgreSQL neither fails on it nor has a value cut at its NUL, and keeps its
// connections), and the server goes on as before.
TEST_P(Bad_Input_Test, ParametersThatAreNotCleanTextAreRefusedBeforeTheDatabase) {
  Test_Server& server = Start();
  auto client = server.Client();
  const std::string key = View_Key_Of(Post_Upload(*client, Compose_Upload(Varied_Report(0, 1), server.host())));
  ASSERT_FALSE(key.empty());
  const auto connections = [&] {
    if (database_.empty()) return std::int64_t{0};
    return Sql_Int(Open_Postgres_Session(database_)
                       ->Query("SELECT COUNT(*) - 1 FROM pg_stat_activity WHERE datname = current_database()")
                       .at(0)
                       .at(0));
  };
  const std::int64_t before = connections();
  std::vector<std::string> paths{"/compare?key=%ff%fe", "/api/computer?key=" + key + "%00", "/computer?key=%c3%28",
                                 "/api/compare?%ff=1"};
  for (const char* model : {"%FF", "Test%20Drive%20Model%200%FF", "%C3%28", "%ED%A0%80", "%C0%AF",
                            "Test%20Drive%20Model%200%00junk", "%00"}) {
    for (const char* route : {"/drive?model=", "/api/drive?model="}) paths.push_back(route + std::string(model));
  }
  for (const std::string& path : paths) {
    const Answer answer = Get(*client, path);
    EXPECT_EQ(answer.status, 400) << path;
    EXPECT_EQ(answer.body, "400\n") << path;
  }
  EXPECT_EQ(connections(), before);
  EXPECT_EQ(Get(*client, "/api/compare?key=" + key).status, 200);
  EXPECT_EQ(Get(*client, "/api/drive?model=Test%20Drive%20Model%200").status, 200);
}

// 10,000 bodies: random bytes, and real reports with bytes flipped, inserted, cut out,
// repeated or truncated. Each real report is also sent unchanged first, so that a mutation
// that keeps it valid (dropping the zero byte) adds nothing: exactly the originals are kept.
TEST_P(Bad_Input_Test, FuzzedBodiesAreAllAnsweredAndOnlyValidReportsKept) {
  Test_Server& server = Start();
  constexpr int kBodies = 10000, kOriginals = 50, kThreads = 4;
  std::vector<Upload> originals;
  for (int n = 0; n < kOriginals; ++n) originals.push_back(Compose_Upload(Varied_Report(n), server.host()));
  std::atomic<int> answered{0}, accepted{0}, unanswered{0};
  auto worker = [&](int seed) {
    std::mt19937 random(static_cast<unsigned>(seed));
    auto client = server.Client();
    for (int i = seed; i < kBodies; i += kThreads) {
      const Upload& original = originals[static_cast<std::size_t>(i) % kOriginals];
      Upload upload = original;
      std::string& body = upload.body;
      auto at = [&] { return std::uniform_int_distribution<std::size_t>(0, body.empty() ? 0 : body.size() - 1)(random); };
      switch (i < kOriginals ? 99 : random() % 7) {
        case 0: body = std::string(random() % 4096, '\0'); for (char& c : body) c = static_cast<char>(random()); break;
        case 1: for (int k = 0; k < 1 + static_cast<int>(random() % 8); ++k) body[at()] = static_cast<char>(random()); break;
        case 2: body.insert(at(), std::string(1 + random() % 64, static_cast<char>(random()))); break;
        case 3: { const std::size_t from = at(); body.erase(from, random() % 200); break; }
        case 4: { const std::size_t from = at(); body.insert(at(), body.substr(from, random() % 300)); break; }
        case 5: body.resize(at()); break;
        case 6: upload.content_type = random() % 2 ? "multipart/form-data; boundary=" + std::to_string(random())
                                                   : std::string("text/plain"); break;
        default: break;  // the original
      }
      const Answer answer = Post_Upload(*client, upload);
      if (answer.status == 0) ++unanswered;
      else ++answered;
      if (Confirmed(answer.body)) ++accepted;
      else if (answer.body != kRefused) ADD_FAILURE() << "answer " << answer.status << " " << answer.body;
    }
  };
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) threads.emplace_back(worker, t);
  for (auto& thread : threads) thread.join();
  EXPECT_EQ(unanswered, 0);
  EXPECT_EQ(answered, kBodies);
  EXPECT_GE(accepted, kOriginals);
  EXPECT_EQ(Stored_Reports(), kOriginals);
  auto client = server.Client();
  EXPECT_EQ(Get(*client, "/uploadresults2.php").status, 200);
}

PS_BOTH_DATABASES(Bad_Input_Test);
