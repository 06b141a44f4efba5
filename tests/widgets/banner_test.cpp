// The banner on the window: Image1 and its timer, pictures scaled to fit with their
// proportions kept (stills and animations, recognised by their content), a banner that cannot
// be decoded going out of the rotation without an error box, the click handed to the browser,
// and the hand pointer over the whole window while the pointer is on the banner.
#include <gtest/gtest.h>

#include <QApplication>
#include <QDesktopServices>
#include <QEnterEvent>
#include <QImage>
#include <QLabel>
#include <QMovie>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <unistd.h>

#include <QFile>

#include "app/main_form.h"
#include "window_wait.h"
#include "common/log.h"

namespace {

// Receives the addresses the window hands to the browser.
class Url_Recorder : public QObject {
  Q_OBJECT
 public slots:
  void Open(const QUrl& url) { urls << url.toString(); }

 public:
  QStringList urls;
};

QString Picture(const QTemporaryDir& dir, const QString& name, QSize size, QColor colour, const char* format) {
  QImage image(size, QImage::Format_RGB32);
  image.fill(colour);
  const QString path = dir.filePath(name);
  image.save(path, format);
  return path;
}

// Two frames of one pixel each, red then blue.
QString Animation(const QTemporaryDir& dir) {
  static const char kGif[] =
      "GIF89a\x01\x00\x01\x00\x80\x00\x00\xff\x00\x00\x00\x00\xff"
      "\x21\xf9\x04\x00\x0a\x00\x00\x00\x2c\x00\x00\x00\x00\x01\x00\x01\x00\x00\x02\x02\x44\x01\x00"
      "\x21\xf9\x04\x00\x0a\x00\x00\x00\x2c\x00\x00\x00\x00\x01\x00\x01\x00\x00\x02\x02\x4c\x01\x00\x3b";
  const QString path = dir.filePath(QStringLiteral("9anim"));
  QFile file(path);
  file.open(QIODevice::WriteOnly);
  file.write(kGif, sizeof kGif - 1);
  return path;
}

void Make_Ad(TMainForm& form, int k, const QString& file, const char* active) {
  TMyAds& ad = form.Updates().MyAds[static_cast<std::size_t>(k)];
  ad.Number = std::to_string(k);
  ad.PhysicalFile = file.toStdString();
  ad.Link = "http://results.test/adclick.php?Id=" + std::to_string(k);
  ad.Active = active;
}

}  // namespace

TEST(BannerTest, Image1AndItsTimerAsTheWindowMakesThem) {
  TMainForm form;
  auto* image = form.findChild<QLabel*>(QStringLiteral("Image1"));
  auto* timer = form.findChild<QTimer*>(QStringLiteral("ADS_TIMER"));
  ASSERT_NE(image, nullptr);
  ASSERT_NE(timer, nullptr);
  EXPECT_EQ(image->geometry(), QRect(543, 0, 468, 60));
  EXPECT_EQ(timer->interval(), 30000);
  EXPECT_FALSE(timer->isActive()) << "off until the first version check";
  ASSERT_TRUE(Activate_And_Wait(form));
  EXPECT_TRUE(timer->isActive());
  EXPECT_TRUE(image->isHidden()) << "no ad yet";
}

TEST(BannerTest, PicturesFitTheBannerWithTheirProportionsKept) {
  QTemporaryDir dir;
  TMainForm form;
  auto* image = form.findChild<QLabel*>(QStringLiteral("Image1"));
  struct Case {
    QString file;
    QSize shown;
  };
  // Cached names keep the last four characters of the image's path: the content decides.
  const Case cases[] = {{Picture(dir, "1png", {936, 60}, Qt::red, "PNG"), {468, 30}},
                        {Picture(dir, "2jpeg", {30, 30}, Qt::green, "JPEG"), {60, 60}},
                        {Picture(dir, "3.bmp", {468, 60}, Qt::blue, "BMP"), {468, 60}}};
  for (const Case& c : cases) {
    std::string reason;
    ASSERT_TRUE(form.Show_Banner(c.file.toStdString(), reason)) << reason;
    EXPECT_EQ(image->pixmap().size(), c.shown) << c.file.toStdString();
  }
  std::string reason;
  ASSERT_TRUE(form.Show_Banner(Animation(dir).toStdString(), reason)) << reason;
  ASSERT_NE(image->movie(), nullptr) << "an animated banner plays";
  EXPECT_EQ(image->movie()->scaledSize(), QSize(60, 60));
  EXPECT_EQ(image->movie()->frameCount(), 2);
}

