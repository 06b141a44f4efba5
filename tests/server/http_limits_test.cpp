// The HTTP layer facing hostile clients: slow and idle connections, heads and bodies that
// trickle in, oversized and smuggling requests, floods of header bytes, connections per
// address, pipelining, byte ranges, and who the client is behind a trusted proxy.
#include "server_fixture.h"
#include "server_process.h"

#include "server/http_server.h"

#include <fstream>
#include <regex>

namespace {

using namespace std::chrono_literals;

std::string Status_Line(const std::string& answer) { return answer.substr(0, answer.find("\r\n")); }

int Count(const std::string& text, const std::string& what) {
  int count = 0;
  for (auto at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++count;
  return count;
}

std::string Head_Value(const std::string& answer, const std::string& name) {
  std::smatch match;
  const std::string head = answer.substr(0, answer.find("\r\n\r\n"));
  if (!std::regex_search(head, match, std::regex("\r\n" + name + ": ([^\r]*)", std::regex::icase))) return {};
  return match[1];
}

std::string Body_Of(const std::string& answer) {
  const auto end = answer.find("\r\n\r\n");
  return end == std::string::npos ? std::string() : answer.substr(end + 4);
}

// The peak resident memory of a process, in KiB.
long Peak_Memory_Kib(pid_t pid) {
  std::ifstream status("/proc/" + std::to_string(pid) + "/status");
  std::string line;
  while (std::getline(status, line))
    if (line.rfind("VmHWM:", 0) == 0) return std::stol(line.substr(6));
  return -1;
}

class Http_Limits_Test : public testing::Test {
 protected:
  Test_Server& Start(Server_Options options = {}) {
    server_ = std::make_unique<Test_Server>(data_.path(), "", std::move(options));
    return *server_;
  }
  Raw_Answer Exchange(const std::string& request, std::chrono::milliseconds wait = 3s) {
    return Raw_Exchange(server_->port(), request, wait);
  }

  Test_Data_Folder data_;
  std::unique_ptr<Test_Server> server_;
};

}  // namespace

// 1,000 connections from 40 other addresses, half of them stalled in the middle of a head,
// half silent: every request of another client is answered all the same.
TEST_F(Http_Limits_Test, SlowAndIdleConnectionsDoNotHoldUpOtherClients) {
  Test_Server& server = Start();
  std::vector<Loopback_Connection> waiting;
  for (int n = 0; n < 1000; ++n) {
    waiting.emplace_back(server.port(), "127.0.0." + std::to_string(2 + n % 40));
    ASSERT_GE(waiting.back().fd(), 0) << n;
    if (n % 2 == 0) waiting.back().Send("GET / HTTP/1.1\r\nHo");
  }
  for (int n = 0; n < 20; ++n) {
    const Raw_Answer answer = Exchange("GET /uploadresults2.php HTTP/1.1\r\nHost: x\r\nConnection: close\r\n\r\n", 2s);
    EXPECT_EQ(Status_Line(answer.text), "HTTP/1.1 200 OK") << n;
    EXPECT_TRUE(answer.closed) << n;
  }
  auto client = server.Client();
  client->set_read_timeout(2);
  EXPECT_TRUE(Confirmed(Post_Upload(*client, Compose_Upload(Varied_Report(1), server.host())).body));
}

// The deadlines count from the start, not from the last byte: a client sending a byte now
// and then is cut off all the same.
TEST_F(Http_Limits_Test, AHeadOrBodyThatTricklesInIsCutAtItsDeadline) {
  Server_Options options;
  options.limits.header_time = options.limits.body_time = 1s;
  Test_Server& server = Start(options);
  const struct {
    const char* name;
    std::string start;
    std::string trickle;
  } cases[] = {
      {"head", "GET / HTTP/1.1\r\n", "X: y\r\n"},
      {"body", "POST /uploadresults2.php HTTP/1.1\r\nHost: x\r\nContent-Length: 100000\r\n\r\n", "x"},
  };
  for (const auto& c : cases) {
    const Loopback_Connection connection(server.port());
    const auto start = std::chrono::steady_clock::now();
    bool closed = connection.Send(c.start) ? false : true;
    while (!closed && std::chrono::steady_clock::now() - start < 5s) {
      closed = Raw_Read(connection.fd(), 200ms).closed || !connection.Send(c.trickle);
    }
    EXPECT_TRUE(closed) << c.name;
    EXPECT_LT(std::chrono::steady_clock::now() - start, 2500ms) << c.name;
  }
}

TEST_F(Http_Limits_Test, OversizedAndAmbiguousRequestsAreRefusedAndClosed) {
  data_.Write("www/ads/b.png", "png");
  data_.Append_Config("[ad]\nnumber = 5\nimage = ads/b.png\ntarget = https://ads.example/five\n");
  Test_Server& server = Start();
  std::string many_headers, hundred_headers = "Connection: close\r\n";
  for (int n = 0; n < 101; ++n) many_headers += "X-H" + std::to_string(n) + ": v\r\n";
  for (int n = 1; n < 100; ++n) hundred_headers += "X-H" + std::to_string(n) + ": v\r\n";
  std::string big_head;
  for (int n = 0; n < 40; ++n) big_head += "X-Pad" + std::to_string(n) + ": " + std::string(1000, 'p') + "\r\n";
  const std::string smuggled = "GET /adclick.php?Id=5 HTTP/1.1\r\nHost: x\r\n\r\n";
  const struct {
    const char* name;
    std::string request;
    const char* status;
  } cases[] = {
      {"request line over 8 KiB", "GET /" + std::string(9000, 'a') + " HTTP/1.1\r\nHost: x\r\n\r\n", "HTTP/1.1 414"},
      {"request line without end", "GET /" + std::string(100000, 'a'), "HTTP/1.1 414"},
      {"head over 32 KiB", "GET / HTTP/1.1\r\n" + big_head + "\r\n", "HTTP/1.1 431"},
      {"101 headers", "GET / HTTP/1.1\r\n" + many_headers + "\r\n", "HTTP/1.1 431"},
      {"100 headers", "GET /uploadresults2.php HTTP/1.1\r\n" + hundred_headers + "\r\n", "HTTP/1.1 200"},
      {"POST without a length", "POST /uploadresults2.php HTTP/1.1\r\nHost: x\r\n\r\n", "HTTP/1.1 411"},
      {"GET with a body", "GET /uploadresults2.php HTTP/1.1\r\nHost: x\r\nContent-Length: " +
                              std::to_string(smuggled.size()) + "\r\n\r\n" + smuggled, "HTTP/1.1 400"},
      {"HEAD with a chunked body", "HEAD / HTTP/1.1\r\nHost: x\r\nTransfer-Encoding: chunked\r\n\r\n0\r\n\r\n",
       "HTTP/1.1 400"},
      {"other method", "DELETE / HTTP/1.1\r\nHost: x\r\n\r\n", "HTTP/1.1 405"},
  };
  for (const auto& c : cases) {
    const Raw_Answer answer = Exchange(c.request);
    EXPECT_EQ(answer.text.rfind(c.status, 0), 0u) << c.name << ": " << Status_Line(answer.text);
    EXPECT_EQ(Count(answer.text, "HTTP/1.1 "), 1) << c.name;
    EXPECT_TRUE(answer.closed) << c.name;
    EXPECT_LT(answer.took, 2s) << c.name;
  }
  EXPECT_EQ(server.server().Store().Ad_Counters("5").clicks, 0);  // the smuggled request never ran
}

// Requests sent back to back on one connection get their answers in their order.
TEST_F(Http_Limits_Test, PipelinedRequestsAreAnsweredInOrder) {
  Start();
  const Raw_Answer answer = Exchange(
      "GET /uploadresults2.php HTTP/1.1\r\nHost: x\r\n\r\nGET /nothing-here HTTP/1.1\r\nHost: x\r\n\r\n"
      "GET /news/index.html HTTP/1.1\r\nHost: x\r\nConnection: close\r\n\r\n");
  const std::regex status("HTTP/1\\.1 ([0-9]{3})");
  std::vector<std::string> statuses;
  for (std::sregex_iterator at(answer.text.begin(), answer.text.end(), status), end; at != end; ++at)
    statuses.push_back((*at)[1]);
  EXPECT_EQ(statuses, (std::vector<std::string>{"200", "404", "200"}));
  EXPECT_LT(answer.text.find("Platterscope results server"), answer.text.find("<!DOCTYPE"));
  EXPECT_TRUE(answer.closed);
}

TEST_F(Http_Limits_Test, FilesServeOneRangeAtMostAndPagesIgnoreRange) {
  std::string content;
  for (int n = 0; n < 100; ++n) content += static_cast<char>('A' + n % 26);
  data_.Write("www/file.txt", content);
  Start();
  std::string many = "bytes=0-";
  for (int n = 0; n < 2700; ++n) many += ",0-";
  const struct {
    std::string range;
    const char* status;
    std::string content_range;
    std::string body;
  } cases[] = {
      {"bytes=0-9", "206", "bytes 0-9/100", content.substr(0, 10)},
      {"bytes=90-", "206", "bytes 90-99/100", content.substr(90)},
      {"bytes=-5", "206", "bytes 95-99/100", content.substr(95)},
      {"bytes=95-200", "206", "bytes 95-99/100", content.substr(95)},
      {"bytes=-500", "206", "bytes 0-99/100", content},
      {many, "200", "", content},
      {"items=0-5", "200", "", content},
      {"bytes=100-", "416", "bytes */100", "416\n"},
      {"bytes=5-2", "416", "bytes */100", "416\n"},
      {"bytes=abc", "416", "bytes */100", "416\n"},
  };
  for (const auto& c : cases) {
    const Raw_Answer answer =
        Exchange("GET /file.txt HTTP/1.1\r\nHost: x\r\nRange: " + c.range + "\r\nConnection: close\r\n\r\n");
    const std::string name = c.range.substr(0, 20);
    EXPECT_EQ(Status_Line(answer.text).substr(9, 3), c.status) << name;
    EXPECT_EQ(Head_Value(answer.text, "Content-Range"), c.content_range) << name;
    EXPECT_EQ(Body_Of(answer.text), c.body) << name;
  }
  const std::string page = Body_Of(Exchange("GET / HTTP/1.1\r\nHost: x\r\nConnection: close\r\n\r\n").text);
  for (const std::string& range : {std::string("bytes=0-0"), many}) {
    const Raw_Answer answer = Exchange("GET / HTTP/1.1\r\nHost: x\r\nRange: " + range + "\r\nConnection: close\r\n\r\n");
    EXPECT_EQ(Status_Line(answer.text), "HTTP/1.1 200 OK");
    EXPECT_EQ(Body_Of(answer.text).size(), page.size());
  }
}

// Beyond the cap an address's new connection is closed at once; other addresses are served,
// and the address is again once one of its connections ends.
TEST_F(Http_Limits_Test, ConnectionsFromOneAddressAreCapped) {
  data_.Append_Config("connections_per_address = 4");
  Test_Server& server = Start();
  const std::string request = "GET /uploadresults2.php HTTP/1.1\r\nHost: x\r\nConnection: close\r\n\r\n";
  std::vector<Loopback_Connection> held;
  for (int n = 0; n < 4; ++n) held.emplace_back(server.port(), "127.0.0.7");
  std::this_thread::sleep_for(100ms);
  const Loopback_Connection fifth(server.port(), "127.0.0.7");
  fifth.Send(request);
  const Raw_Answer refused = Raw_Read(fifth.fd(), 2s);
  EXPECT_TRUE(refused.closed);
  EXPECT_EQ(refused.text, "");
  EXPECT_EQ(Status_Line(Exchange(request).text), "HTTP/1.1 200 OK");
  held.pop_back();
  Raw_Answer again;
  for (int attempt = 0; attempt < 20 && again.text.empty(); ++attempt) {
    std::this_thread::sleep_for(50ms);
    const Loopback_Connection next(server.port(), "127.0.0.7");
    next.Send(request);
    again = Raw_Read(next.fd(), 2s);
  }
  EXPECT_EQ(Status_Line(again.text), "HTTP/1.1 200 OK");
}

// Six clients each pour 64 MiB of a head that never ends into the server: each is refused
// once the caps are reached and the server's memory stays small.
TEST(Http_Memory_Test, FloodsOfHeaderBytesLeaveMemoryBounded) {
  Test_Data_Folder data;
  Server_Process server({"--data", data.path(), "--listen", "127.0.0.1:0"});
  ASSERT_GT(server.port(), 0) << server.output();
  const std::string line_flood(64 * 1024, 'a'), header_flood = "X-Flood: " + std::string(64 * 1024 - 11, 'h') + "\r\n";
  std::vector<std::thread> clients;
  std::atomic<int> refused{0};
  for (int n = 0; n < 6; ++n) {
    clients.emplace_back([&, n] {
      const Loopback_Connection connection(server.port());
      connection.Send(n % 2 ? "GET /" : "GET / HTTP/1.1\r\n");
      for (int piece = 0; piece < 1024 && connection.Send(n % 2 ? line_flood : header_flood); ++piece) {
      }
      const Raw_Answer answer = Raw_Read(connection.fd(), 5s);
      if (answer.text.rfind(n % 2 ? "HTTP/1.1 414" : "HTTP/1.1 431", 0) == 0) ++refused;
    });
  }
  for (auto& client : clients) client.join();
  EXPECT_EQ(refused, 6);
  EXPECT_LT(Peak_Memory_Kib(server.pid()), 64 * 1024);
}

// Behind a trusted proxy the client is the last hop it names; anyone else is its own peer.
TEST(Http_Client_Address_Test, TheClientIsThePeerOrTheLastHopOfATrustedProxy) {
  Http_Setup setup;
  setup.trusted_proxies = {"127.0.0.1"};
  setup.workers = 2;
  setup.handler = [](const Http_Request& request, Http_Response& response) {
    response.Set_Content(request.client_address, "text/plain");
  };
  Http_Server http(setup);
  const int port = http.Bind("127.0.0.1", 0);
  std::thread runner([&] { http.Run(); });
  const struct {
    const char* source;
    std::string headers;
    const char* client;
  } cases[] = {
      {"127.0.0.1", "X-Forwarded-For: 203.0.113.9, 198.51.100.7\r\n", "198.51.100.7"},
      {"127.0.0.1", "X-Forwarded-For: 192.0.2.1\r\nX-Forwarded-For: 192.0.2.2, 2001:db8::1\r\n", "2001:db8::1"},
      {"127.0.0.1", "X-Forwarded-For: ::ffff:192.0.2.5\r\n", "192.0.2.5"},
      {"127.0.0.1", "X-Forwarded-For: 198.51.100.7, unknown\r\n", "127.0.0.1"},
      {"127.0.0.1", "", "127.0.0.1"},
      {"127.0.0.2", "X-Forwarded-For: 198.51.100.7\r\n", "127.0.0.2"},
  };
  for (const auto& c : cases) {
    const Loopback_Connection connection(port, c.source);
    connection.Send("GET / HTTP/1.1\r\nHost: x\r\n" + c.headers + "Connection: close\r\n\r\n");
    EXPECT_EQ(Body_Of(Raw_Read(connection.fd(), 3s).text), c.client) << c.source << " " << c.headers;
  }
  http.Stop();
  runner.join();
}
