// Every transfer has an end and only a whole answer counts: a loopback server that answers
// short, with an error status, too long, dripping a byte at a time or not at all; a stop
// token that ends any transfer within a second; redirects that stay on the request's server.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <functional>
#include <iostream>
#include <stop_token>
#include <thread>

#include "loopback_server.h"
#include "reporting/download.h"
#include "reporting/http_client.h"
#include "reporting/result_report.h"
#include "scratch_folder.h"
#include "update_fixture.h"

namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;
using Reply = Loopback_Server::Reply;
using Mode = Loopback_Server::Mode;

double Seconds_Since(Clock::time_point start) { return std::chrono::duration<double>(Clock::now() - start).count(); }

std::unique_ptr<MY_UploadFileRecord> Record_For(const Loopback_Server& server) {
  auto record = std::make_unique<MY_UploadFileRecord>();
  record->URL.Assign(server.url("/uploadresults2.php?Ver=1.0.0.1&CompId=42"));
  record->HostName.Assign(server.host());
  record->Variables[0].Assign("ID=3432");
  return record;
}

// A script that answers the probe (any GET of the upload script) at once and everything
// else with reply.
Loopback_Server::Script Probe_Then(const Reply& reply) {
  return [reply](const std::string& request) {
    return request.rfind("GET /uploadresults2.php", 0) == 0 ? Loopback_Server::Ok("") : reply;
  };
}

}  // namespace

