// The report of a run as the server receives it: forty entries in their order, values that
// decode back to the profile and the rates, a signature and a check value the server can
// recompute, the verdicts that count as confirmed, and what is queued (or not) otherwise.
#include <gtest/gtest.h>

#include <QLocale>

#include <algorithm>
#include <chrono>
#include <map>
#include <regex>
#include <filesystem>
#include <stdexcept>

#include "app/computer_id.h"
#include "comma_locale.h"
#include "common/global_functions.h"
#include "common/result_text.h"
#include "loopback_server.h"
#include "reporting/http_client.h"
#include "reporting/report_codec.h"
#include "reporting/result_report.h"
#include "scratch_folder.h"

namespace fs = std::filesystem;

namespace {

using namespace std::chrono_literals;

const char* const kRateKeys[] = {"WRITE", "READ", "512BW", "512BR", "1KW",  "1KR",  "4KW",  "4KR",  "64KW",
                                 "64KR",  "128KW", "128KR", "512KW", "512KR", "1MBW", "1MBR", "4MBW", "4MBR"};
const std::string kLongName(100, 'N');

class Fake_Report_Host : public Report_Host {
 public:
  void Display_Loading_Panel(bool show, const std::string& text) override {
    panel_visible = show;
    if (show) panel_texts.push_back(text);
  }
  void Set_Status_Text(const std::string& text) override { status = text; }
  void Local_Writelog(const std::string& text) override { log.push_back(text); }
  bool Logged(const std::string& line) const { return std::find(log.begin(), log.end(), line) != log.end(); }

  bool panel_visible = false;
  std::vector<std::string> panel_texts;
  std::string status;
  std::vector<std::string> log;
};

// A finished run on a machine with a known profile; rates cycle through three shapes.
struct Finished_Run {
  Finished_Run() {
    auto& os = profile.MyOperatingSystem[0];
    os.Version = "6.1.7601";
    os.OSArchitecture = "64-bit";
    os.Caption = "Debian GNU/Linux 12";
    os.CSDVersion = "SP1";
    auto& cpu = profile.MyProcessors[0];
    cpu.Manufacturer = "AuthenticAMD";
    cpu.MaxClockSpeed = "2596";
    cpu.Name = kLongName;
    cpu.ProcessorType = "3";
    profile.MyIDEControllers[0].Name = "Virtio 1.0 block device";
    auto& computer = profile.MyComputerSystems[0];
    computer.Manufacturer = "QEMU";
    computer.Model = "Standard PC";
    computer.TotalPhysicalMemoryFormatted = "23.5 GB";
    drive = {"/", 271000000000, "271 GB", "Generic Disk", "12345678", "3", "ext4", "2.1"};
    const double rates[] = {123.456, 1.23456, 1234.56};
    for (int k = 0; k < 18; ++k) {
      EXPECT_EQ(result.tests[k].key, kRateKeys[k]);
      result.tests[k].rate = rates[k % 3];
    }
  }
  Report_Facts Facts(const std::string& host) const {
    return {"20230426153012345", 20, "1.0.0.1", host, &profile, &drive, &result};
  }
  Machine_Profile profile;
  TMyLogicalDisks drive;
  Run_Result result;
};

// The form entries of a POST's body, name and value, in their order.
std::vector<std::pair<std::string, std::string>> Form_Entries(const std::string& request) {
  std::vector<std::pair<std::string, std::string>> entries;
  const std::string marker = "Content-Disposition: form-data; name=\"";
  for (std::size_t at = request.find(marker); at != std::string::npos; at = request.find(marker, at)) {
    at += marker.size();
    const std::size_t name_end = request.find('"', at);
    const std::size_t value_at = request.find("\r\n\r\n", name_end) + 4;
    const std::size_t value_end = request.find("\r\n", value_at);
    entries.emplace_back(request.substr(at, name_end - at), request.substr(value_at, value_end - value_at));
  }
  return entries;
}

Report_Channel Channel_To(const std::string& queue, const Transfer_Limits& limits = Report_Limits()) {
  return {false, queue,
          [limits](const MY_UploadFileRecord& record) { return Post_Multipart_Form(record, limits, limits); }};
}

std::size_t Queued(const std::string& queue) {
  std::error_code ec;
  std::size_t count = 0;
  for (const auto& entry : fs::directory_iterator(queue, ec)) count += entry.path().extension() == ".dat";
  return count;
}

}  // namespace

