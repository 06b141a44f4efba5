// The whole window on a real X display against a loopback results server that offers two
// banners and a news page: what the start-up draws is read back from the screen.
#include <gtest/gtest.h>

#include <QBuffer>
#include <QElapsedTimer>
#include <QFrame>
#include <QLabel>
#include <QScreen>
#include <QTest>
#include <QTimer>

#include "../core/loopback_server.h"
#include "app/main_form.h"
#include "reporting/report_codec.h"

namespace {

const QColor kFirst(220, 30, 30);
const QColor kSecond(30, 60, 220);
const QColor kNewsBackground(0x2a, 0x7f, 0x3c);

std::string Banner(const QColor& colour) {
  QImage image(468, 60, QImage::Format_RGB32);
  image.fill(colour);
  QByteArray bytes;
  QBuffer buffer(&bytes);
  buffer.open(QIODevice::WriteOnly);
  image.save(&buffer, "PNG");
  return bytes.toStdString();
}

// What the screen shows of widget, read back from the X server.
QImage On_Screen(TMainForm& form, QWidget* widget) {
  const QPoint at = widget->mapTo(&form, QPoint(0, 0));
  return form.screen()->grabWindow(form.winId(), at.x(), at.y(), widget->width(), widget->height()).toImage();
}

bool Close_To(QColor a, const QColor& b) {
  return std::abs(a.red() - b.red()) <= 6 && std::abs(a.green() - b.green()) <= 6 && std::abs(a.blue() - b.blue()) <= 6;
}

bool Wait_For(const std::function<bool()>& done, int ms) {
  QElapsedTimer timer;
  timer.start();
  while (!done() && timer.elapsed() < ms) QTest::qWait(50);
  return done();
}

int Pixels_Of(const QImage& image, const QColor& colour) {
  int count = 0;
  for (int y = 0; y < image.height(); ++y)
    for (int x = 0; x < image.width(); ++x) count += Close_To(image.pixelColor(x, y), colour);
  return count;
}

}  // namespace

TEST(WindowUnderX, TheBannerRotatesAndTheNewsPageIsDrawn) {
  const std::string first = Banner(kFirst), second = Banner(kSecond);
  Loopback_Server server(Loopback_Server::Serve(
      {{"/program_version3.php", "[VERSION]1.0.0[/VERSION][MESSAGES]news.html[/MESSAGES][ADS]1,/ads/first.png," +
                                     MD5_Of_Text(first) + "[BR]2,/ads/second.png," + MD5_Of_Text(second) + "[/ADS]"},
       {"/ads/first.png", first},
       {"/ads/second.png", second},
       {"/news.html", "<html><body style=\"background:#2a7f3c;margin:0\"><h1>Platterscope news</h1></body></html>"}}));
  qputenv("PLATTERSCOPE_SERVER", QByteArray::fromStdString(server.host()));
  TMainForm form;
  form.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&form));
  auto* image = form.findChild<QLabel*>(QStringLiteral("Image1"));
  auto* panel = form.findChild<QFrame*>(QStringLiteral("messagepanel"));
  auto* timer = form.findChild<QTimer*>(QStringLiteral("ADS_TIMER"));
  ASSERT_TRUE(Wait_For([&] { return form.Browser() != nullptr && form.Browser()->Loaded(); }, 60000));
  EXPECT_TRUE(form.Browser()->Load_Succeeded());
  EXPECT_TRUE(timer->isActive());
  EXPECT_EQ(timer->interval(), 30000);

  const QPoint middle(image->width() / 2, image->height() / 2);
  EXPECT_TRUE(Wait_For([&] { return Close_To(On_Screen(form, image).pixelColor(middle), kFirst); }, 5000))
      << "the first banner is on the screen";
  // A tick (sooner than every 30 seconds, for the test) brings the second.
  timer->setInterval(200);
  EXPECT_TRUE(Wait_For([&] { return Close_To(On_Screen(form, image).pixelColor(middle), kSecond); }, 5000));

  // The news page fills the panel's browser with its background colour.
  EXPECT_TRUE(Wait_For([&] { return Pixels_Of(On_Screen(form, panel), kNewsBackground) > 100000; }, 20000))
      << Pixels_Of(On_Screen(form, panel), kNewsBackground) << " pixels of the news page's background";
  qputenv("PLATTERSCOPE_SERVER", "");
}
