// The peak tests' window end to end over the in-memory disk and the hand clock: a whole run
// into the table and the chart, the live rate while a test runs, Stop, closing during a run,
// the exports, and one run on a drive at a time beside the main window's plan.
#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QComboBox>
#include <QFile>
#include <QImage>
#include <QLabel>
#include <QMessageBox>
#include <QProgressBar>
#include <QPushButton>
#include <QTableWidget>
#include <QTest>
#include <QTimer>

#include <cerrno>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <thread>

#include "../core/comma_locale.h"
#include "../core/scratch_folder.h"
#include "app/peak_window.h"
#include "common/peak_export.h"
#include "platform/memory_platform.h"
#include "window_run.h"

namespace {

// A peak window whose runs go to an in-memory disk of four lanes with a hand clock, with
// spans of a tenth of a second to a second. A test may hold the run on its worker once the
// clock has reached a time, look at the window meanwhile, and let it go on.
class Peak_Window_Rig {
 public:
  explicit Peak_Window_Rig(std::int64_t capacity = 100'000'000'000LL) : disk(capacity) {
    disk.spend = [this](std::int64_t us) {
      clock.Advance_Us(us);
      Maybe_Hold();
    };
    disk.Add_Folder("/srv/scratch", disk.user);
    disk.io.parallel = 4;
    window->Use_Run_Platform(disk, clock);
    window->Set_Drives({{"/srv/scratch/ (100 GB) Test Disk", "/srv/scratch"}}, 0);
    Peak_Request& request = window->Request_Template();
    request.test_ms = 1000;
    request.warmup_ms = 100;
    request.pause_ms = 100;
    Child<QComboBox>("PeakSizeBox")->setCurrentIndex(0);  // 64 MiB
  }
  ~Peak_Window_Rig() { Release(); }

  template <class T>
  T* Child(const char* name) {
    return window->findChild<T*>(QString::fromLatin1(name));
  }
  QTableWidgetItem* Cell(int row, int column) { return Child<QTableWidget>("PeakTable")->item(row, column); }
  void Press_Start() { QTest::mouseClick(Child<QPushButton>("PeakStartButton"), Qt::LeftButton); }
  bool Wait_Idle(int ms = 30000) {
    return QTest::qWaitFor([this] { return !window->Run_Going(); }, ms);
  }

  // The run waits on its worker once the hand clock has reached ms, until Release().
  void Hold_At_Ms(std::int64_t ms) {
    const std::lock_guard<std::mutex> lock(mutex_);
    hold_at_ms_ = ms;
  }
  bool Wait_Held() {
    return QTest::qWaitFor([this] {
      const std::lock_guard<std::mutex> lock(mutex_);
      return held_;
    }, 10000);
  }
  void Release() {
    const std::lock_guard<std::mutex> lock(mutex_);
    hold_at_ms_ = -1;
    held_ = false;
    changed_.notify_all();
  }
  bool Nothing_Left() const { return disk.Paths_Under("/srv/scratch").empty() && disk.open_handles() == 0; }

  platform::Memory_Platform disk;
  Hand_Clock clock;
  std::unique_ptr<Peak_Window> window = std::make_unique<Peak_Window>();

 private:
  void Maybe_Hold() {
    std::unique_lock<std::mutex> lock(mutex_);
    if (hold_at_ms_ < 0 || clock.Elapsed_Ms() < hold_at_ms_) return;
    hold_at_ms_ = -1;
    held_ = true;
    // Never for ever: a test that forgets to let go still ends.
    changed_.wait_for(lock, std::chrono::seconds(30), [this] { return !held_; });
  }

  std::mutex mutex_;
  std::condition_variable changed_;
  std::int64_t hold_at_ms_ = -1;
  bool held_ = false;
};

// Halfway into the first test's timed span: the file is written in 18 ms, the warm-up takes
// 100 ms, and the span a second.
constexpr std::int64_t kInFirstSpanMs = 700;

}  // namespace

