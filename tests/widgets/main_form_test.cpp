// The main window as the engine and the user see it: its components, their places and
// what the host operations do to them.
#include <gtest/gtest.h>

#include <QApplication>
#include <QComboBox>
#include <QFrame>
#include <QLabel>
#include <QMenuBar>
#include <QMessageBox>
#include <QPushButton>
#include <QStatusBar>
#include <QTest>
#include <QTimer>

#include "app/main_form.h"
#include "window_wait.h"
#include "display/device_marks.h"
#include "engine/plan.h"
#include "recording_host.h"

namespace {

class MainFormTest : public ::testing::Test {
 protected:
  // The window as the user meets it: created, then through its start-up sequence.
  void SetUp() override { ASSERT_TRUE(Activate_And_Wait(form)); }

  template <class T>
  T* Child(const char* name) {
    return form.findChild<T*>(QString::fromLatin1(name));
  }

  QString Status_Text() { return Child<QLabel>("StatusText")->text(); }

  // The message box that a press of Start opened, closed again at once.
  struct Seen_Box {
    bool shown = false;
    QString title, text;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
  };

  Seen_Box Press_Start_And_Close_Box() {
    Seen_Box seen;
    QTimer watcher;
    watcher.setInterval(10);
    QObject::connect(&watcher, &QTimer::timeout, [&] {
      if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
        seen = {true, box->windowTitle(), box->text(), box->icon()};
        watcher.stop();
        box->accept();
      }
    });
    watcher.start();
    QTest::mouseClick(Child<QPushButton>("StartButton"), Qt::LeftButton);
    // The run goes on its worker; the press returns at once.
    EXPECT_TRUE(QTest::qWaitFor([&] { return seen.shown && !form.Run_Going(); }, 10000));
    return seen;
  }

  TMainForm form;
};

// The nine rows of results: caption and top of the row, which holds plan entries 2k, 2k+1.
struct Row {
  const char* caption;
  int top;
};
constexpr Row kRows[] = {{"Sequential", 40},  {"Random 512B", 62}, {"Random 1K", 86},
                         {"Random 4K", 109},  {"Random 64K", 132}, {"Random 128K", 158},
                         {"Random 512K", 184}, {"Random 1MB", 207}, {"Random 4MB", 230}};

TEST_F(MainFormTest, ResultLabelsAreThePlansLabelsInTheirRowsAndColumns) {
  QWidget* panel = Child<QWidget>("Panel2");
  ASSERT_NE(panel, nullptr);
  const QList<QLabel*> labels = panel->findChildren<QLabel*>(QString(), Qt::FindDirectChildrenOnly);
  auto text_at = [&](int x, int y) {
    for (QLabel* label : labels)
      if (label->x() == x && label->y() == y) return label->text();
    return QStringLiteral("<none>");
  };
  EXPECT_EQ(text_at(864, 27), "Write/Mbs");
  EXPECT_EQ(text_at(939, 27), "Read/Mbs");

  for (int i = 0; i <= kLastTest; ++i) {
    const TMyGraphColumn& entry = MyGraph.GraphColumn[i];
    SCOPED_TRACE(entry.TestSpeedLabel);
    auto* label = Child<QLabel>(entry.TestSpeedLabel.c_str());
    ASSERT_NE(label, nullptr);
    EXPECT_EQ(label->parentWidget(), panel);
    EXPECT_EQ(label->text(), "00.00");
    const Row& row = kRows[i / 2];
    EXPECT_EQ(label->geometry(), QRect(kPlannedTests[i].ReadOrWrite == 0 ? 864 : 939, row.top, 64, 16));
    EXPECT_EQ(text_at(769, row.top), row.caption);
  }
  for (int i = kLastTest + 1; i < kPlanEntries; ++i) EXPECT_TRUE(MyGraph.GraphColumn[i].TestSpeedLabel.empty());
}

