// Texts that carry a path, a label or server text are shown as they are, never read as
// markup: a mount point named like a link or an image must not become one.
#include <gtest/gtest.h>

#include <QApplication>
#include <QFontMetrics>
#include <QLabel>
#include <QMessageBox>
#include <QTimer>

#include "app/main_form.h"

namespace {

const std::string kMarkup = "Cannot write to /media/<a href='http://evil.example/'>x</a><img src='/etc/x.png'>";

// Shown as plain text, a label is as wide as its whole text, tags included; read as markup
// it would show only "x" and a picture's place. A label that wraps its lines (a message
// box's) says nothing by its width; its format must then be plain text.
::testing::AssertionResult Shown_As_Written(const QLabel* label) {
  if (label == nullptr) return ::testing::AssertionFailure() << "no label";
  const int written = QFontMetrics(label->font()).horizontalAdvance(label->text());
  const bool plain = label->wordWrap() ? label->textFormat() == Qt::PlainText : label->sizeHint().width() >= written;
  if (label->text().startsWith(QString::fromStdString(kMarkup)) && plain) return ::testing::AssertionSuccess();
  return ::testing::AssertionFailure() << label->objectName().toStdString() << " shows \""
                                       << label->text().toStdString() << "\" " << label->sizeHint().width()
                                       << " px wide, the text is " << written;
}

// Runs action and checks the text of every message box it shows.
int Boxes_Shown_As_Written(const std::function<void()>& action) {
  int boxes = 0;
  QTimer watcher;
  watcher.setInterval(10);
  QObject::connect(&watcher, &QTimer::timeout, [&] {
    if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
      ++boxes;
      EXPECT_TRUE(Shown_As_Written(box->findChild<QLabel*>(QStringLiteral("qt_msgbox_label"))));
      box->accept();
    }
  });
  watcher.start();
  action();
  return boxes;
}

class Markup_Inventory : public platform::Inventory_Provider {
 public:
  void Instances_Of(const std::string&, const std::function<void(const platform::Cim_Instance&)>&) override {
    throw platform::Inventory_Error(kMarkup);
  }
  platform::Volume_Information Volume(const std::string&) override { return {}; }
  platform::Disk_Extent Volume_Disk_Extent(const std::string&) override { return {}; }
};

}  // namespace

TEST(PlainTextTest, PanelsStatusBarAndMessageBoxesShowPathsAsWritten) {
  TMainForm form;
  form.Display_Loading_Panel(true, kMarkup);
  EXPECT_TRUE(Shown_As_Written(form.findChild<QLabel*>(QStringLiteral("loadinglabel"))));
  form.Display_Error_Panel(true, kMarkup);
  EXPECT_TRUE(Shown_As_Written(form.findChild<QLabel*>(QStringLiteral("errorLabel"))));
  form.Set_Status_Text(kMarkup);
  EXPECT_TRUE(Shown_As_Written(form.findChild<QLabel*>(QStringLiteral("StatusText"))));

  EXPECT_EQ(Boxes_Shown_As_Written([&] { form.Show_Error(kMarkup); }), 1);
  Markup_Inventory markup;
  form.Use_Inventory(markup);
  EXPECT_EQ(Boxes_Shown_As_Written([&] { form.FormActivate(); }), 1) << "an error that ends the start-up";
}
