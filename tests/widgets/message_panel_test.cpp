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

#include <unistd.h>

#include <QDesktopServices>
#include <QFile>
#include <QTextBrowser>

#include "app/main_form.h"
#include "window_wait.h"
#include "common/log.h"

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
  ASSERT_TRUE(Activate_And_Wait(form));
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
  // The panel is as tall as the middle panel less 20 and its browser 45 less than that; that
  // every pixel of it can be seen is a test of the screen (tests/screen).
  auto* middle = form.findChild<QFrame*>(QStringLiteral("Panel2"));
  EXPECT_EQ(panel->height(), middle->height() - 20);
  EXPECT_EQ(panel->y(), middle->y() + 10);
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

namespace {

// Stands in for the desktop's URL handler and records what it is asked to open.
class Url_Recorder : public QObject {
  Q_OBJECT

 public slots:
  void Open(const QUrl& url) { opened << url; }

 public:
  QList<QUrl> opened;
};

}  // namespace

// The web engine's sandbox cannot run as root and the pages come over plain HTTP: as root
// they are shown by the text browser, which runs nothing, and a link of theirs is shown in the
// status bar and logged, never handed to the desktop's handler (it would start the browser
// as root). The log says which browser shows them.
TEST(MessagePanelTest, AsRootPagesAreShownByTheTextBrowserAndTheLogSaysWhich) {
  Page_Server server;
  qputenv("PLATTERSCOPE_SERVER", server.Host());
  const bool root = ::geteuid() == 0;
  const std::string more = "http://" + server.Host().toStdString() + "/more.php";
  const auto log_text = [] {
    QFile log(QString::fromStdString(Log_File_Path()));
    return log.open(QIODevice::ReadOnly) ? log.readAll() : QByteArray();
  };
  Url_Recorder desktop;
  {
    TMainForm form;
    form.Display_Message_Panel(true, "news.php");
    ASSERT_NE(form.Browser(), nullptr);
    EXPECT_EQ(qobject_cast<QTextBrowser*>(form.Browser()->Widget()) != nullptr, root);
    EXPECT_EQ(Message_Browser_Kind() == Browser_Kind::Text, root);
    EXPECT_TRUE(log_text().contains(root ? "News pages: text browser" : "News pages: web engine"));
    if (root) {
      ASSERT_TRUE(Wait_For([&] { return form.Browser()->Loaded(); }, 30000));
      QDesktopServices::setUrlHandler(QStringLiteral("http"), &desktop, "Open");
      emit qobject_cast<QTextBrowser*>(form.Browser()->Widget())->anchorClicked(QUrl(QStringLiteral("more.php")));
      QDesktopServices::unsetUrlHandler(QStringLiteral("http"));
      EXPECT_TRUE(desktop.opened.isEmpty());
      EXPECT_EQ(form.findChild<QLabel*>(QStringLiteral("StatusText"))->text().toStdString(),
                "Open in your browser: " + more);
      EXPECT_TRUE(log_text().contains(QByteArray::fromStdString("Not opened in a browser (running as root): " + more)));
    }
  }
  QWidget parent;
  std::unique_ptr<Message_Browser> text = Make_Message_Browser(&parent, Browser_Kind::Text);
  text->Open(QUrl(QStringLiteral("http://%1/news.php").arg(QString::fromLatin1(server.Host()))));
  ASSERT_TRUE(Wait_For([&] { return text->Loaded(); }, 30000));
  QDesktopServices::setUrlHandler(QStringLiteral("http"), &desktop, "Open");
  auto* view = qobject_cast<QTextBrowser*>(text->Widget());
  emit view->anchorClicked(QUrl(QStringLiteral("more.php")));
  emit view->anchorClicked(QUrl(QStringLiteral("file:///etc/shadow")));
  QDesktopServices::unsetUrlHandler(QStringLiteral("http"));
  if (root) {
    EXPECT_TRUE(desktop.opened.isEmpty());
  } else {
    ASSERT_EQ(desktop.opened.size(), 1);
    EXPECT_EQ(desktop.opened[0].toString().toStdString(), more);
  }
  EXPECT_TRUE(view->toPlainText().contains(QStringLiteral("Platterscope news"))) << "the page stays";
  EXPECT_TRUE(view->loadResource(QTextDocument::ImageResource, QUrl(QStringLiteral("file:///etc/hostname"))).isNull())
      << "nothing named by a page is loaded";
  qunsetenv("PLATTERSCOPE_SERVER");
}

#include "message_panel_test.moc"
