// Start-up, the settings store entries, activation and the About window.
#include <gtest/gtest.h>

#include <QApplication>
#include <QComboBox>
#include <QMessageBox>
#include <QTimer>
#include <QDateTime>
#include <QFile>
#include <QPushButton>
#include <QTest>
#include <QThread>

#include "app/activation_tracker.h"
#include "app/computer_id.h"
#include "app/help_form.h"
#include "app/main_form.h"
#include "window_wait.h"
#include "common/log.h"
#include "common/registry_functions.h"

namespace {

std::string Stored(const char* name) {
  return Reg_Value_Text(Reg_Read_Value(HKEY_LOCAL_MACHINE, kSettingsKey, name, ""));
}

// Points the settings store at a file of the test's own for the test's length.
class Store_Override {
 public:
  explicit Store_Override(const QString& file) : old_(qgetenv("PLATTERSCOPE_SETTINGS")) {
    qputenv("PLATTERSCOPE_SETTINGS", file.toLocal8Bit());
    QFile::remove(file);
  }
  ~Store_Override() { qputenv("PLATTERSCOPE_SETTINGS", old_); }

 private:
  QByteArray old_;
};

QString Scratch_File(const char* name) { return QString::fromStdString(Get_Temp_Folder()) + QLatin1String(name); }

}  // namespace

TEST(StartupTest, FirstStartWritesTheProgramAndAnIdentifierThatLaterStartsReadBack) {
  Store_Override store(Scratch_File("first-start.conf"));
  const std::string id = Load_Computer_Id("/opt/platterscope/PlatterScope", "/opt/platterscope/");
  EXPECT_EQ(id.size(), 17u);
  EXPECT_EQ(id.find_first_not_of("0123456789"), std::string::npos);
  EXPECT_EQ(Stored("Program_File"), "PlatterScope");
  EXPECT_EQ(Stored("Program_Path"), "/opt/platterscope/");
  EXPECT_EQ(Stored("Computer_Id"), id);
  QThread::msleep(5);
  EXPECT_EQ(Load_Computer_Id("/opt/platterscope/platterscope", "/opt/platterscope/"), id);
}

TEST(StartupTest, AnotherExecutableNameLeavesTheProgramEntriesAlone) {
  Store_Override store(Scratch_File("other-name.conf"));
  Reg_Write_Value(HKEY_LOCAL_MACHINE, kSettingsKey, "Computer_Id", REG_TYPE_INTEGER, {REG_TYPE_INTEGER, std::int32_t{42}});
  EXPECT_EQ(Load_Computer_Id("/usr/local/bin/bench", "/usr/local/bin/"), "42");  // any stored identifier stands
  EXPECT_EQ(Stored("Program_File"), "");
  EXPECT_EQ(Stored("Program_Path"), "");
}

TEST(StartupTest, AStoreThatCannotBeWrittenGivesANewIdentifierEachTimeWithoutError) {
  QFile blocker(Scratch_File("blocker"));
  ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
  blocker.close();
  Store_Override store(blocker.fileName() + QStringLiteral("/Platterscope.conf"));
  const std::string first = Load_Computer_Id("/opt/platterscope/platterscope", "/opt/platterscope/");
  QThread::msleep(5);
  const std::string second = Load_Computer_Id("/opt/platterscope/platterscope", "/opt/platterscope/");
  EXPECT_EQ(first.size(), 17u);
  EXPECT_NE(first, second);
  EXPECT_EQ(Stored("Computer_Id"), "");
  blocker.remove();
}

TEST(StartupTest, IdentifierIsTheLocalTimeToTheMillisecond) {
  QDateTime at(QDate(2023, 4, 26), QTime(15, 30, 12, 345));
  EXPECT_EQ(New_Computer_Id(at), "20230426153012345");
  EXPECT_EQ(New_Computer_Id(QDateTime(QDate(2026, 1, 2), QTime(3, 4, 5, 6))), "20260102030405006");
}

