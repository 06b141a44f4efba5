// The transfers on the wire, against a loopback server that keeps every byte it receives:
// the probe and the POST exactly as the server must see them, the time-outs that keep a
// silent server from holding the program, and downloads with their limits and checks.
#include <gtest/gtest.h>

#include <QDate>
#include <zlib.h>

#include <chrono>
#include <filesystem>

#include "loopback_server.h"
#include "reporting/download.h"
#include "reporting/http_client.h"
#include "reporting/report_codec.h"
#include "scratch_folder.h"

namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

const Transfer_Limits kShortLimits{1000ms, 1000ms};

double Seconds_Since(Clock::time_point start) {
  return std::chrono::duration<double>(Clock::now() - start).count();
}

std::unique_ptr<MY_UploadFileRecord> Small_Record(const Loopback_Server& server) {
  auto record = std::make_unique<MY_UploadFileRecord>();
  record->URL.Assign(server.url("/uploadresults2.php?Ver=1.0.0.1&CompId=42"));
  record->HostName.Assign(server.host());
  record->Variables[0].Assign("ID=3432");
  record->Variables[1].Assign("MD5=0123456789ABCDEF0123456789ABCDEF");
  return record;
}

}  // namespace

TEST(HttpTransfers, ProbeThenPostExactlyAsTheServerMustSeeThem) {
  Loopback_Server server([](const std::string&) { return Loopback_Server::Ok("[RESULT]1[/RESULT]"); });
  auto record = Small_Record(server);
  EXPECT_EQ(Post_Multipart_Form(*record), "[RESULT]1[/RESULT]");

  const auto requests = server.Requests();
  ASSERT_EQ(requests.size(), 2u);
  EXPECT_EQ(requests[0], "GET /uploadresults2.php?Ver=1.0.0.1&CompId=42 HTTP/1.1\r\n"
                         "Host: " + server.host() + "\r\n"
                         "Pragma: no-cache\r\n\r\n");
  const std::string boundary = "------------------------" + std::to_string(QDate::currentDate().toJulianDay());
  const std::string body = "--" + boundary + "\r\nContent-Disposition: form-data; name=\"ID\"\r\n\r\n3432\r\n" +
                           "--" + boundary + "\r\nContent-Disposition: form-data; name=\"MD5\"\r\n\r\n" +
                           "0123456789ABCDEF0123456789ABCDEF\r\n" + "--" + boundary + "--\r\n" + '\0';
  // libcurl puts the given Host line where its own would stand, right after the request line;
  // every other line keeps the block's order, and libcurl adds nothing but Content-Length.
  EXPECT_EQ(requests[1],
            "POST /uploadresults2.php?Ver=1.0.0.1&CompId=42 HTTP/1.1\r\n"
            "Host: " + server.host() + "\r\n"
            "Accept: image/gif, image/x-xbitmap, image/jpeg,image/pjpeg, */*\r\n"
            "Accept-Language: en-us,en;q=0.5\r\n"
            "Content-Type: multipart/form-data; boundary=" + boundary + "\r\n"
            "Accept-Encoding: gzip,deflate\r\n"
            "User-Agent: Mozilla/4.0 (compatible; MSIE 6.0; Windows NT 5.1; SV1; .NET CLR 2.0.50727; "
            ".NET CLR 3.0.4506.2152; .NET CLR 3.5.30729; .NET CLR 1.1.4322)\r\n"
            "Connection: Keep-Alive\r\n"
            "Cache-Control: no-cache\r\n"
            "Content-Length: " + std::to_string(body.size()) + "\r\n\r\n" + body);
}

TEST(HttpTransfers, AnErrorStatusOfTheProbeStillGetsThePostButAnUnreachableServerNothing) {
  Loopback_Server server([](const std::string& request) {
    if (request.rfind("GET", 0) == 0) return Loopback_Server::Reply{Loopback_Server::Mode::Answer,
                                                                    "HTTP/1.1 404 Not Found\r\nContent-Length: 0\r\n\r\n"};
    return Loopback_Server::Ok("[RESULT]1[/RESULT]");
  });
  EXPECT_EQ(Post_Multipart_Form(*Small_Record(server)), "[RESULT]1[/RESULT]");

  auto unreachable = std::make_unique<MY_UploadFileRecord>();
  unreachable->URL.Assign("http://127.0.0.1:1/uploadresults2.php");
  unreachable->HostName.Assign("127.0.0.1:1");
  EXPECT_EQ(Post_Multipart_Form(*unreachable, kShortLimits, kShortLimits), "");
}

