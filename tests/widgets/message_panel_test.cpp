// The message panel: a page of the results server in the embedded browser, and the close
// picture as the way out.
#include <gtest/gtest.h>

#include <QComboBox>
#include <QElapsedTimer>
#include <QFrame>
#include <QLabel>
#include <QPushButton>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTest>

#include "app/main_form.h"

namespace {

// A results server on the loopback that answers every request with one small page and
// records the paths asked for.
class Page_Server {
 public:
  Page_Server() {
    server_.listen(QHostAddress::LocalHost);
    QObject::connect(&server_, &QTcpServer::newConnection, [this] {
      while (QTcpSocket* socket = server_.nextPendingConnection()) {
        QObject::connect(socket, &QTcpSocket::readyRead, socket, [this, socket] {
          const QByteArray request = socket->readAll();
          if (!request.contains("\r\n\r\n")) return;
          paths << QString::fromLatin1(request.split(' ').value(1));
          const QByteArray body = "<html><body><h1>Platterscope news</h1></body></html>";
          socket->write("HTTP/1.1 200 OK\r\nContent-Type: text/html\r\nConnection: close\r\nContent-Length: " +
                        QByteArray::number(body.size()) + "\r\n\r\n" + body);
          socket->disconnectFromHost();
        });
        QObject::connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
      }
    });
  }
  QByteArray Host() const { return "127.0.0.1:" + QByteArray::number(server_.serverPort()); }
  QStringList paths;  // the paths asked for, in order

 private:
  QTcpServer server_;
};

bool Wait_For(const std::function<bool()>& done, int ms) {
  QElapsedTimer timer;
  timer.start();
  while (!done() && timer.elapsed() < ms) QTest::qWait(20);
  return done();
}

}  // namespace

TEST(MessagePanelTest, ShowsTheServersPageAndOnlyItsCloseBringsTheControlsBack) {
  Page_Server server;
  TMainForm form;
  form.FormActivate();
  qputenv("PLATTERSCOPE_SERVER", server.Host());
  auto* panel = form.findChild<QFrame*>(QStringLiteral("messagepanel"));
  auto* start = form.findChild<QPushButton*>(QStringLiteral("StartButton"));
  auto* drives = form.findChild<QComboBox*>(QStringLiteral("TargetDriveComboBox"));
  ASSERT_TRUE(start->isEnabled());

  form.Display_Message_Panel(true, "news.php");
  EXPECT_FALSE(panel->isHidden());
  EXPECT_FALSE(start->isEnabled());
  EXPECT_FALSE(drives->isEnabled());
  ASSERT_NE(form.Browser(), nullptr);
  EXPECT_EQ(form.Browser()->Address().toString().toStdString(), "http://" + server.Host().toStdString() + "/news.php");
  ASSERT_TRUE(Wait_For([&] { return form.Browser()->Loaded(); }, 30000));
  EXPECT_TRUE(form.Browser()->Load_Succeeded());
  EXPECT_EQ(server.paths.value(0), "/news.php");
  // The panel stands inside the middle panel with its caption, close picture and browser.
  QWidget* middle = panel->parentWidget();
  EXPECT_TRUE(middle->rect().contains(panel->geometry())) << panel->y() << " " << panel->height();
  EXPECT_EQ(panel->height(), middle->height() - 20);
  EXPECT_EQ(form.Browser()->Widget()->height(), panel->height() - 45);

  // Shown again while up: no second load, no second disabling.
  form.Display_Message_Panel(true, "other.php");
  QTest::qWait(200);
  EXPECT_FALSE(server.paths.contains("/other.php"));

  QTest::mouseClick(form.findChild<QLabel*>(QStringLiteral("messagepanel_close_button")), Qt::LeftButton);
  EXPECT_TRUE(panel->isHidden());
  EXPECT_TRUE(start->isEnabled());
  EXPECT_TRUE(drives->isEnabled());
  qputenv("PLATTERSCOPE_SERVER", "");  // offline again, as every window test starts
}

TEST(MessagePanelTest, TheClosePictureIsAlwaysAWayOut) {
  TMainForm form;
  auto* start = form.findChild<QPushButton*>(QStringLiteral("StartButton"));
  // The panel came up while the controls were already off (start-up not finished).
  form.Display_Message_Panel(true, "");
  form.Enable_All_Buttons(false, false);
  QTest::mouseClick(form.findChild<QLabel*>(QStringLiteral("messagepanel_close_button")), Qt::LeftButton);
  EXPECT_TRUE(start->isEnabled());
  // Hiding a hidden panel leaves the controls alone.
  form.Enable_All_Buttons(false, false);
  form.Display_Message_Panel(false, "");
  EXPECT_FALSE(start->isEnabled());
}