TEST(StartupTest, OnlyAReturnFromADialogOfTheProgramActivatesAgain) {
  int main_window = 0, about = 0, message_box = 0, drop_down = 0, menu = 0;
  Activation_Tracker tracker;
  struct Step { const void* focus; bool dialog; bool again; };
  const Step steps[] = {
      {&main_window, false, false},  // first shown
      {nullptr, false, false},       // another application
      {&main_window, false, false},  // back from it
      {&drop_down, false, false},    // the drive list drops down
      {&main_window, false, false},  // and a drive is picked
      {&menu, false, false},         // a menu opens
      {nullptr, false, false},       // and closes, the window manager giving the focus back late
      {&main_window, false, false},
      {&about, true, false},         // the About window opens
      {&main_window, false, true},   // and closes
      {&message_box, true, false},
      {nullptr, false, false},       // the user looks elsewhere while the box is up
      {&main_window, false, true},   // the box closes
      {&main_window, false, false},  // the focus staying is no new activation
  };
  for (const Step& step : steps) EXPECT_EQ(tracker.Focus_Changed(step.focus, &main_window, step.dialog), step.again);
}

TEST(StartupTest, AboutCaptionCarriesTheFourFieldVersion) {
  EXPECT_EQ(THELPFORM::Caption_For("1.3.0.26"), "Quillorane - Platterscope v1.3.0(26)");
  THELPFORM about;
  EXPECT_EQ(about.windowTitle(), "Quillorane - Platterscope v" PS_TEST_VERSION "(1)");
}

TEST(StartupTest, CreationLogsTheVersionFirstAndSetsTheCaption) {
  QFile::remove(QString::fromStdString(Log_File_Path()));
  {
    TMainForm form;
    EXPECT_EQ(form.windowTitle(), "Quillorane - Platterscope v" PS_TEST_VERSION);
  }
  QFile log(QString::fromStdString(Log_File_Path()));
  ASSERT_TRUE(log.open(QIODevice::ReadOnly));
  const QStringList lines = QString::fromUtf8(log.readAll()).split(QStringLiteral("\r\n"), Qt::SkipEmptyParts);
  ASSERT_GE(lines.size(), 3);
  EXPECT_TRUE(lines[0].endsWith(")  Application Start Version:" PS_TEST_VERSION ".1")) << lines[0].toStdString();
  EXPECT_TRUE(lines[1].contains(QStringLiteral(")  Operating System: "))) << lines[1].toStdString();
  EXPECT_TRUE(lines.last().endsWith(QStringLiteral(")  Application Destroyed")));
}

TEST(StartupTest, ActivationRunsTheSequenceButNeverInsideARun) {
  TMainForm form;
  auto* drives = form.findChild<QComboBox*>(QStringLiteral("TargetDriveComboBox"));
  auto* start = form.findChild<QPushButton*>(QStringLiteral("StartButton"));
  EXPECT_FALSE(start->isEnabled());  // disabled from creation until the sequence has run
  form.Show_Run_State(Run_State::Running);
  form.FormActivate();
  EXPECT_FALSE(drives->isEnabled());
  form.Show_Run_State(Run_State::Idle);
  ASSERT_TRUE(Activate_And_Wait(form));
  EXPECT_TRUE(drives->isEnabled());
  EXPECT_TRUE(start->isEnabled());
  EXPECT_EQ(form.Computer_Id().size(), 17u);
}

namespace {

// An inventory that cannot be read at all.
class Broken_Inventory : public platform::Inventory_Provider {
 public:
  void Instances_Of(const std::string& class_name, const std::function<void(const platform::Cim_Instance&)>&) override {
    throw platform::Inventory_Error("Cannot enumerate " + class_name);
  }
  platform::Volume_Information Volume(const std::string&) override { return {}; }
  platform::Disk_Extent Volume_Disk_Extent(const std::string&) override { return {}; }
};

// Closes every message box that comes up and counts them.
int Boxes_While(const std::function<void()>& action) {
  int boxes = 0;
  QTimer watcher;
  watcher.setInterval(10);
  QObject::connect(&watcher, &QTimer::timeout, [&] {
    if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
      ++boxes;
      box->accept();
    }
  });
  watcher.start();
  action();
  return boxes;
}

}  // namespace

TEST(StartupTest, AStartUpErrorIsShownOnceAndTheControlsStayDisabled) {
  Broken_Inventory broken;
  TMainForm form;
  form.Use_Inventory(broken);
  auto* start = form.findChild<QPushButton*>(QStringLiteral("StartButton"));
  EXPECT_EQ(Boxes_While([&] { form.FormActivate(); }), 1);
  EXPECT_FALSE(start->isEnabled());
  // The box's closing activates the window again: the same failure is not shown again.
  EXPECT_EQ(Boxes_While([&] { form.FormActivate(); }), 0);
  EXPECT_FALSE(start->isEnabled());
}