TEST(ResultReport, ACompleteRunArrivesSignedCheckedAndDecodable) {
  Loopback_Server server([](const std::string&) { return Loopback_Server::Ok("<p>[RESULT]1[/RESULT]</p>"); });
  Scratch_Folder scratch;
  Finished_Run run;
  Fake_Report_Host host;
  EXPECT_EQ(Send_Result_To_Database(host, run.Facts(server.host()), Channel_To(scratch / "queue")), "OK");
  EXPECT_EQ(host.status, "OK");
  EXPECT_FALSE(host.panel_visible);
  EXPECT_EQ(host.panel_texts, std::vector<std::string>{"Updating database, please wait..."});
  EXPECT_TRUE(host.Logged("Sending result to database OK"));
  EXPECT_EQ(host.log.back(), "Sending result to database Finish");
  EXPECT_EQ(Queued(scratch / "queue"), 0u);

  const auto requests = server.Requests();
  ASSERT_EQ(requests.size(), 2u);
  EXPECT_EQ(requests[1].substr(0, requests[1].find("\r\n")),
            "POST /uploadresults2.php?Ver=1.0.0.1&CompId=20230426153012345 HTTP/1.1");
  const auto entries = Form_Entries(requests[1]);
  ASSERT_EQ(entries.size(), 40u);
  const std::vector<std::pair<std::string, std::string>> profile_values = {
      {"ID", "20230426153012345"},   {"SIG", Report_Signature("20230426153012345", server.host())},
      {"TT", "20"},                  {"PV", "1.0.0.1"},
      {"OS", "6.1.7601"},            {"OSA", "64-bit"},
      {"OSN", "Debian GNU/Linux 12 (SP1)"}, {"SM", "Generic Disk"},
      {"SS", "271 GB"},              {"ST", "3"},
      {"SSE", "12345678"},           {"SFST", "ext4"},
      {"MA", "AuthenticAMD"},        {"CS", "2596"},
      {"PN", kLongName.substr(0, 63)}, {"PT", "3"},  // "PN=" and 63 × 4 digits fill 255
      {"CN", "Virtio 1.0 block device"}, {"CM", "QEMU"},
      {"CMO", "Standard PC"},        {"CME", "23.5 GB"},
      {"SF", "2.1"}};
  const char* const rate_texts[] = {"123.50", "1.23", "1235.00"};
  std::vector<std::string> joined;
  for (std::size_t k = 0; k < 39; ++k) {
    const auto& [key, value] = entries[k];
    const bool is_rate = k >= profile_values.size();
    EXPECT_EQ(key, is_rate ? kRateKeys[k - 21] : profile_values[k].first);
    EXPECT_EQ(Decode_Report_Value(value), is_rate ? rate_texts[(k - 21) % 3] : profile_values[k].second) << key;
    joined.push_back(key + "=" + value);
  }
  EXPECT_EQ(entries[14].second.size(), 252u) << "the PN entry is cut to 255 characters";
  EXPECT_EQ(entries[39].first, "MD5");
  EXPECT_EQ(entries[39].second, Report_Check_Value(joined)) << "computed over the cut entry, as the server does";
  std::string concatenation;
  for (const auto& entry : joined) concatenation += entry;
  EXPECT_TRUE(host.Logged(concatenation));
}

TEST(ResultReport, AServerNamedWithItsSchemeIsAddressedWithItAndSignedWithItsHostAlone) {
  Finished_Run run;
  auto record = std::make_unique<MY_UploadFileRecord>();
  Compose_Result_Report(run.Facts("https://results.example:8443"), *record, [](const std::string&) {});
  EXPECT_EQ(record->URL.Text(), "https://results.example:8443/uploadresults2.php?Ver=1.0.0.1&CompId=20230426153012345");
  EXPECT_EQ(record->HostName.Text(), "results.example:8443");
  EXPECT_EQ(record->Variables[1].Bytes(),
            "SIG=" + Hex_Encode(Report_Signature("20230426153012345", "results.example:8443"), 1));
}