TEST_F(MainFormTest, TestTimeBoxIsHiddenWithFortyItemsShowingTwenty) {
  auto* box = Child<QComboBox>("combo_testtime");
  ASSERT_NE(box, nullptr);
  EXPECT_TRUE(box->isHidden());
  EXPECT_FALSE(box->isEditable());
  QStringList expected{"1", "5"};
  for (int s = 10; s <= 190; s += 5) expected << QString::number(s);
  expected << "200";
  ASSERT_EQ(expected.size(), 40);
  QStringList items;
  for (int i = 0; i < box->count(); ++i) items << box->itemText(i);
  EXPECT_EQ(items, expected);
  EXPECT_EQ(box->currentIndex(), 4);
  EXPECT_EQ(box->currentText(), "20");
}

TEST_F(MainFormTest, StartUpEndsIdleWithCaptionAndDriveList) {
  EXPECT_EQ(form.windowTitle(), QStringLiteral("Quillorane - Platterscope v" PS_TEST_VERSION));
  EXPECT_TRUE(Child<QFrame>("loadingpanel")->isHidden());
  EXPECT_TRUE(Status_Text().isEmpty());

  auto* start = Child<QPushButton>("StartButton");
  EXPECT_EQ(start->text(), "Start");
  EXPECT_TRUE(start->isEnabled());

  auto* drives = Child<QComboBox>("TargetDriveComboBox");
  EXPECT_TRUE(drives->isEnabled());
  EXPECT_FALSE(drives->isEditable());
  // Every entry names the drive kept at its position; the first one is selected.
  ASSERT_GT(drives->count(), 0) << "the machine's root file system is listed";
  for (int i = 0; i < drives->count(); ++i) {
    drives->setCurrentIndex(i);
    const TMyLogicalDisks* drive = form.Selected_Drive();
    ASSERT_NE(drive, nullptr);
    EXPECT_TRUE(drives->itemText(i).startsWith(QString::fromStdString(drive->DeviceName)));
    if (i > 0) {
      EXPECT_LT(drives->itemText(i - 1), drives->itemText(i));
    }
  }
  drives->setCurrentIndex(0);
}

TEST_F(MainFormTest, WindowIsFixedAroundItsClientArea) {
  form.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&form));
  EXPECT_EQ(form.minimumSize(), form.maximumSize());
  EXPECT_EQ(form.size(), form.minimumSize());
  EXPECT_EQ(form.width(), 1012);
  const QRect client = form.centralWidget()->geometry();
  const QRect status = form.statusBar()->geometry();
  EXPECT_EQ(client.size(), QSize(1012, 550));
  EXPECT_EQ(client.top(), form.menuBar()->geometry().bottom() + 1);
  EXPECT_EQ(status.height(), 19);
  EXPECT_EQ(status.top(), client.bottom() + 1);
  EXPECT_EQ(status.bottom() + 1 - client.top(), 569);
  EXPECT_EQ(form.height(), form.menuBar()->height() + 569);
}

TEST_F(MainFormTest, SetLabelTextWritesOnlyTheNamedLabel) {
  form.Set_Label_Text("test3R", "123.50");
  form.Set_Label_Text("no such label", "9.99");
  for (int i = 0; i <= kLastTest; ++i) {
    const std::string& name = MyGraph.GraphColumn[i].TestSpeedLabel;
    EXPECT_EQ(Child<QLabel>(name.c_str())->text(), name == "test3R" ? "123.50" : "00.00") << name;
  }
  form.Set_Status_Text("Sent");
  form.Clean_ALL_Stats();
  EXPECT_EQ(Child<QLabel>("test3R")->text(), "00.00");
  EXPECT_TRUE(Status_Text().isEmpty());
}