TEST(TransferEnds, AnAnswerThatDidNotArriveWholeOrWithAnotherStatusIsNotUsed) {
  std::string huge = "[RESULT]1[/RESULT]";
  huge.resize(16 * 1024 * 1024 + 1, 'x');
  const struct {
    const char* what;
    Reply reply;
    bool answer_only = false;  // a limit of answers, not of downloads
  } cases[] = {
      {"short body", {Mode::Answer, "HTTP/1.1 200 OK\r\nContent-Length: 100\r\n\r\n[RESULT]1[/RESULT]"}},
      {"chunks cut",
       {Mode::Answer, "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n12\r\n[RESULT]1[/RESULT]\r\n"}},
      {"status 500", {Mode::Answer, "HTTP/1.1 500 Oops\r\nContent-Length: 18\r\n\r\n[RESULT]1[/RESULT]"}},
      {"status 404", {Mode::Answer, "HTTP/1.1 404 Not Found\r\nContent-Length: 18\r\n\r\n[RESULT]1[/RESULT]"}},
      {"status 204", {Mode::Answer, "HTTP/1.1 204 No Content\r\n\r\n"}},
      {"over 16 MiB", Loopback_Server::Ok(huge), true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    Loopback_Server server(Probe_Then(c.reply));
    EXPECT_EQ(Get_Url_Text(server.url("/program_version3.php"), "", "", "", ""), "");
    EXPECT_EQ(Post_Multipart_Form(*Record_For(server)), "");
    if (c.answer_only) continue;
    Scratch_Folder scratch;
    MY_DownloadRecord record;
    record.URL = server.url("/ads/1.png");
    record.FileName = scratch / "1.png";
    EXPECT_FALSE(Download_File(record)) << "no MD5 to catch it: the answer itself must be whole";
  }
}

TEST(TransferEnds, AServerDrippingBytesEndsAtTheOverallLimitOrTheMinimumRate) {
  // One byte every 200 ms keeps the quiet time short for ever.
  Loopback_Server server([](const std::string&) {
    return Reply{Mode::Answer_Then_Drip, "HTTP/1.1 200 OK\r\nContent-Length: 100000\r\n\r\n", 200ms};
  });
  Transfer_Limits overall{1000ms, 1000ms};
  overall.overall = 1500ms;
  auto start = Clock::now();
  EXPECT_EQ(Get_Url_Text(server.url("/program_version3.php"), "", "", "", "", overall), "");
  EXPECT_GE(Seconds_Since(start), 1.4);
  EXPECT_LT(Seconds_Since(start), 2.5);

  Transfer_Limits rate{1000ms, 1000ms};
  rate.minimum_rate = 100;
  rate.rate_window = 1000ms;
  Body_Download download;
  download.url = server.url("/installers/setup.run");
  std::string why;
  start = Clock::now();
  EXPECT_FALSE(Download_Into(download, [](const char*, std::size_t) { return true; }, rate, {}, why));
  EXPECT_EQ(why, "less than 100 bytes/s over 1000 ms");
  EXPECT_LT(Seconds_Since(start), 2.0);
}

TEST(TransferEnds, TheProgramsLimitsForEachKindOfTransfer) {
  EXPECT_EQ(Answer_Limits().overall, 60s);
  EXPECT_EQ(Report_Limits().overall, 120s);
  EXPECT_EQ(Banner_Limits().overall, 60s);
  EXPECT_EQ(Installer_Limits().minimum_rate, 10000);
  EXPECT_EQ(Installer_Limits().rate_window, 30s);
  for (const Transfer_Limits& limits : {Answer_Limits(), Report_Limits(), Banner_Limits(), Installer_Limits()}) {
    EXPECT_EQ(limits.connect, 60s);
    EXPECT_EQ(limits.idle, 30s);
  }
}

// Each transfer against a server that never answers, with the program's own limits: only the
// stop token can end it, and it must within a second.
TEST(TransferEnds, AStopEndsEveryTransferWithinASecond) {
  const Reply silent{Mode::Silent, ""};
  Loopback_Server server(Probe_Then(silent));
  Loopback_Server quiet([&](const std::string&) { return silent; });
  Scratch_Folder scratch;
  Test_Key key;
  Update_Settings settings = Test_Settings(scratch, quiet, key.public_key);
  settings.limits = {};
  Fake_Update_Host host;
  Update_Checker checker(host);
  const auto replay = [&](std::stop_token stop) {
    Report_Channel channel = Program_Report_Channel(stop);
    channel.offline = false;
    channel.queue_folder = scratch / "queue";
    ASSERT_TRUE(Save_Message_Queue(*Record_For(server), channel.queue_folder, [](const std::string&) {}));
    std::vector<Queue_Outcome> outcomes;
    Replay_Message_Queue(channel, [](const std::string&) {}, &outcomes);
    ASSERT_EQ(outcomes.size(), 1u);
    EXPECT_EQ(outcomes[0].kind, Queue_Outcome::Kind::Kept);
  };
  const struct {
    const char* what;
    std::function<void(std::stop_token)> transfer;
  } cases[] = {
      {"probe",
       [&](std::stop_token stop) { Post_Multipart_Form(*Record_For(quiet), Answer_Limits(), Report_Limits(), stop); }},
      {"POST",
       [&](std::stop_token stop) { Post_Multipart_Form(*Record_For(server), Answer_Limits(), Report_Limits(), stop); }},
      {"GET",
       [&](std::stop_token stop) { Get_Url_Text(quiet.url("/version"), "", "", "", "", Answer_Limits(), stop); }},
      {"download", [&](std::stop_token stop) {
         MY_DownloadRecord record;
         record.URL = quiet.url("/ads/1.png");
         record.FileName = scratch / "1.png";
         record.Download_TimeOut = 60;
         Download_File(record, {}, Banner_Limits(), stop);
       }},
      {"queue replay", replay},
      {"version check", [&](std::stop_token stop) { checker.Check_New_Version(settings, nullptr, stop); }},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    std::jthread worker(c.transfer);
    std::this_thread::sleep_for(300ms);
    const auto asked = Clock::now();
    worker.request_stop();
    worker.join();
    const double took = Seconds_Since(asked);
    std::cout << c.what << ": ended " << took * 1000 << " ms after the stop\n";
    EXPECT_LT(took, 1.0);
  }
  EXPECT_TRUE(host.enabled) << "a stopped check still puts the controls back";
}

TEST(TransferEnds, RedirectsAreFollowedOnlyOnTheRequestsOwnServer) {
  Loopback_Server elsewhere(Loopback_Server::Serve({{"/x", "elsewhere"}}));
  Loopback_Server server;
  const auto moved = [](const std::string& location) {
    return Reply{Mode::Answer, "HTTP/1.1 302 Found\r\nLocation: " + location + "\r\nContent-Length: 5\r\n\r\nmoved"};
  };
  server.Set_Script([&](const std::string& request) {
    const std::string target = Loopback_Server::Target(request);
    if (target == "/here") return Loopback_Server::Ok("here");
    if (target == "/same") return moved(server.url("/here"));
    if (target == "/relative") return moved("/here");
    if (target == "/port") return moved(elsewhere.url("/x"));
    if (target == "/name") return moved("http://localhost:" + server.host().substr(10) + "/here");
    if (target == "/scheme") return moved("https://" + server.host() + "/here");
    if (target == "/loop") return moved("/loop");
    return Loopback_Server::Not_Found();
  });
  EXPECT_EQ(Get_Url_Text(server.url("/same"), "", "", "", ""), "here");
  EXPECT_EQ(Get_Url_Text(server.url("/relative"), "", "", "", ""), "here");
  for (const char* away : {"/port", "/name", "/scheme", "/loop"}) {
    SCOPED_TRACE(away);
    EXPECT_EQ(Get_Url_Text(server.url(away), "", "", "", ""), "");
  }
  EXPECT_TRUE(elsewhere.Requests().empty()) << "another server is never reached";
  Scratch_Folder scratch;
  MY_DownloadRecord record;
  record.URL = server.url("/same");
  record.FileName = scratch / "here";
  EXPECT_TRUE(Download_File(record));
  EXPECT_EQ(Read_Whole_File(record.FileName), "here");
}