TEST(ResultReport, RatesUseTheLocalesDecimalSeparatorAndOnlyMeasuredTestsCount) {
  Finished_Run run;
  run.result.tests[1].rate = 0;  // a test that produced no rate
  const QLocale previous;
  QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
  auto record = std::make_unique<MY_UploadFileRecord>();
  Compose_Result_Report(run.Facts("h"), *record, [](const std::string&) {});
  QLocale::setDefault(previous);
  EXPECT_EQ(record->Variables[21].Bytes(), "WRITE=" + Hex_Encode("123,50", 1));
  EXPECT_EQ(record->Variables[22].Bytes().substr(0, 6), "512BW=") << "READ is left out";
  EXPECT_EQ(record->Variables[38].Bytes().substr(0, 4), "MD5=");
  EXPECT_TRUE(record->Variables[39].Empty());
}

// A desktop whose locale writes numbers with its own digits: the screen keeps them, but what
// goes to the server (the report's values, its URL) and the names of the program's files
// are written with ASCII digits.
TEST(ResultReport, InALocaleWithItsOwnDigitsTheReportAndFileNamesAreAscii) {
  Native_Digits_Locale arabic;
  ASSERT_TRUE(arabic.active());
  EXPECT_EQ(Result_Text(14.59), "\u0661\u0664\u066B\u0665\u0669") << "the screen keeps the user's digits";
  Finished_Run run;
  run.drive.SizeFormatted = Format_Size(271000000000, "0.##", false);
  run.profile.MyComputerSystems[0].TotalPhysicalMemoryFormatted = Format_Size(25231622144, "0.##", true);
  run.result.tests[6].rate = 14.59;
  run.result.tests[7].rate = 12345.6;
  auto record = std::make_unique<MY_UploadFileRecord>();
  Compose_Result_Report(run.Facts("h"), *record, [](const std::string&) {});
  std::map<std::string, std::string> values;
  for (const auto& variable : record->Variables) {
    const std::string entry = variable.Bytes();
    if (entry.empty() || entry.rfind("MD5=", 0) == 0) continue;
    const std::size_t eq = entry.find('=');
    values[entry.substr(0, eq)] = Hex_Decode(entry.substr(eq + 1), 2).value_or("?");
  }
  EXPECT_EQ(values["SS"], "271 GB");
  EXPECT_EQ(values["CME"], "23.5 GB");
  EXPECT_EQ(values["4KW"], "14.59");
  EXPECT_EQ(values["4KR"], "1.235E04");
  EXPECT_EQ(values["WRITE"], "123.50");
  EXPECT_EQ(values["TT"], "20");
  for (const auto& [key, value] : values)
    EXPECT_TRUE(std::all_of(value.begin(), value.end(), [](char c) { return c > 0 && c < 0x7f; })) << key << "=" << value;
  EXPECT_TRUE(std::regex_match(record->URL.Bytes(), std::regex("http://h/uploadresults2\\.php\\?Ver=1\\.0\\.0\\.1&CompId=[0-9]{17}")))
      << record->URL.Bytes();

  EXPECT_TRUE(std::regex_match(New_Computer_Id(QDateTime::currentDateTime()), std::regex("[0-9]{17}")));
  const std::string name = Make_Unique_Name("/q", "", ".dat");
  EXPECT_TRUE(std::regex_match(name, std::regex("/q/[0-9]+\\.dat"))) << name;
}

