// The window's run path end to end: Start, the run on its worker over the in-memory disk,
// what it tells shown on the window while the window stays free, Stop, and the result taken
// as a value into the labels, the graph and the grid.
#include <gtest/gtest.h>

#include <cerrno>

#include <QFrame>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>

#include <chrono>
#include <filesystem>
#include <thread>

#include "../core/loopback_server.h"
#include "common/result_text.h"
#include "display/device_marks.h"
#include "reporting/message_queue.h"
#include "window_run.h"

namespace {

bool Panel_Shows(Window_Rig& rig, const QString& text) {
  return !rig.Child<QFrame>("loadingpanel")->isHidden() && rig.Child<QLabel>("loadinglabel")->text() == text;
}

}  // namespace

TEST(WindowRunTest, AWholeRunShowsEveryResultAddsItsRowAndEndsIdle) {
  Window_Rig rig;
  auto* start = rig.Child<QPushButton>("StartButton");
  rig.Press_Start();
  // The press returns at once: the button reads "Stop", disabled for the pause after Start.
  EXPECT_TRUE(rig.form.Run_Going());
  EXPECT_EQ(start->text(), "Stop");
  ASSERT_TRUE(rig.Wait_Idle());

  ASSERT_EQ(rig.form.Grid()->Runs().size(), 1u);
  const Run_Record& row = rig.form.Grid()->Runs()[0];
  EXPECT_EQ(row.run.outcome, Run_Outcome::Completed);
  EXPECT_EQ(row.run.seconds, 1);
  EXPECT_EQ(row.drive.rfind("/srv/scratch/", 0), 0u) << row.drive;
  for (int i = 0; i < kPlannedTestCount; ++i) {
    const Test_Result& test = row.run.tests[i];
    const std::string label = kPlannedTests[i].TestSpeedLabel;
    EXPECT_GT(test.rate, 0.0) << test.key;
    EXPECT_EQ(rig.Label(label).toStdString(), Result_Text(test.rate)) << label;
    EXPECT_EQ(rig.Label_Colour(label), kResultLabelColour) << label;
    EXPECT_EQ(MyGraph.GraphColumn[i].Value, test.rate) << label;
  }
  EXPECT_EQ(rig.Child<QLabel>("StatusText")->text(), "Not sent (offline)");  // reported: the tests keep offline
  EXPECT_TRUE(rig.Child<QFrame>("loadingpanel")->isHidden());
  EXPECT_EQ(start->text(), "Start");
  EXPECT_TRUE(start->isEnabled());
  EXPECT_TRUE(rig.Child<QWidget>("TargetDriveComboBox")->isEnabled());
  EXPECT_TRUE(rig.Child<QWidget>("RunProgress")->isHidden());
  EXPECT_TRUE(rig.disk.Paths_Under("/srv/scratch").empty());
}

TEST(WindowRunTest, WhileATestRunsItsLabelShowsTheRateSoFarDimmedAndTheWindowStaysFree) {
  Window_Rig rig;
  // A file of the 4K write, the third file test, well into it.
  rig.Hold_At("create", "/temp-3000.tmp", 3);
  rig.Press_Start();
  ASSERT_TRUE(rig.Wait_Held());
  EXPECT_TRUE(QTest::qWaitFor([&] { return Panel_Shows(rig, "Random 4K Write  Start..."); }, 1000));
  // The run waits on its worker; the window goes on: its timers fire, its events arrive.
  bool fired = false;
  QTimer::singleShot(10, [&] { fired = true; });
  EXPECT_TRUE(QTest::qWaitFor([&] { return fired; }, 1000));
  EXPECT_TRUE(QTest::qWaitFor([&] { return rig.Label("test3W").toDouble() > 0.0; }, 2000)) << "the rate so far";
  EXPECT_EQ(rig.Label_Colour("test3W"), kLiveResultColour);
  EXPECT_EQ(rig.Label("test3R").toDouble(), 0.0);
  EXPECT_EQ(rig.Label_Colour("test3R"), kResultLabelColour);
  EXPECT_EQ(rig.Child<QPushButton>("StartButton")->text(), "Stop");
  EXPECT_TRUE(rig.Child<QPushButton>("StartButton")->isEnabled());
  EXPECT_FALSE(rig.Child<QLabel>("TimeLeft")->isHidden());
  rig.Release();
  ASSERT_TRUE(rig.Wait_Idle());
  EXPECT_EQ(rig.Label_Colour("test3W"), kResultLabelColour);
  EXPECT_EQ(rig.Label("test3W").toStdString(), Result_Text(rig.form.Grid()->Runs().at(0).run.tests[6].rate));
}