TEST(HttpTransfers, ASilentServerEndsTheTransferWithinTheTimeOut) {
  // Silent at the probe, and silent after taking the POST.
  for (const bool probe_answered : {false, true}) {
    Loopback_Server server([probe_answered](const std::string& request) {
      if (probe_answered && request.rfind("GET", 0) == 0) return Loopback_Server::Ok("");
      return Loopback_Server::Reply{Loopback_Server::Mode::Silent, ""};
    });
    const auto start = Clock::now();
    EXPECT_EQ(Post_Multipart_Form(*Small_Record(server), kShortLimits, kShortLimits), "");
    EXPECT_GE(Seconds_Since(start), 1.0);
    EXPECT_LT(Seconds_Since(start), 3.5) << "probe answered: " << probe_answered;
    EXPECT_EQ(server.Requests().size(), probe_answered ? 2u : 1u);
  }
  Loopback_Server silent([](const std::string&) { return Loopback_Server::Reply{Loopback_Server::Mode::Silent, ""}; });
  const auto start = Clock::now();
  EXPECT_EQ(Get_Url_Text(silent.url("/x"), "", "", "", "", kShortLimits), "");
  EXPECT_LT(Seconds_Since(start), 3.5);
}

namespace {

// text compressed as gzip (window bits 31) or as HTTP's deflate, a zlib stream (15).
std::string Compressed(const std::string& text, int window_bits) {
  z_stream stream{};
  deflateInit2(&stream, Z_BEST_COMPRESSION, Z_DEFLATED, window_bits, 8, Z_DEFAULT_STRATEGY);
  std::string out(deflateBound(&stream, text.size()) + 32, '\0');
  stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(text.data()));
  stream.avail_in = static_cast<uInt>(text.size());
  stream.next_out = reinterpret_cast<Bytef*>(out.data());
  stream.avail_out = static_cast<uInt>(out.size());
  deflate(&stream, Z_FINISH);
  out.resize(stream.total_out);
  deflateEnd(&stream);
  return out;
}

}  // namespace

// The POST announces gzip and deflate (its header block is fixed), so a server may use them.
TEST(HttpTransfers, AReportsAnswerCompressedAsTheRequestAllowsIsReadDecoded) {
  for (const auto& [encoding, bits] : {std::pair{"gzip", 31}, std::pair{"deflate", 15}}) {
    SCOPED_TRACE(encoding);
    const std::string body = Compressed("[RESULT]1[/RESULT]", bits);
    Loopback_Server server([&](const std::string& request) {
      if (request.rfind("GET", 0) == 0) return Loopback_Server::Ok("");
      return Loopback_Server::Reply{Loopback_Server::Mode::Answer,
                                    "HTTP/1.1 200 OK\r\nContent-Encoding: " + std::string(encoding) +
                                        "\r\nContent-Length: " + std::to_string(body.size()) + "\r\n\r\n" + body};
    });
    EXPECT_EQ(Post_Multipart_Form(*Small_Record(server)), "[RESULT]1[/RESULT]");
  }
}

TEST(HttpTransfers, GetReturnsTheBodyUndecoded) {
  const std::string body = std::string("\x1f\x8b binary \0 body", 16);
  Loopback_Server server([&](const std::string&) {
    return Loopback_Server::Reply{Loopback_Server::Mode::Answer,
                                  "HTTP/1.1 200 OK\r\nContent-Encoding: gzip\r\nContent-Length: 16\r\n\r\n" + body};
  });
  EXPECT_EQ(Get_Url_Text(server.url("/program_version3.php?Id=1"), "", "", "", ""), body);
  ASSERT_EQ(server.Requests().size(), 1u);
  EXPECT_EQ(server.Requests()[0], "GET /program_version3.php?Id=1 HTTP/1.1\r\nHost: " + server.host() +
                                      "\r\nPragma: no-cache\r\n\r\n");
}

namespace {

class Recording_Bar : public Progress_Bar {
 public:
  void Set_Range(int minimum, int maximum) { range = {minimum, maximum}; }
  void Set_Position(int position) { positions.push_back(position); }
  std::pair<int, int> range{-1, -1};
  std::vector<int> positions;
};

Loopback_Server::Reply Body_Of(const std::string& body) { return Loopback_Server::Ok(body); }

}  // namespace

