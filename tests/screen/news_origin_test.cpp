// The news panel's web engine stays on the news address's own origin: a page's script can
// neither navigate the panel elsewhere nor reach another origin (another port of this machine
// here), and only a link the user clicks leaves, for the user's browser (as root: the status
// of the window, never the desktop's handler).
#include <gtest/gtest.h>

#include <QDesktopServices>
#include <QElapsedTimer>
#include <QTest>
#include <QWebEngineView>

#include <functional>
#include <memory>

#include "../core/loopback_server.h"
#include "app/message_browser.h"
#include "app/outside_links.h"

namespace {

bool Wait_For(const std::function<bool()>& done, int ms) {
  QElapsedTimer timer;
  timer.start();
  while (!done() && timer.elapsed() < ms) QTest::qWait(50);
  return done();
}

Loopback_Server::Reply Html(const std::string& body) {
  return {Loopback_Server::Mode::Answer, "HTTP/1.1 200 OK\r\nContent-Type: text/html\r\nContent-Length: " +
                                             std::to_string(body.size()) + "\r\nConnection: close\r\n\r\n" + body};
}

// Where an address handed outside ends up: the desktop's handler, or as root the notice.
class Outside : public QObject {
  Q_OBJECT

 public slots:
  void Open(const QUrl& url) { urls << url.toString(); }

 public:
  QStringList urls;
};

}  // namespace

TEST(NewsOrigin, ThePageStaysOnItsOriginAndOnlyAClickOfTheUserLeavesIt) {
  Loopback_Server elsewhere([](const std::string&) { return Html("<form><input type=password></form>"); });
  const std::string other = elsewhere.url("");
  const std::string page =
      "<html><body style=\"margin:0\">"
      "<a id=\"out\" href=\"" + other + "/login\" style=\"display:block;width:100%;height:400px\">news</a>"
      "<img src=\"" + other + "/pixel.png\"><iframe src=\"" + other + "/frame\"></iframe>"
      "<script>fetch('" + other + "/fetch').catch(function () {});"
      "setTimeout(function () { location.href = '" + other + "/form'; }, 300);</script></body></html>";
  Loopback_Server news([&](const std::string&) { return Html(page); });
  Outside outside;
  QDesktopServices::setUrlHandler(QStringLiteral("http"), &outside, "Open");
  QWidget window;
  Show_Outside_Links_As_Root(&window, [&](const QUrl& url) { outside.Open(url); });
  window.resize(420, 420);
  std::unique_ptr<Message_Browser> browser = Make_Message_Browser(&window, Browser_Kind::Web_Engine);
  browser->Widget()->setGeometry(10, 10, 400, 400);
  window.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
  const QUrl address(QString::fromStdString(news.url("/news.php")));
  browser->Open(address);
  ASSERT_TRUE(Wait_For([&] { return browser->Loaded(); }, 30000));
  auto* view = qobject_cast<QWebEngineView*>(browser->Widget());
  QTest::qWait(1500);  // the script's navigation is due after 300 ms
  EXPECT_EQ(view->url().toString(), address.toString()) << "the page's script did not take the panel elsewhere";
  EXPECT_TRUE(outside.urls.isEmpty()) << "nor did it open the user's browser";

  // The user clicks the link: it goes outside, and the panel stays.
  QWidget* surface = view->focusProxy() != nullptr ? view->focusProxy() : view;
  QTest::mouseClick(surface, Qt::LeftButton, {}, QPoint(200, 100));
  EXPECT_TRUE(Wait_For([&] { return !outside.urls.isEmpty(); }, 10000));
  EXPECT_EQ(outside.urls.join(' ').toStdString(), other + "/login");
  EXPECT_EQ(view->url().toString(), address.toString());
  QDesktopServices::unsetUrlHandler(QStringLiteral("http"));
  QDesktopServices::unsetUrlHandler(QStringLiteral("https"));
  EXPECT_TRUE(elsewhere.Requests().empty()) << "nothing of the other origin was ever requested";
}

#include "news_origin_test.moc"