TEST(WindowRunTest, StopKeepsThePartialRateSkipsTheRestAndAddsNoRow) {
  Window_Rig rig;
  // Into the 4K write, then Stop as the user presses it.
  rig.Hold_At("create", "/temp-3000.tmp", 3);
  rig.Press_Start();
  ASSERT_TRUE(rig.Wait_Held());
  auto* start = rig.Child<QPushButton>("StartButton");
  rig.Press_Start();
  EXPECT_EQ(start->text(), "Start");
  EXPECT_FALSE(start->isEnabled()) << "disabled until the run has ended";
  EXPECT_TRUE(Panel_Shows(rig, "Stopping, please wait..."));
  EXPECT_TRUE(rig.Child<QLabel>("TimeLeft")->isHidden());
  rig.Release();
  ASSERT_TRUE(rig.Wait_Idle());

  EXPECT_TRUE(rig.form.Grid()->Runs().empty());
  EXPECT_NE(rig.Child<QLabel>("StatusText")->text(), "Not sent (offline)") << "a stopped run is not reported";
  EXPECT_NE(rig.Label("test3W"), "00.00");  // the partial rate
  for (int i = 7; i < kPlannedTestCount; ++i) {
    // No result: "00.00" as the reset left it, or "0.00" once a result grew the scale.
    EXPECT_EQ(rig.Label(kPlannedTests[i].TestSpeedLabel).toDouble(), 0.0) << i;
    EXPECT_EQ(MyGraph.GraphColumn[i].Value, -1.0) << i;
  }
  EXPECT_TRUE(start->isEnabled());
  EXPECT_TRUE(rig.Child<QFrame>("loadingpanel")->isHidden());
  EXPECT_TRUE(rig.disk.Paths_Under("/srv/scratch").empty());
}

TEST(WindowRunTest, CloseDuringARunClosesTheWindowWhenTheRunHasEnded) {
  Window_Rig rig;
  rig.form.show();
  rig.Hold_At("create", "/temp-1.tmp");
  rig.Press_Start();
  ASSERT_TRUE(rig.Wait_Held());
  EXPECT_FALSE(rig.form.close());
  EXPECT_TRUE(rig.form.isVisible());
  EXPECT_EQ(rig.Child<QLabel>("StatusText")->text(), "Platterscope closes when the benchmark run has ended.");
  rig.Release();
  ASSERT_TRUE(rig.Wait_Idle());
  EXPECT_FALSE(rig.form.isVisible());
  EXPECT_EQ(rig.form.Grid()->Runs().size(), 1u) << "the run went on to its end";
}

