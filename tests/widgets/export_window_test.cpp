// The window's exports and progress: the File menu saves the grid's runs and the graph and
// copies the runs, with the numbers of files in the C locale while the screen keeps the
// user's; the status bar shows a run's progress. File names come through the window's seam
// in place of a dialog.
#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QComboBox>
#include <QDateTime>
#include <QGuiApplication>
#include <QImage>
#include <QLabel>
#include <QMenu>
#include <QMessageBox>
#include <QProgressBar>
#include <QRegularExpression>
#include <QTimer>

#include <filesystem>
#include <functional>

#include "../core/comma_locale.h"
#include "app/main_form.h"
#include "window_wait.h"
#include "common/results_export.h"

namespace {

class ExportWindowTest : public ::testing::Test {
 protected:
  void SetUp() override {
    Activate_And_Wait(form);
    form.Ask_Save_File_Name = [this](const QString& caption, const QString& suggested, const QString& filters) {
      asked.push_back({caption, suggested, filters});
      return answer;
    };
  }

  template <class T>
  T* Child(const char* name) {
    return form.findChild<T*>(QString::fromLatin1(name));
  }

  // A completed run on the selected drive, as its worker hands it to the window.
  void Run(double base) {
    form.Show_Run_State(Run_State::Running);
    Run_Result result;
    result.outcome = Run_Outcome::Completed;
    result.seconds = 20;
    for (std::size_t i = 0; i < result.tests.size(); ++i) result.tests[i].rate = base + 1.25 * static_cast<double>(i);
    form.Send_Result_to_Grid(result);
    form.Show_Run_State(Run_State::Idle);
  }

  // Runs action and returns the text of the message box it opened (closed at once), or "".
  std::string Box_During(const std::function<void()>& action) {
    std::string seen;
    QTimer watcher;
    watcher.setInterval(10);
    QObject::connect(&watcher, &QTimer::timeout, [&] {
      if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
        seen = box->text().toStdString();
        box->accept();
      }
    });
    watcher.start();
    action();
    return seen;
  }

  void Show_File_Menu() { emit Child<QMenu>("File1")->aboutToShow(); }
  bool Enabled(const char* action) { return Child<QAction>(action)->isEnabled(); }

  struct Question {
    QString caption, suggested, filters;
  };
  TMainForm form;
  std::vector<Question> asked;
  QString answer;
  Scratch_Folder scratch;
};

}  // namespace

TEST_F(ExportWindowTest, TheFileMenuOffersWhatThereIsToExportAndNoDialogDuringARun) {
  QStringList texts;
  for (QAction* action : Child<QMenu>("File1")->actions()) texts << (action->isSeparator() ? "-" : action->text());
  EXPECT_EQ(texts, QStringList({"&Save results...", "Save &graph picture...", "&Copy results", "-",
                                "Peak and latency...", "-", "E&xit"}));
  Show_File_Menu();
  EXPECT_FALSE(Enabled("SaveResults1"));
  EXPECT_TRUE(Enabled("SaveGraph1"));
  EXPECT_FALSE(Enabled("CopyResults1"));
  Run(100);
  Show_File_Menu();
  EXPECT_TRUE(Enabled("SaveResults1"));
  EXPECT_TRUE(Enabled("CopyResults1"));
  // A dialog would hold the run's tests up: during a run only the copy is offered.
  form.Show_Run_State(Run_State::Running);
  Show_File_Menu();
  EXPECT_FALSE(Enabled("SaveResults1"));
  EXPECT_FALSE(Enabled("SaveGraph1"));
  EXPECT_TRUE(Enabled("CopyResults1"));
  EXPECT_FALSE(Enabled("PeakLatency1")) << "one run on a drive at a time";
  answer = QString::fromStdString(scratch / "runs.csv");
  form.SaveResults1Click();
  form.SaveGraph1Click();
  form.Show_Run_State(Run_State::Idle);
  EXPECT_TRUE(asked.empty());
  EXPECT_TRUE(Enabled("PeakLatency1"));
}