TEST(PeakWindowTest, AWholeRunFillsTheTableAndTheChartAndEndsIdle) {
  Peak_Window_Rig rig;
  auto* start = rig.Child<QPushButton>("PeakStartButton");
  rig.Press_Start();
  EXPECT_TRUE(rig.window->Run_Going());
  EXPECT_EQ(start->text(), "Stop");
  EXPECT_FALSE(rig.Child<QComboBox>("PeakDriveBox")->isEnabled());
  ASSERT_TRUE(rig.Wait_Idle());

  ASSERT_TRUE(rig.window->Result().has_value());
  const Peak_Result& result = *rig.window->Result();
  ASSERT_EQ(result.outcome, Peak_Outcome::Completed) << result.error;
  EXPECT_EQ(result.target, "/srv/scratch");
  EXPECT_EQ(result.size, 64 << 20);
  EXPECT_EQ(result.seconds, 5);
  ASSERT_EQ(result.tests.size(), 8u);
  const QLocale locale;
  for (int row = 0; row < 8; ++row) {
    const Peak_Test_Result& test = result.tests[static_cast<std::size_t>(row)];
    SCOPED_TRACE(test.key);
    EXPECT_EQ(rig.Cell(row, Peak_Window::Test_Column)->text().toStdString(), test.key);
    EXPECT_GT(test.Mbps(), 0);
    EXPECT_EQ(rig.Cell(row, Peak_Window::Mbps_Column)->text(), locale.toString(test.Mbps(), 'f', 2));
    EXPECT_EQ(rig.Cell(row, Peak_Window::Iops_Column)->text(), locale.toString(test.Iops(), 'f', 0));
    EXPECT_EQ(rig.Cell(row, Peak_Window::P999_Column)->text(), locale.toString(test.p999_us, 'f', 1));
    EXPECT_FALSE(rig.Cell(row, Peak_Window::Mbps_Column)->data(Qt::ForegroundRole).isValid()) << "not dimmed";
    // The chart shows the test's p50 bar.
    const Latency_Chart& chart = rig.window->Chart();
    EXPECT_EQ(chart.Image().pixelColor(chart.Bar_Centre(row, 0), chart.Bar_Bottom() - 1), kP50Colour);
  }
  EXPECT_EQ(rig.Child<QLabel>("PeakEngine")->text().toStdString(), "I/O engine: " + Peak_Setup_Text(result));
  EXPECT_EQ(rig.Child<QLabel>("PeakStatus")->text(), "Finished.");
  EXPECT_EQ(start->text(), "Start");
  EXPECT_TRUE(start->isEnabled());
  EXPECT_TRUE(rig.Child<QProgressBar>("PeakProgress")->isHidden());
  EXPECT_TRUE(rig.Child<QPushButton>("PeakSaveResultsButton")->isEnabled());
  EXPECT_TRUE(rig.Nothing_Left());
}

TEST(PeakWindowTest, WhileATestRunsItsRowShowsTheRateSoFarDimmedAndTheWindowStaysFree) {
  Peak_Window_Rig rig;
  rig.Hold_At_Ms(kInFirstSpanMs);
  rig.Press_Start();
  ASSERT_TRUE(rig.Wait_Held());
  // The run waits on its worker; the window goes on: its timers fire, its events arrive.
  bool fired = false;
  QTimer::singleShot(10, [&] { fired = true; });
  EXPECT_TRUE(QTest::qWaitFor([&] { return fired; }, 1000));
  QTableWidgetItem* rate = rig.Cell(0, Peak_Window::Mbps_Column);
  EXPECT_TRUE(QTest::qWaitFor([&] { return !rate->text().isEmpty(); }, 2000)) << "the rate so far";
  EXPECT_TRUE(rate->data(Qt::ForegroundRole).isValid()) << "dimmed";
  EXPECT_FALSE(rig.Cell(0, Peak_Window::Iops_Column)->text().isEmpty());
  EXPECT_TRUE(rig.Cell(0, Peak_Window::P50_Column)->text().isEmpty()) << "no latency before the test ends";
  EXPECT_TRUE(rig.Cell(1, Peak_Window::Mbps_Column)->text().isEmpty());
  EXPECT_TRUE(rig.Cell(0, Peak_Window::Test_Column)->font().bold());
  EXPECT_FALSE(rig.Child<QLabel>("PeakTimeLeft")->isHidden());
  EXPECT_TRUE(rig.Child<QLabel>("PeakTimeLeft")->text().endsWith(" left"));
  EXPECT_FALSE(rig.Child<QProgressBar>("PeakProgress")->isHidden());
  EXPECT_EQ(rig.Child<QLabel>("PeakEngine")->text(), "I/O engine: memory") << "named once the file is written";
  rig.Release();
  ASSERT_TRUE(rig.Wait_Idle());
  EXPECT_FALSE(rate->data(Qt::ForegroundRole).isValid()) << "replaced by the result";
  EXPECT_EQ(rate->text(), QLocale().toString(rig.window->Result()->tests[0].Mbps(), 'f', 2));
  EXPECT_FALSE(rig.Cell(0, Peak_Window::Test_Column)->font().bold());
}