// The report of a finished run goes off the window's thread; a server that never answers
// holds the Start button, not the window, and a close then ends the report within a second:
// the report waits in the queue, the row is in the grid and the window closes.
TEST(WindowRunTest, ACloseWhileTheServerHoldsTheReportQueuesItAndCloses) {
  Loopback_Server server([](const std::string&) { return Loopback_Server::Reply{Loopback_Server::Mode::Silent, ""}; });
  std::error_code ec;
  std::filesystem::remove_all(Queue_Folder(), ec);
  Window_Rig rig;
  const QByteArray old = qgetenv("PLATTERSCOPE_SERVER");
  qputenv("PLATTERSCOPE_SERVER", QByteArray::fromStdString(server.url("")));
  rig.form.show();
  rig.Press_Start();
  ASSERT_TRUE(QTest::qWaitFor([&] { return Panel_Shows(rig, "Updating database, please wait..."); }, 20000));
  EXPECT_EQ(rig.form.State(), Run_State::Reporting);
  EXPECT_FALSE(rig.Child<QPushButton>("StartButton")->isEnabled());
  EXPECT_TRUE(rig.form.Grid()->Runs().empty()) << "the row comes once the report is over";
  int ticks = 0;
  QTimer ticker;
  QObject::connect(&ticker, &QTimer::timeout, [&] { ++ticks; });
  ticker.start(50);
  QTest::qWait(1000);
  EXPECT_GE(ticks, 12) << "the window was held up by the report";

  EXPECT_FALSE(rig.form.close());
  EXPECT_TRUE(rig.Wait_Idle(1500)) << "the report outlived the close by more than a second";
  EXPECT_FALSE(rig.form.isVisible());
  EXPECT_EQ(rig.Child<QLabel>("StatusText")->text(), "FAIL,Queue OK");
  EXPECT_EQ(rig.form.Grid()->Runs().size(), 1u);
  std::size_t queued = 0;
  for (const auto& entry : std::filesystem::directory_iterator(Queue_Folder(), ec))
    queued += entry.path().extension() == ".dat";
  EXPECT_EQ(queued, 1u) << "the report cut short waits for the next start";
  std::filesystem::remove_all(Queue_Folder(), ec);
  qputenv("PLATTERSCOPE_SERVER", old);
}

// Start pressed while the start-up runs again after a dialog, its version check still out:
// the run starts once the check is over, not in the middle of it.
TEST(WindowRunTest, StartDuringTheStartUpsCheckRunsOnceTheCheckIsOver) {
  Loopback_Server server([](const std::string&) {
    std::this_thread::sleep_for(std::chrono::milliseconds(400));
    return Loopback_Server::Ok("");
  });
  Window_Rig rig;
  const QByteArray old = qgetenv("PLATTERSCOPE_SERVER");
  qputenv("PLATTERSCOPE_SERVER", QByteArray::fromStdString(server.url("")));
  rig.form.show();
  rig.form.FormActivate();
  ASSERT_TRUE(QTest::qWaitFor([&] { return Panel_Shows(rig, "Checking for new version..."); }, 5000));
  rig.Child<QComboBox>("combo_testtime")->setCurrentIndex(0);  // the start-up chose 20 s again
  rig.Press_Start();
  EXPECT_EQ(rig.form.State(), Run_State::Idle);
  EXPECT_EQ(rig.Child<QLabel>("StatusText")->text(), "The benchmark starts when the check for updates is over...");
  ASSERT_TRUE(QTest::qWaitFor([&] { return rig.form.State() != Run_State::Idle; }, 5000));
  EXPECT_FALSE(rig.form.Startup_Going());
  qputenv("PLATTERSCOPE_SERVER", "");  // the run's report stays offline
  ASSERT_TRUE(rig.Wait_Idle());
  EXPECT_EQ(rig.form.Grid()->Runs().size(), 1u);
  qputenv("PLATTERSCOPE_SERVER", old);
}

TEST(WindowRunTest, ErrorsOfTheTestsAreShownWithoutHoldingTheRunUp) {
  Window_Rig rig;
  rig.disk.faults.create_error = EACCES;  // no file test can create a file
  rig.Press_Start();
  ASSERT_TRUE(rig.Wait_Idle()) << "the run went on with the box open";
  auto* box = rig.form.findChild<QMessageBox*>(QStringLiteral("RunErrorBox"));
  ASSERT_NE(box, nullptr);
  EXPECT_TRUE(box->isVisible());
  // One box, one line per error: the sequential file (its write and its read) and the eight
  // file tests' first files.
  const QStringList lines = box->text().split(QLatin1Char('\n'));
  EXPECT_EQ(lines.size(), 10) << box->text().toStdString();
  EXPECT_EQ(lines.last().toStdString(), "Error creating file /srv/scratch/_Quillorane/temp-1.tmp: Permission denied");
  ASSERT_EQ(rig.form.Grid()->Runs().size(), 1u) << "the run completed and was added";
  box->accept();
  EXPECT_TRUE(QTest::qWaitFor([&] { return rig.form.findChild<QMessageBox*>(QStringLiteral("RunErrorBox")) == nullptr; }));
}