TEST(ResultReport, OnlyExactlyOneBetweenTheTagsIsConfirmedEverythingElseIsQueued) {
  struct Case {
    Loopback_Server::Reply reply;
    const char* status;
  };
  const auto answer = [](const std::string& body) { return Loopback_Server::Ok(body); };
  const Case cases[] = {
      {answer("[result]1[/result]"), "OK"},
      {answer("[RESULT]1[/RESULT][VIEW]0123456789abcdef0123456789abcdef[/VIEW]"), "OK"},  // what follows is not read
      {answer("[RESULT] 1[/RESULT]"), "FAIL,Queue OK"},
      {answer("[RESULT]1 [/RESULT]"), "FAIL,Queue OK"},
      {answer("[RESULT]0[/RESULT]"), "FAIL,Queue OK"},
      {answer(""), "FAIL,Queue OK"},
      {answer("<html>502 Bad Gateway</html>"), "FAIL,Queue OK"},
      {{Loopback_Server::Mode::Close, ""}, "FAIL,Queue OK"},
      // A "1" in an answer that is not whole, or not a success, confirms nothing.
      {{Loopback_Server::Mode::Answer,
        "HTTP/1.1 500 Internal Server Error\r\nContent-Length: 18\r\n\r\n[RESULT]1[/RESULT]"}, "FAIL,Queue OK"},
      {{Loopback_Server::Mode::Answer, "HTTP/1.1 200 OK\r\nContent-Length: 40\r\n\r\n[RESULT]1[/RESULT]"},
       "FAIL,Queue OK"},
  };
  for (const Case& c : cases) {
    Loopback_Server server([&](const std::string& request) {
      return request.rfind("GET", 0) == 0 ? answer("") : c.reply;
    });
    Scratch_Folder scratch;
    Finished_Run run;
    Fake_Report_Host host;
    EXPECT_EQ(Send_Result_To_Database(host, run.Facts(server.host()), Channel_To(scratch / "q")), c.status)
        << c.reply.bytes;
    EXPECT_EQ(Queued(scratch / "q"), c.status == std::string("OK") ? 0u : 1u);
    EXPECT_TRUE(host.Logged(c.status == std::string("OK") ? "Sending result to database OK" : c.status));
  }
}

TEST(ResultReport, ASilentServerCostsOnlyTheTimeOutAndTheReportIsQueued) {
  Loopback_Server server([](const std::string&) { return Loopback_Server::Reply{Loopback_Server::Mode::Silent, ""}; });
  Scratch_Folder scratch;
  Finished_Run run;
  Fake_Report_Host host;
  const auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(Send_Result_To_Database(host, run.Facts(server.host()), Channel_To(scratch / "q", {1000ms, 1000ms})),
            "FAIL,Queue OK");
  EXPECT_LT(std::chrono::steady_clock::now() - start, 3500ms) << "the window is held no longer than the time-out";
  EXPECT_EQ(Queued(scratch / "q"), 1u);
}

TEST(ResultReport, AReportThatCannotBeComposedIsNeitherSentNorQueued) {
  struct Case {
    bool no_model;
    const char* line;
  };
  for (const Case& c : {Case{true, "Result not sent: the drive has no model"},
                        Case{false, "Result not sent: no computer identifier"}}) {
    Loopback_Server server;
    Scratch_Folder scratch;
    Finished_Run run;
    Report_Facts facts = run.Facts(server.host());
    if (c.no_model) run.drive.Model.clear();
    else facts.computer_id.clear();
    Fake_Report_Host host;
    EXPECT_EQ(Send_Result_To_Database(host, facts, Channel_To(scratch / "q")), "FAIL");
    EXPECT_EQ(host.status, "FAIL");
    EXPECT_TRUE(host.Logged(c.line));
    EXPECT_TRUE(server.Requests().empty());
    EXPECT_EQ(Queued(scratch / "q"), 0u);
    EXPECT_FALSE(host.panel_visible);
  }
}

TEST(ResultReport, OfflineMeansNoTrafficAndSaysSo) {
  Loopback_Server server;
  Scratch_Folder scratch;
  Finished_Run run;
  Fake_Report_Host host;
  Report_Channel channel = Channel_To(scratch / "q");
  channel.offline = true;
  EXPECT_EQ(Send_Result_To_Database(host, run.Facts(server.host()), channel), "Not sent (offline)");
  EXPECT_EQ(host.status, "Not sent (offline)");
  EXPECT_TRUE(server.Requests().empty());
  EXPECT_EQ(Queued(scratch / "q"), 0u);
}

TEST(ResultReport, AnErrorWhileSendingStillHidesThePanelLogsTheEndAndQueuesTheReport) {
  Scratch_Folder scratch;
  Finished_Run run;
  Fake_Report_Host host;
  const Report_Channel channel{false, scratch / "q",
                               [](const MY_UploadFileRecord&) -> std::string { throw std::runtime_error("boom"); }};
  EXPECT_THROW(Send_Result_To_Database(host, run.Facts("h"), channel), std::runtime_error);
  EXPECT_FALSE(host.panel_visible);
  EXPECT_EQ(host.log.back(), "Sending result to database Finish");
  EXPECT_EQ(host.status, "FAIL,Queue OK");
  EXPECT_EQ(Queued(scratch / "q"), 1u);
}