TEST(PeakWindowTest, StopEndsTheRunKeepsWhatWasMeasuredAndLeavesNothing) {
  Peak_Window_Rig rig;
  rig.Hold_At_Ms(kInFirstSpanMs);
  rig.Press_Start();
  ASSERT_TRUE(rig.Wait_Held());
  auto* start = rig.Child<QPushButton>("PeakStartButton");
  rig.Press_Start();
  EXPECT_EQ(start->text(), "Start");
  EXPECT_FALSE(start->isEnabled()) << "held until the run has ended";
  EXPECT_EQ(rig.Child<QLabel>("PeakStatus")->text(), "Stopping, please wait...");
  const std::int64_t stopped_ms = rig.clock.Elapsed_Ms();
  rig.Release();
  ASSERT_TRUE(rig.Wait_Idle());

  const Peak_Result& result = *rig.window->Result();
  EXPECT_EQ(result.outcome, Peak_Outcome::Stopped);
  ASSERT_EQ(result.tests.size(), 1u);
  EXPECT_TRUE(result.tests[0].stopped);
  EXPECT_LE(rig.clock.Elapsed_Ms() - stopped_ms, 1000) << "stopped within a second, clean-up included";
  EXPECT_FALSE(rig.Cell(0, Peak_Window::P50_Column)->text().isEmpty());
  for (int row = 1; row < 8; ++row) EXPECT_TRUE(rig.Cell(row, Peak_Window::Mbps_Column)->text().isEmpty()) << row;
  EXPECT_EQ(rig.Child<QLabel>("PeakStatus")->text(), "Stopped.");
  EXPECT_TRUE(start->isEnabled());
  EXPECT_TRUE(rig.Nothing_Left());
}

TEST(PeakWindowTest, ClosingTheWindowOrTheProgramDuringARunStopsItAndCleansUp) {
  {
    Peak_Window_Rig rig;
    rig.window->show();
    rig.Hold_At_Ms(kInFirstSpanMs);
    rig.Press_Start();
    ASSERT_TRUE(rig.Wait_Held());
    EXPECT_FALSE(rig.window->close()) << "the window waits for the run's clean-up";
    EXPECT_TRUE(rig.window->isVisible());
    const std::int64_t closed_ms = rig.clock.Elapsed_Ms();
    rig.Release();
    ASSERT_TRUE(rig.Wait_Idle());
    EXPECT_FALSE(rig.window->isVisible());
    EXPECT_EQ(rig.window->Result()->outcome, Peak_Outcome::Stopped);
    EXPECT_LE(rig.clock.Elapsed_Ms() - closed_ms, 1000);
    EXPECT_TRUE(rig.Nothing_Left());
    rig.window.reset();
  }
  {
    // The program ends: the window goes with the run still going.
    Peak_Window_Rig rig;
    rig.Hold_At_Ms(kInFirstSpanMs);
    rig.Press_Start();
    ASSERT_TRUE(rig.Wait_Held());
    const std::int64_t closed_ms = rig.clock.Elapsed_Ms();
    std::thread go_on([&] {
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
      rig.Release();
    });
    rig.window.reset();
    go_on.join();
    EXPECT_LE(rig.clock.Elapsed_Ms() - closed_ms, 1000);
    EXPECT_TRUE(rig.Nothing_Left());
  }
}