TEST(BannerTest, ABannerThatCannotBeDecodedLeavesTheRotationWithoutAnErrorBox) {
  QTemporaryDir dir;
  TMainForm form;
  QFile corrupt(dir.filePath(QStringLiteral("0.png")));
  corrupt.open(QIODevice::WriteOnly);
  corrupt.write("\x89PNG\r\n\x1a\n not really");
  corrupt.close();
  Make_Ad(form, 0, corrupt.fileName(), "1");
  Make_Ad(form, 1, Picture(dir, "1.png", {468, 60}, Qt::red, "PNG"), "1");
  form.Display_Ads();
  EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
  EXPECT_EQ(form.Updates().MyAds[0].Active, "0");
  EXPECT_EQ(form.Updates().MyAds[1].Displayed, "1");
  EXPECT_FALSE(form.findChild<QLabel*>(QStringLiteral("Image1"))->pixmap().isNull());
}

TEST(BannerTest, AHiddenBannerComesBackWithTheNextAd) {
  QTemporaryDir dir;
  TMainForm form;
  form.show();
  auto* image = form.findChild<QLabel*>(QStringLiteral("Image1"));
  Make_Ad(form, 0, Picture(dir, "0.png", {468, 60}, Qt::red, "PNG"), "0");
  form.Display_Ads();
  EXPECT_FALSE(image->isVisible());
  form.Updates().MyAds[0].Active = std::string(1, '1');
  form.Display_Ads();
  EXPECT_TRUE(image->isVisible());
}

// An ordinary user's browser gets the ad's address; as root (the desktop's handler would run
// the browser as root) the status bar shows it instead and the log keeps it.
TEST(BannerTest, AClickHandsTheAdsAddressToTheBrowserOrAsRootShowsIt) {
  QTemporaryDir dir;
  Url_Recorder browser;
  TMainForm form;
  QDesktopServices::setUrlHandler(QStringLiteral("http"), &browser, "Open");
  auto* image = form.findChild<QLabel*>(QStringLiteral("Image1"));
  Make_Ad(form, 0, Picture(dir, "0.png", {468, 60}, Qt::red, "PNG"), "1");
  QTest::mouseClick(image, Qt::LeftButton);
  EXPECT_TRUE(browser.urls.isEmpty()) << "nothing shown yet";
  form.Display_Ads();
  QTest::mouseClick(image, Qt::LeftButton);
  QDesktopServices::unsetUrlHandler(QStringLiteral("http"));
  const QString address = QStringLiteral("http://results.test/adclick.php?Id=0");
  if (::geteuid() == 0) {
    EXPECT_TRUE(browser.urls.isEmpty()) << "the desktop's handler is never asked as root";
    EXPECT_EQ(form.findChild<QLabel*>(QStringLiteral("StatusText"))->text(), "Open in your browser: " + address);
    QFile log(QString::fromStdString(Log_File_Path()));
    ASSERT_TRUE(log.open(QIODevice::ReadOnly));
    EXPECT_TRUE(log.readAll().contains("Not opened in a browser (running as root): " + address.toUtf8()));
    EXPECT_EQ(form.Updates().MyAds[0].Clicks, 0) << "nothing was opened";
  } else {
    EXPECT_EQ(browser.urls, QStringList{address});
    EXPECT_EQ(form.Updates().MyAds[0].Clicks, 1);
  }
}

// A banner is a PNG, JPEG, GIF or BMP picture, whatever other decoders the machine has (an
// icon here; an SVG where its decoder is installed).
TEST(BannerTest, APictureOfAnotherFormatIsNoBanner) {
  QTemporaryDir dir;
  TMainForm form;
  const QString icon = Picture(dir, "1.png", {32, 32}, Qt::red, "ICO");
  std::string reason;
  EXPECT_FALSE(form.Show_Banner(icon.toStdString(), reason));
  EXPECT_EQ(reason, "Cannot show " + icon.toStdString() + ": a ico picture is not a banner");
}

TEST(BannerTest, TheHandPointerCoversTheWindowWhileThePointerIsOnTheBanner) {
  TMainForm form;
  auto* image = form.findChild<QLabel*>(QStringLiteral("Image1"));
  QEnterEvent enter(QPointF(5, 5), QPointF(5, 5), QPointF(5, 5));
  QApplication::sendEvent(image, &enter);
  QApplication::sendEvent(image, &enter);
  ASSERT_NE(QGuiApplication::overrideCursor(), nullptr);
  EXPECT_EQ(QGuiApplication::overrideCursor()->shape(), Qt::PointingHandCursor);
  QEvent leave(QEvent::Leave);
  QApplication::sendEvent(image, &leave);
  EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr) << "restored once, however often it entered";
}

#include "banner_test.moc"