TEST(DownloadFile, StopsAtExactlyTheExpectedSizeAndShowsProgress) {
  const std::string body(5000, 'd');
  Loopback_Server server([&](const std::string&) { return Body_Of(body); });
  Scratch_Folder scratch;
  Recording_Bar bar;
  MY_DownloadRecord record;
  record.URL = server.url("/ads/1.png");
  record.FileName = scratch / "1.png";
  record.FileSize = 3000;
  record.Progressbar = &bar;
  EXPECT_TRUE(Download_File(record));
  EXPECT_EQ(std::filesystem::file_size(record.FileName), 3000u);
  EXPECT_EQ(bar.range, std::make_pair(0, 100));
  ASSERT_GE(bar.positions.size(), 2u);
  EXPECT_EQ(bar.positions.front(), 0);
  EXPECT_EQ(bar.positions.back(), 100);
  EXPECT_TRUE(std::is_sorted(bar.positions.begin(), bar.positions.end()));
}

TEST(DownloadFile, TheDigestDecidesAndAMismatchKeepsTheFile) {
  Loopback_Server server([](const std::string&) { return Body_Of("installer"); });
  Scratch_Folder scratch;
  MY_DownloadRecord record;
  record.URL = server.url("/setup.run");
  record.FileName = scratch / "setup.run";
  record.MD5 = QString::fromStdString(MD5_Of_Text("installer")).toLower().toStdString();
  EXPECT_TRUE(Download_File(record)) << "compared without regard to letter case";
  record.MD5 = MD5_Of_Text("something else");
  EXPECT_FALSE(Download_File(record));
  EXPECT_EQ(Read_Whole_File(record.FileName), "installer") << "the file stays for the caller to judge";
}

TEST(DownloadFile, MoreThanTheByteLimitFailsWithoutAnExpectedDigest) {
  Loopback_Server server([](const std::string&) { return Body_Of(std::string(200000, 'b')); });
  Scratch_Folder scratch;
  MY_DownloadRecord record;
  record.URL = server.url("/ads/huge.png");
  record.FileName = scratch / "huge.png";
  Transfer_Limits limits;
  limits.download_bytes = 100000;
  EXPECT_FALSE(Download_File(record, {}, limits));
  EXPECT_LE(std::filesystem::file_size(record.FileName), 100000u);
  limits.download_bytes = 200000;
  EXPECT_TRUE(Download_File(record, {}, limits)) << "exactly the limit is allowed";
}

TEST(DownloadFile, ASilentServerEndsAtTheTimeLimit) {
  // Nothing at all, and an answer whose body never comes.
  for (const auto& reply : {Loopback_Server::Reply{Loopback_Server::Mode::Silent, ""},
                            Loopback_Server::Reply{Loopback_Server::Mode::Answer_Then_Silent,
                                                   "HTTP/1.1 200 OK\r\nContent-Length: 100\r\n\r\n"}}) {
    Loopback_Server server([&](const std::string&) { return reply; });
    Scratch_Folder scratch;
    MY_DownloadRecord record;
    record.URL = server.url("/ads/2.jpg");
    record.FileName = scratch / "2.jpg";
    record.MD5 = MD5_Of_Text("banner");
    record.Download_TimeOut = 1;
    int pumps = 0;
    const auto start = Clock::now();
    EXPECT_FALSE(Download_File(record, [&] { ++pumps; }));
    EXPECT_GE(Seconds_Since(start), 1.0);
    EXPECT_LT(Seconds_Since(start), 3.5);
    EXPECT_GT(pumps, 0) << "the window is served while the download waits";
  }
}

TEST(DownloadFile, TheStopFlagEndsItAndWhatArrivedDoesNotCount) {
  Loopback_Server server([](const std::string&) {
    return Loopback_Server::Reply{Loopback_Server::Mode::Answer_Then_Silent,
                                  "HTTP/1.1 200 OK\r\nContent-Length: 1000\r\n\r\nfirst bytes"};
  });
  Scratch_Folder scratch;
  bool stop = false;
  MY_DownloadRecord record;
  record.URL = server.url("/big.run");
  record.FileName = scratch / "big.run";
  record.ExitApp = &stop;
  const auto start = Clock::now();
  // Pressed once the first bytes are in.
  const auto press_when_started = [&] {
    std::error_code ec;
    const auto size = std::filesystem::file_size(record.FileName, ec);
    stop = !ec && size > 0;
  };
  EXPECT_FALSE(Download_File(record, press_when_started)) << "a download cut short is no download";
  EXPECT_LT(Seconds_Since(start), 3.0) << "ended by the flag, long before any time-out";
  EXPECT_EQ(Read_Whole_File(record.FileName), "first bytes");
}