TEST(PeakWindowTest, WhatARunCouldNotDoIsSaidAndARefusalShown) {
  {
    Peak_Window_Rig rig(400'000'000);
    rig.Child<QComboBox>("PeakSizeBox")->setCurrentIndex(4);  // 1 GiB
    rig.Press_Start();
    ASSERT_TRUE(rig.Wait_Idle());
    const Peak_Result& result = *rig.window->Result();
    EXPECT_EQ(result.outcome, Peak_Outcome::Completed) << result.error;
    ASSERT_FALSE(result.note.empty());
    EXPECT_EQ(rig.Child<QLabel>("PeakStatus")->text().toStdString(), "Finished. " + result.note);
  }
  {
    // Every read fails: the reads measure nothing, say why, and the writes go on.
    Peak_Window_Rig rig;
    rig.disk.faults.read_error = EIO;
    rig.Press_Start();
    ASSERT_TRUE(rig.Wait_Idle());
    const Peak_Result& result = *rig.window->Result();
    ASSERT_EQ(result.tests.size(), 8u);
    const QStringList status = rig.Child<QLabel>("PeakStatus")->text().split(QLatin1Char('\n'));
    ASSERT_EQ(status.size(), 5) << status.join(QLatin1Char('|')).toStdString();
    EXPECT_EQ(status[0], "Finished.");
    const Latency_Chart& chart = rig.window->Chart();
    for (int row = 0; row < 8; ++row) {
      const Peak_Test_Result& test = result.tests[static_cast<std::size_t>(row)];
      const bool read = row % 2 == 0;
      SCOPED_TRACE(test.key);
      EXPECT_EQ(rig.Cell(row, Peak_Window::Mbps_Column)->text() == "-", read);
      EXPECT_EQ(rig.Cell(row, Peak_Window::Test_Column)->toolTip().toStdString(), test.note);
      EXPECT_EQ(chart.Image().pixelColor(chart.Bar_Centre(row, 0), chart.Bar_Bottom() - 1) == kP50Colour, !read);
      if (read) {
        EXPECT_EQ(test.note.rfind("Error reading file /srv/scratch/_Quillorane/peak.tmp", 0), 0u) << test.note;
        EXPECT_EQ(status[row / 2 + 1].toStdString(), test.key + ": " + test.note);
      }
    }
    EXPECT_TRUE(rig.window->Results_Table_Text().contains(QString::fromStdString(result.tests[0].key + ": " + result.tests[0].note)));
    EXPECT_TRUE(rig.Nothing_Left());
  }
  {
    Peak_Window_Rig rig(60'000'000);
    rig.Press_Start();
    ASSERT_TRUE(rig.Wait_Idle());
    const Peak_Result& result = *rig.window->Result();
    EXPECT_EQ(result.outcome, Peak_Outcome::Refused);
    EXPECT_EQ(rig.Child<QLabel>("PeakStatus")->text().toStdString(), result.error);
    auto* box = rig.window->findChild<QMessageBox*>(QStringLiteral("PeakErrorBox"));
    ASSERT_NE(box, nullptr);
    EXPECT_EQ(box->text().toStdString(), result.error);
    EXPECT_FALSE(rig.Child<QPushButton>("PeakSaveResultsButton")->isEnabled()) << "nothing to save";
    EXPECT_TRUE(rig.Nothing_Left());
    box->accept();
  }
}

