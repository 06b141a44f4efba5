// The window's side of reporting: the start-up replays the queue, a finished run is reported
// with the window's own facts and its outcome shown in the status bar, and an empty server
// setting keeps the window off the network.
#include <gtest/gtest.h>

#include <QAction>
#include <QDesktopServices>
#include <QLabel>
#include <QMenu>
#include <QUrl>

#include <filesystem>

#include "../core/loopback_server.h"
#include "app/main_form.h"
#include "app/outside_links.h"
#include "window_wait.h"
#include "inventory/fixture_provider.h"
#include "reporting/message_queue.h"
#include "reporting/report_codec.h"

namespace {

// A machine with one drive whose disk has a model.
const char* const kMachine = R"({"classes":{
    "Win32_DiskDrive": [{"DeviceID": "\\\\.\\PHYSICALDRIVE0", "Index": 0, "Model": "Test Disk 1TB",
                         "FirmwareRevision": "FW1", "Size": {"type": 21, "value": "1000204886016"}}],
    "Win32_LogicalDisk": [{"DeviceID": "/", "DriveType": {"type": 19, "value": 3}, "FileSystem": "ext4",
                           "Size": {"type": 21, "value": "1000000000000"}}],
    "Win32_Processor": [{"Name": "Test CPU", "Manufacturer": "Maker"}],
    "Win32_OperatingSystem": [{"Caption": "Linux", "Version": "6.1", "OSArchitecture": "64-bit"}]},
  "volumes": {"/": {"file_system": "ext4", "drive_type": 2, "block_size": 4096, "free_blocks": 1,
                    "total_blocks": 2}},
  "extents": {"/": {"DiskNumber": 0, "StartingOffset": 1048576, "ExtentLength": 1000000000000}}})";

// Points the program at a server (or at none with an empty text) for one test.
class Server_Setting {
 public:
  explicit Server_Setting(const std::string& host) : old_(qgetenv("PLATTERSCOPE_SERVER")) {
    qputenv("PLATTERSCOPE_SERVER", QByteArray::fromStdString(host));
  }
  ~Server_Setting() { qputenv("PLATTERSCOPE_SERVER", old_); }

 private:
  QByteArray old_;
};

std::size_t Queued() {
  std::error_code ec;
  std::size_t count = 0;
  for (const auto& entry : std::filesystem::directory_iterator(Queue_Folder(), ec))
    count += entry.path().extension() == ".dat";
  return count;
}

void Empty_Queue() {
  std::error_code ec;
  std::filesystem::remove_all(Queue_Folder(), ec);
}

const std::string kKey = "0123456789abcdef0123456789abcdef";

std::string View_Tag(const std::string& key) { return "[VIEW]" + key + "[/VIEW]"; }

std::string Status_Of(TMainForm& form) { return form.findChild<QLabel*>("StatusText")->text().toStdString(); }

// Gives form the fixture machine and runs its start-up; returns a finished run with its first
// rate, ready to be reported.
Run_Result Start_With_A_Finished_Run(TMainForm& form, Fixture_Provider& machine) {
  Empty_Queue();
  std::string reason;
  EXPECT_TRUE(machine.Load_Text(kMachine, reason)) << reason;
  form.Use_Inventory(machine);
  EXPECT_TRUE(Activate_And_Wait(form));
  Run_Result run;
  run.outcome = Run_Outcome::Completed;
  run.seconds = 20;
  run.tests[0].rate = 512.5;
  return run;
}

// Takes the place of the user's browser: keeps the addresses the program opens, and those it
// shows instead when it runs as root.
class Url_Recorder : public QObject {
  Q_OBJECT

 public:
  Url_Recorder() {
    QDesktopServices::setUrlHandler(QStringLiteral("http"), this, "Open");
    Show_Outside_Links_As_Root(this, [this](const QUrl& url) { Open(url); });
  }
  ~Url_Recorder() override { QDesktopServices::unsetUrlHandler(QStringLiteral("http")); }
  std::vector<std::string> urls;

 public slots:
  void Open(const QUrl& url) { urls.push_back(url.toString().toStdString()); }
};

}  // namespace

