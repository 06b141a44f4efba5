// Which windows of the program make a return to the main window run the start-up sequence
// again: a dialog (the About window, a message box) does; the drop-down list of drives and
// the menus do not. Real popups and a real About window, on the offscreen platform.
#include <gtest/gtest.h>

#include <QApplication>
#include <QComboBox>
#include <QElapsedTimer>
#include <QListView>
#include <QMenu>
#include <QTest>
#include <QTimer>
#include <QWindow>

#include "app/help_form.h"
#include "app/main_form.h"

namespace {

// Counts the start-up sequences by the operating-system query each of them makes.
class Counting_Inventory : public platform::Inventory_Provider {
 public:
  void Instances_Of(const std::string& class_name, const std::function<void(const platform::Cim_Instance&)>&) override {
    if (class_name == "Win32_OperatingSystem") ++sequences;
  }
  platform::Volume_Information Volume(const std::string&) override { return {}; }
  platform::Disk_Extent Volume_Disk_Extent(const std::string&) override { return {}; }
  int sequences = 0;
};

bool Wait_For(const std::function<bool()>& done, int ms = 5000) {
  QElapsedTimer timer;
  timer.start();
  while (!done() && timer.elapsed() < ms) QTest::qWait(10);
  return done();
}

bool Focus_On(const QWidget* widget) {
  return widget->window()->windowHandle() != nullptr && QGuiApplication::focusWindow() == widget->window()->windowHandle();
}

}  // namespace

TEST(ActivationTest, OnlyADialogSendsTheSequenceAgainNotTheDriveListOrAMenu) {
  Counting_Inventory inventory;
  TMainForm form;
  form.Use_Inventory(inventory);
  form.show();
  form.activateWindow();
  // The drive list stays off until the sequence's transfers, on their worker, are over.
  ASSERT_TRUE(Wait_For([&] { return inventory.sequences == 1 && !form.Startup_Going() && Focus_On(&form); }, 15000));

  auto* drives = form.findChild<QComboBox*>(QStringLiteral("TargetDriveComboBox"));
  drives->addItems({QStringLiteral("/ (271 GB) Generic Disk"), QStringLiteral("/data (1 TB) Samsung SSD")});
  drives->showPopup();
  ASSERT_TRUE(Wait_For([&] { return Focus_On(drives->view()); })) << "the drop-down list has the focus";
  QTest::keyClick(drives->view(), Qt::Key_Down);
  QTest::keyClick(drives->view(), Qt::Key_Return);  // a drive is picked
  ASSERT_TRUE(Wait_For([&] { return Focus_On(&form); }));
  QTest::qWait(100);
  EXPECT_EQ(inventory.sequences, 1) << "picking a drive ran the start-up again";

  auto* file = form.findChild<QMenu*>(QStringLiteral("File1"));
  file->popup(form.mapToGlobal(QPoint(10, 10)));
  ASSERT_TRUE(Wait_For([&] { return Focus_On(file); })) << "the File menu has the focus";
  QTest::keyClick(file, Qt::Key_Escape);
  ASSERT_TRUE(Wait_For([&] { return !file->isVisible(); }));
  if (!Focus_On(&form)) form.activateWindow();  // as a window manager gives the focus back
  ASSERT_TRUE(Wait_For([&] { return Focus_On(&form); }));
  QTest::qWait(100);
  EXPECT_EQ(inventory.sequences, 1) << "closing a menu ran the start-up again";

  // The About window opens, takes the focus and is closed.
  QTimer closer;
  QObject::connect(&closer, &QTimer::timeout, [&] {
    auto* about = qobject_cast<THELPFORM*>(QApplication::activeModalWidget());
    if (about != nullptr && Focus_On(about)) about->reject();
  });
  closer.start(20);
  const int before = inventory.sequences;
  form.About1Click();
  closer.stop();
  if (!Focus_On(&form)) form.activateWindow();  // as a window manager gives the focus back
  ASSERT_TRUE(Wait_For([&] { return inventory.sequences == before + 1; })) << "closing the About window runs it again";
  QTest::qWait(100);
  EXPECT_EQ(inventory.sequences, before + 1);
}