TEST_F(MainFormTest, AResultACacheServedIsDrawnInItsOwnColourWithTheReason) {
  const Device_Check cached = Cached_Read(8192);
  form.Set_Label_Text("test1R", "5161.00");
  form.Show_Device_Check("test1R", cached);
  QLabel* label = Child<QLabel>("test1R");
  EXPECT_EQ(label->toolTip().toStdString(), Device_Check_Tip(cached));
  // The digits are drawn in the cache's colour, not in the usual lime.
  auto drawn_in = [](QLabel* shown, const QColor& colour) {
    const QImage drawn = shown->grab().toImage();
    for (int y = 0; y < drawn.height(); ++y)
      for (int x = 0; x < drawn.width(); ++x)
        if (drawn.pixelColor(x, y) == colour) return true;
    return false;
  };
  EXPECT_TRUE(drawn_in(label, kCachedResultColour));
  EXPECT_FALSE(drawn_in(label, kResultLabelColour));
  form.Set_Label_Text("test1W", "2349.00");
  EXPECT_TRUE(drawn_in(Child<QLabel>("test1W"), kResultLabelColour));

  form.Clean_ALL_Stats();  // a new run: the mark goes with the result
  EXPECT_TRUE(label->toolTip().isEmpty());
  EXPECT_EQ(label->palette().color(QPalette::WindowText), kResultLabelColour);
}

TEST_F(MainFormTest, LoadingPanelShowsOneLineOverTheGraphAndHidesIt) {
  auto* panel = Child<QFrame>("loadingpanel");
  auto* label = Child<QLabel>("loadinglabel");
  form.Display_Loading_Panel(true, "Deleting temporary files, please wait...");
  form.Display_Loading_Panel(true, "Sequential Write Start...");
  EXPECT_FALSE(panel->isHidden());
  EXPECT_EQ(label->text(), "Sequential Write Start...");
  // Centred on the 760 x 340 graph, a third of the left margin (34) to the right.
  EXPECT_EQ(panel->geometry(), QRect(37, 152, 709, 37));
  form.Display_Loading_Panel(false, "");
  EXPECT_TRUE(panel->isHidden());
  EXPECT_TRUE(label->text().isEmpty());
}

TEST_F(MainFormTest, EnableAllButtonsSetsTheControlsAndTheStartButtonApart) {
  struct Case {
    bool status, sbutton;
  };
  for (const Case c : {Case{false, false}, Case{false, true}, Case{true, false}, Case{true, true}}) {
    SCOPED_TRACE(testing::Message() << "status " << c.status << ", sbutton " << c.sbutton);
    form.Enable_All_Buttons(c.status, c.sbutton);
    EXPECT_EQ(Child<QComboBox>("TargetDriveComboBox")->isEnabled(), c.status);
    EXPECT_EQ(Child<QComboBox>("combo_testtime")->isEnabled(), c.status);
    EXPECT_EQ(Child<QWidget>("gridresults")->isEnabled(), c.status);
    EXPECT_EQ(Child<QPushButton>("StartButton")->isEnabled(), c.sbutton);
  }
}

TEST_F(MainFormTest, TheStartButtonShowsTheRunState) {
  auto* start = Child<QPushButton>("StartButton");
  struct Case {
    Run_State state;
    const char* caption;
    bool enabled;
  };
  for (const Case c : {Case{Run_State::Running, "Stop", true}, Case{Run_State::Stopping, "Start", false},
                       Case{Run_State::Idle, "Start", true}}) {
    start->setEnabled(true);
    form.Show_Run_State(c.state);
    EXPECT_EQ(start->text(), c.caption);
    EXPECT_EQ(start->isEnabled(), c.enabled) << c.caption;
  }
}

TEST_F(MainFormTest, StartWithoutDriveShowsTheErrorAndStaysIdle) {
  Child<QComboBox>("TargetDriveComboBox")->clear();
  const Seen_Box box = Press_Start_And_Close_Box();
  EXPECT_TRUE(box.shown);
  EXPECT_EQ(box.title, "Platterscope");
  EXPECT_EQ(box.icon, QMessageBox::Critical);
  EXPECT_TRUE(box.text.contains("no drive selected")) << box.text.toStdString();
  EXPECT_FALSE(form.Run_Going());
  EXPECT_EQ(Child<QPushButton>("StartButton")->text(), "Start");
  EXPECT_TRUE(Child<QPushButton>("StartButton")->isEnabled());
  EXPECT_TRUE(Child<QComboBox>("TargetDriveComboBox")->isEnabled());
}

TEST_F(MainFormTest, CloseWhenIdleClosesAtOnce) {
  form.show();
  EXPECT_TRUE(form.close());
  EXPECT_FALSE(form.isVisible());
}

}  // namespace