TEST(ReportingWindow, StartUpReplaysTheQueueUnlessOffline) {
  Loopback_Server server([](const std::string&) { return Loopback_Server::Ok("[RESULT]1[/RESULT]" + View_Tag(kKey)); });
  Empty_Queue();
  auto record = std::make_unique<MY_UploadFileRecord>();
  record->URL.Assign(server.url("/uploadresults2.php?Ver=1&CompId=7"));
  record->HostName.Assign(server.host());
  ASSERT_TRUE(Save_Message_Queue(*record, Queue_Folder(), [](const std::string&) {}));
  TMainForm form;
  {
    Server_Setting offline("");
    EXPECT_TRUE(Activate_And_Wait(form));
    EXPECT_TRUE(server.Requests().empty());
    EXPECT_EQ(Queued(), 1u);
  }
  QAction* compare = form.findChild<QAction*>("CompareOnline1");
  EXPECT_FALSE(compare->isVisible());
  Server_Setting online(server.host());
  EXPECT_TRUE(Activate_And_Wait(form));
  EXPECT_EQ(server.Requests().size(), 3u) << "the probe, the POST and then the version check";
  EXPECT_EQ(Queued(), 0u);
  EXPECT_TRUE(compare->isVisible()) << "a queued report confirmed now, with the key, counts as well";
}

TEST(ReportingWindow, AFinishedRunIsReportedWithTheWindowsFacts) {
  Loopback_Server server([](const std::string&) { return Loopback_Server::Ok("[RESULT]1[/RESULT]"); });
  Fixture_Provider machine;
  TMainForm form;
  const Run_Result run = Start_With_A_Finished_Run(form, machine);
  Server_Setting online(server.host());  // after the start-up, whose version check would wait on this thread's server
  form.Send_Result_To_Database(run);
  ASSERT_TRUE(Transfers_Over(form));
  EXPECT_EQ(Status_Of(form), "OK");
  const auto requests = server.Requests();
  ASSERT_EQ(requests.size(), 2u);
  EXPECT_NE(requests[1].find(Hex_Encode(form.Computer_Id(), 1)), std::string::npos);
  EXPECT_NE(requests[1].find(Hex_Encode("Test Disk 1TB", 1)), std::string::npos) << "the selected drive's model";
  EXPECT_NE(requests[1].find("name=\"WRITE\"\r\n\r\n" + Hex_Encode("512.50", 1)), std::string::npos);

  Server_Setting offline("");
  form.Send_Result_To_Database(run);
  ASSERT_TRUE(Transfers_Over(form));
  EXPECT_EQ(Status_Of(form), "Not sent (offline)");
  EXPECT_EQ(server.Requests().size(), 2u);
  EXPECT_EQ(Queued(), 0u);
}

TEST(ReportingWindow, AConfirmedReportOffersTheDrivesComparisonOnline) {
  std::string verdict = "[RESULT]0[/RESULT]";
  Loopback_Server server([&verdict](const std::string&) { return Loopback_Server::Ok(verdict); });
  Fixture_Provider machine;
  TMainForm form;
  const Run_Result run = Start_With_A_Finished_Run(form, machine);
  Server_Setting online(server.host());
  QAction* compare = form.findChild<QAction*>("CompareOnline1");
  ASSERT_NE(compare, nullptr);
  QMenu* help = form.findChild<QMenu*>("Help1");
  ASSERT_TRUE(help->actions().contains(compare));
  EXPECT_EQ(compare->text(), "Compare my drive online");

  form.Send_Result_To_Database(run);
  ASSERT_TRUE(Transfers_Over(form));
  EXPECT_EQ(Status_Of(form), "FAIL,Queue OK");
  EXPECT_FALSE(compare->isVisible()) << "nothing to compare before a report is confirmed";
  Empty_Queue();
  verdict = "[RESULT]1[/RESULT]" + View_Tag(kKey);
  form.Send_Result_To_Database(run);
  ASSERT_TRUE(Transfers_Over(form));
  EXPECT_EQ(Status_Of(form), "OK");
  EXPECT_TRUE(compare->isVisible());
  verdict = "[RESULT]1[/RESULT]";  // the server gives the key once: later reports keep it
  form.Send_Result_To_Database(run);
  ASSERT_TRUE(Transfers_Over(form));
  EXPECT_EQ(Status_Of(form), "OK");

  Url_Recorder browser;
  emit help->aboutToShow();
  ASSERT_TRUE(compare->isEnabled());
  compare->trigger();
  EXPECT_EQ(browser.urls, std::vector<std::string>{"http://" + server.host() + "/compare?key=" + kKey});
  TMainForm next_start;
  EXPECT_TRUE(next_start.findChild<QAction*>("CompareOnline1")->isVisible()) << "the key is kept for the next start";

  Server_Setting offline("");
  emit help->aboutToShow();
  EXPECT_FALSE(compare->isEnabled());
  form.CompareOnline1Click();
  EXPECT_EQ(browser.urls.size(), 1u) << "no address opened while offline";
}

#include "reporting_window_test.moc"