TEST_F(ExportWindowTest, SavedResultsHaveEveryRunWithAPointWhileTheGridShowsACommaLocale) {
  Comma_Locale comma;
  ASSERT_TRUE(comma.active());
  auto* drives = Child<QComboBox>("TargetDriveComboBox");
  ASSERT_GT(drives->count(), 0);
  Run(1234.5);
  Run(7.25);
  EXPECT_EQ(form.Grid()->Cells(0, 1).trimmed(), "1235,00");  // the screen: the user's locale
  const std::vector<Run_Record>& runs = form.Grid()->Runs();
  ASSERT_EQ(runs.size(), 2u);
  EXPECT_EQ(runs[0].drive, drives->currentText().toStdString());
  EXPECT_EQ(runs[0].run.seconds, 20);
  EXPECT_EQ(runs[1].run.tests[17].rate, 7.25 + 1.25 * 17);  // as measured, not as the cell rounds it
  const QDateTime date = QDateTime::fromString(QString::fromStdString(runs[1].date), "yyyy-MM-dd HH:mm:ss");
  ASSERT_TRUE(date.isValid()) << runs[1].date;
  EXPECT_LE(std::abs(date.secsTo(QDateTime::currentDateTime())), 60);

  for (const char* name : {"runs.csv", "runs.JSON"}) {
    answer = QString::fromStdString(scratch / name);
    EXPECT_EQ(Box_During([&] { form.SaveResults1Click(); }), "");
    const std::string saved = Read_Whole_File(scratch / name);
    EXPECT_EQ(saved, std::string(name) == "runs.csv" ? Results_Csv(runs) : Results_Json(runs));
    EXPECT_NE(saved.find("1234.50"), std::string::npos) << saved;
    EXPECT_EQ(Child<QLabel>("StatusText")->text(), "Saved results to " + answer);
  }
  ASSERT_EQ(asked.size(), 2u);
  EXPECT_EQ(asked[0].caption, "Save results");
  EXPECT_TRUE(asked[0].suggested.endsWith("/platterscope-results.csv")) << asked[0].suggested.toStdString();
  EXPECT_EQ(asked[0].filters, "CSV file (*.csv);;JSON file (*.json)");
  // The next dialog opens where the last file went.
  EXPECT_EQ(asked[1].suggested, QString::fromStdString(scratch / "platterscope-results.csv"));
}

TEST_F(ExportWindowTest, AFileThatCannotBeSavedIsReportedAndNothingIsLeft) {
  Run(50);
  const struct {
    std::string name;
    std::string box;
  } cases[] = {
      {"runs.txt", "Cannot save results to " + scratch / "runs.txt" + ": the name must end in .csv or .json"},
      {"missing/runs.csv", "Cannot save results to " + scratch / "missing/runs.csv" + ": Cannot open folder " +
                               scratch / "missing" + ": No such file or directory"},
      {"", ""},  // the dialog cancelled
  };
  for (const auto& c : cases) {
    answer = c.name.empty() ? QString() : QString::fromStdString(scratch / c.name);
    EXPECT_EQ(Box_During([&] { form.SaveResults1Click(); }), c.box);
  }
  answer = QString::fromStdString(scratch / "graph.jpg");
  EXPECT_EQ(Box_During([&] { form.SaveGraph1Click(); }),
            "Cannot save the graph to " + scratch / "graph.jpg" + ": the name must end in .png");
  EXPECT_TRUE(std::filesystem::is_empty(scratch.path()));
}

TEST_F(ExportWindowTest, TheGraphPictureIsTheGraphAsAPng) {
  form.DrawGraph(0, 523.7);
  form.DrawGraph(5, 42.5);
  answer = QString::fromStdString(scratch / "graph.png");
  EXPECT_EQ(Box_During([&] { form.SaveGraph1Click(); }), "");
  ASSERT_EQ(asked.size(), 1u);
  EXPECT_TRUE(asked[0].suggested.endsWith("/platterscope-graph.png"));
  QImage saved;
  ASSERT_TRUE(saved.load(answer, "PNG"));
  EXPECT_EQ(saved.size(), QSize(760, 340));
  EXPECT_EQ(saved.convertToFormat(QImage::Format_RGB32), form.Graph().Image().convertToFormat(QImage::Format_RGB32));
}

TEST_F(ExportWindowTest, CopyResultsPutsTheScreensTableOnTheClipboard) {
  Comma_Locale comma;
  Run(1234.5);
  form.CopyResults1Click();
  const QString copied = QGuiApplication::clipboard()->text();
  EXPECT_EQ(copied.toStdString(), Results_Table(form.Grid()->Runs()));
  EXPECT_TRUE(copied.contains(QRegularExpression("\nSequential Write +1235,00\n"))) << copied.toStdString();
  EXPECT_EQ(Child<QLabel>("StatusText")->text(), "Results copied to the clipboard");
}

TEST_F(ExportWindowTest, TheStatusBarShowsTheRunsProgressAndTheLoadingPanelKeepsItsText) {
  auto* bar = Child<QProgressBar>("RunProgress");
  auto* left = Child<QLabel>("TimeLeft");
  EXPECT_TRUE(bar->isHidden());
  EXPECT_TRUE(left->isHidden());
  form.Show_Run_State(Run_State::Running);
  form.Display_Loading_Panel(true, "Random 4K Write  Start...");
  form.Set_Status_Text("Not enough free space");
  form.Show_Progress(5, 18, 125);
  EXPECT_FALSE(bar->isHidden());
  EXPECT_EQ(bar->maximum(), 18);
  EXPECT_EQ(bar->value(), 5);
  EXPECT_FALSE(left->isHidden());
  EXPECT_EQ(left->text(), "2:05 left");
  EXPECT_EQ(Child<QLabel>("loadinglabel")->text(), "Random 4K Write  Start...");
  EXPECT_EQ(Child<QLabel>("StatusText")->text(), "Not enough free space");
  form.Show_Run_State(Run_State::Stopping);  // the plan's time no longer holds
  EXPECT_TRUE(left->isHidden());
  EXPECT_FALSE(bar->isHidden());
  form.Show_Run_State(Run_State::Idle);
  EXPECT_TRUE(bar->isHidden());
  form.Display_Loading_Panel(false, "");
}
