// The news panel as the X server shows it: every pixel of the panel on the screen, and a
// page drawn by the web engine whether or not OpenGL can be used (the tests run once with
// Mesa's drivers and once with them hidden, as on a machine without a GPU).
#include <gtest/gtest.h>

#include <QElapsedTimer>
#include <QFrame>
#include <QImage>
#include <QPushButton>
#include <QScreen>
#include <QTest>

#include <functional>
#include <memory>

#include "app/main_form.h"
#include "app/message_browser.h"
#include "page_server.h"

namespace {

const QColor kPage(0, 255, 0);

bool Wait_For(const std::function<bool()>& done, int ms) {
  QElapsedTimer timer;
  timer.start();
  while (!done() && timer.elapsed() < ms) QTest::qWait(50);
  return done();
}

bool Near(QRgb pixel, const QColor& colour, int tolerance = 12) {
  return std::abs(qRed(pixel) - colour.red()) <= tolerance && std::abs(qGreen(pixel) - colour.green()) <= tolerance &&
         std::abs(qBlue(pixel) - colour.blue()) <= tolerance;
}

// The share of the pixels of rect that have colour.
double Share_Of(const QImage& image, const QRect& rect, const QColor& colour) {
  const QRect inside = rect.intersected(image.rect());
  if (inside.isEmpty()) return 0;
  long matching = 0;
  for (int y = inside.top(); y <= inside.bottom(); ++y)
    for (int x = inside.left(); x <= inside.right(); ++x) matching += Near(image.pixel(x, y), colour) ? 1 : 0;
  return static_cast<double>(matching) / (static_cast<double>(rect.width()) * rect.height());
}

// The share of the pixels in which two pictures of the same size agree.
double Agreement(const QImage& a, const QImage& b) {
  if (a.size() != b.size() || a.isNull()) return 0;
  long matching = 0;
  for (int y = 0; y < a.height(); ++y)
    for (int x = 0; x < a.width(); ++x) matching += Near(a.pixel(x, y), QColor(b.pixel(x, y))) ? 1 : 0;
  return static_cast<double>(matching) / (static_cast<double>(a.width()) * a.height());
}

// What the X server shows of a window, kept beside the test binary for a look by hand.
QImage On_Screen(QWidget* window, const QString& keep_as) {
  const QImage image = window->screen()->grabWindow(window->winId()).toImage().convertToFormat(QImage::Format_RGB32);
  image.save(keep_as);
  return image;
}

QRect Place_In(const QWidget* widget, const QWidget* window) { return QRect(widget->mapTo(window, QPoint(0, 0)), widget->size()); }

}  // namespace

TEST(NewsPanel, EveryPixelOfThePanelIsOnTheScreen) {
  Page_Server server("#00ff00");
  qputenv("PLATTERSCOPE_SERVER", server.Host());
  TMainForm form;
  form.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&form));
  auto* start = form.findChild<QPushButton*>(QStringLiteral("StartButton"));
  ASSERT_TRUE(Wait_For([&] { return start->isEnabled(); }, 30000)) << "start-up did not finish";

  form.Display_Message_Panel(true, "news.php");
  ASSERT_NE(form.Browser(), nullptr);
  ASSERT_TRUE(Wait_For([&] { return form.Browser()->Loaded(); }, 30000));
  auto* panel = form.findChild<QFrame*>(QStringLiteral("messagepanel"));
  const QRect page = Place_In(form.Browser()->Widget(), &form).adjusted(4, 4, -20, -4);  // a scroll bar may show
  QImage screen;
  Wait_For([&] { return Share_Of(screen = On_Screen(&form, "screen-news-panel.png"), page, kPage) > 0.98; }, 15000);
  EXPECT_GT(Share_Of(screen, page, kPage), 0.98) << "the page's colour fills the browser's place on the screen";
  const QImage own = panel->grab().toImage().convertToFormat(QImage::Format_RGB32);
  EXPECT_GT(Agreement(screen.copy(Place_In(panel, &form)), own), 0.995)
      << "the screen shows the panel as it draws itself: caption, close picture and browser";
  qputenv("PLATTERSCOPE_SERVER", "");
}

TEST(NewsPanel, TheWebEngineDrawsThePageWithOrWithoutOpenGL) {
  Page_Server server("#00ff00");
  QWidget window;
  window.resize(420, 300);
  std::unique_ptr<Message_Browser> browser = Make_Message_Browser(&window, Browser_Kind::Web_Engine);
  browser->Widget()->setGeometry(10, 10, 400, 280);
  window.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
  browser->Open(QUrl(QStringLiteral("http://%1/news.php").arg(QString::fromLatin1(server.Host()))));
  ASSERT_TRUE(Wait_For([&] { return browser->Loaded(); }, 30000));
  EXPECT_TRUE(browser->Load_Succeeded());
  const QRect page = Place_In(browser->Widget(), &window).adjusted(4, 4, -20, -4);
  QImage screen;
  Wait_For([&] { return Share_Of(screen = On_Screen(&window, "screen-web-engine.png"), page, kPage) > 0.98; }, 15000);
  EXPECT_GT(Share_Of(screen, page, kPage), 0.98) << "the page is drawn where the browser stands";
}