TEST(PeakWindowTest, ResultsAreCopiedInTheUsersLocaleAndSavedWithPoints) {
  Peak_Window_Rig rig;
  Comma_Locale comma;
  ASSERT_TRUE(comma.active());
  rig.Press_Start();
  ASSERT_TRUE(rig.Wait_Idle());
  const Peak_Result& result = *rig.window->Result();
  ASSERT_EQ(result.tests.size(), 8u);
  Scratch_Folder folder;
  QString answer;
  rig.window->Ask_Save_File_Name = [&](const QString&, const QString&, const QString&) { return answer; };

  // The clipboard: a table with the screen's decimal comma.
  rig.Child<QPushButton>("PeakCopyButton")->click();
  const QString copied = QGuiApplication::clipboard()->text();
  EXPECT_EQ(copied, rig.window->Results_Table_Text());
  const QStringList lines = copied.split(QLatin1Char('\n'));
  ASSERT_GE(lines.size(), 11);
  EXPECT_TRUE(lines[2].startsWith("Test")) << lines[2].toStdString();
  const Peak_Test_Result& first = result.tests[0];
  EXPECT_TRUE(lines[3].startsWith("SEQ1M-Q8T1-R"));
  EXPECT_TRUE(lines[3].contains(QLocale().toString(first.Mbps(), 'f', 2))) << lines[3].toStdString();
  EXPECT_TRUE(QLocale().toString(first.Mbps(), 'f', 2).contains(QLatin1Char(',')));

  // CSV and JSON by the name's extension, with points; the chart as the picture shown.
  answer = QString::fromStdString(folder / "peak.json");
  rig.Child<QPushButton>("PeakSaveResultsButton")->click();
  QFile json(answer);
  ASSERT_TRUE(json.open(QIODevice::ReadOnly));
  EXPECT_EQ(json.readAll().toStdString(), Peak_Json(result));
  answer = QString::fromStdString(folder / "peak.CSV");
  rig.Child<QPushButton>("PeakSaveResultsButton")->click();
  QFile csv(answer);
  ASSERT_TRUE(csv.open(QIODevice::ReadOnly));
  const QStringList rows = QString::fromUtf8(csv.readAll()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
  ASSERT_EQ(rows.size(), 9);
  EXPECT_TRUE(rows[0].startsWith("drive,date,seconds,size,engine,key,mbps"));
  EXPECT_TRUE(rows[1].contains(QString::fromStdString(",SEQ1M-Q8T1-R," + Fixed_Text(first.Mbps(), 2) + ",")))
      << rows[1].toStdString();
  answer = QString::fromStdString(folder / "chart.png");
  rig.Child<QPushButton>("PeakSaveChartButton")->click();
  EXPECT_EQ(QImage(answer).convertToFormat(QImage::Format_RGB32), rig.window->Chart().Image());

  // A name the program cannot tell the format of: said, nothing written.
  answer = QString::fromStdString(folder / "peak.txt");
  rig.Child<QPushButton>("PeakSaveResultsButton")->click();
  auto* box = rig.window->findChild<QMessageBox*>(QStringLiteral("PeakErrorBox"));
  ASSERT_NE(box, nullptr);
  EXPECT_EQ(box->text(), "Cannot save results to " + answer + ": the name must end in .csv or .json");
  EXPECT_FALSE(QFile::exists(answer));
  box->accept();
}

TEST(PeakWindowTest, TheMenuOpensItOnTheMainListsDrivesAndOneRunGoesOnAtATime) {
  Window_Rig main;
  auto* item = main.Child<QAction>("PeakLatency1");
  ASSERT_NE(item, nullptr);
  item->trigger();
  Peak_Window* peak = main.form.Peak();
  ASSERT_NE(peak, nullptr);
  EXPECT_TRUE(peak->isVisible());
  auto* main_drives = main.Child<QComboBox>("TargetDriveComboBox");
  auto* peak_drives = peak->findChild<QComboBox*>(QStringLiteral("PeakDriveBox"));
  ASSERT_EQ(peak_drives->count(), main_drives->count());
  for (int k = 0; k < main_drives->count(); ++k) EXPECT_EQ(peak_drives->itemText(k), main_drives->itemText(k));
  EXPECT_EQ(peak_drives->currentText(), main_drives->currentText());
  auto* peak_start = peak->findChild<QPushButton*>(QStringLiteral("PeakStartButton"));

  // The plan runs: the menu item and the peak window's Start wait for it.
  main.Hold_At("create", "/temp-1.tmp");
  main.Press_Start();
  ASSERT_TRUE(main.Wait_Held());
  EXPECT_FALSE(item->isEnabled());
  EXPECT_FALSE(peak_start->isEnabled());
  QTest::mouseClick(peak_start, Qt::LeftButton);
  EXPECT_FALSE(peak->Run_Going());
  main.Release();
  ASSERT_TRUE(main.Wait_Idle());
  EXPECT_TRUE(item->isEnabled());
  EXPECT_TRUE(peak_start->isEnabled());

  // A peak run goes on the main window's disk: the plan's Start waits for it.
  peak->Request_Template().test_ms = 200;
  peak->Request_Template().warmup_ms = peak->Request_Template().pause_ms = 50;
  peak->findChild<QComboBox*>(QStringLiteral("PeakSizeBox"))->setCurrentIndex(0);
  main.Hold_At("create", "/peak.tmp");
  QTest::mouseClick(peak_start, Qt::LeftButton);
  ASSERT_TRUE(main.Wait_Held());
  auto* main_start = main.Child<QPushButton>("StartButton");
  EXPECT_FALSE(main_start->isEnabled());
  // The start-up, run again after a dialog, enables the buttons when it ends: Start still waits.
  main.form.Enable_All_Buttons(true, true);
  EXPECT_FALSE(main_start->isEnabled());
  main.form.StartButtonClick();
  EXPECT_FALSE(main.form.Run_Going());
  EXPECT_EQ(main.Child<QLabel>("StatusText")->text(), kPeakGoingText);
  main.Release();
  ASSERT_TRUE(QTest::qWaitFor([&] { return !peak->Run_Going(); }, 30000));
  EXPECT_EQ(peak->Result()->outcome, Peak_Outcome::Completed) << peak->Result()->error;
  EXPECT_TRUE(main_start->isEnabled());
  EXPECT_TRUE(main.disk.Paths_Under("/srv/scratch").empty());
}

