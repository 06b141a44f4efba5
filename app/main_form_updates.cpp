// The window's side of updates, news and ads: the banner Image1 and its timer, the hand pointer
// over the window while the pointer is on the banner, the browser for a click, and the entry
// points of the version check and the upgrade.
#include <QEvent>
#include <QFile>
#include <QGuiApplication>
#include <QImageReader>
#include <QLabel>
#include <QMouseEvent>
#include <QMovie>
#include <QTimer>
#include <QUrl>

#include "app/main_form.h"
#include "app/outside_links.h"
#include "common/global_functions.h"

namespace {

// Clicks on the banner and the pointer entering or leaving it.
class Banner_Events : public QObject {
 public:
  explicit Banner_Events(TMainForm& form) : QObject(&form), form_(form) {}
  bool eventFilter(QObject* watched, QEvent* event) override {
    switch (event->type()) {
      case QEvent::Enter: form_.Image1MouseEnter(); break;
      case QEvent::Leave: form_.Image1MouseLeave(); break;
      case QEvent::MouseButtonRelease:
        if (static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton) form_.Image1Click();
        return true;
      default: break;
    }
    return QObject::eventFilter(watched, event);
  }

 private:
  TMainForm& form_;
};

}  // namespace

void TMainForm::Build_Banner() {
  // The banner's, the news' and the menu's addresses: as root the status bar shows them, to
  // be copied into a browser, instead of starting the desktop's handler.
  Show_Outside_Links_As_Root(this, [this](const QUrl& url) {
    StatusText->setTextInteractionFlags(Qt::TextSelectableByMouse);
    Set_Status_Text("Open in your browser: " + url.toString().toStdString());
  });
  Image1->setAlignment(Qt::AlignCenter);
  Image1->installEventFilter(new Banner_Events(*this));
  ADS_TIMER = new QTimer(this);
  ADS_TIMER->setObjectName(QStringLiteral("ADS_TIMER"));
  ADS_TIMER->setInterval(30000);
  connect(ADS_TIMER, &QTimer::timeout, this, &TMainForm::ADS_TIMERTimer);
}

bool TMainForm::update_program() { return updates_.update_program(Get_Application_File()); }

void TMainForm::Display_Ads() { updates_.Display_Ads(); }

void TMainForm::ADS_TIMERTimer() { Display_Ads(); }

void TMainForm::Image1Click() { updates_.Image1Click(); }

void TMainForm::Image1MouseEnter() {
  if (hand_pointer_) return;
  QGuiApplication::setOverrideCursor(Qt::PointingHandCursor);
  hand_pointer_ = true;
}

void TMainForm::Image1MouseLeave() {
  if (!hand_pointer_) return;
  QGuiApplication::restoreOverrideCursor();
  hand_pointer_ = false;
}

bool TMainForm::Message_Panel_Shown() { return !messagepanel->isHidden(); }

bool TMainForm::Show_Banner(const std::string& file, std::string& reason) {
  const QString path = QString::fromStdString(file);
  QImageReader reader(path);
  reader.setDecideFormatFromContent(true);  // cached names need not end in their format
  if (!reader.canRead()) {
    reason = "Cannot decode " + file + ": " + reader.errorString().toStdString();
    return false;
  }
  const QByteArray format = reader.format();
  // Only the four formats a banner may have, whatever other decoders the machine offers.
  static const QList<QByteArray> kBannerFormats = {"png", "jpeg", "gif", "bmp"};
  if (!kBannerFormats.contains(format)) {
    reason = "Cannot show " + file + ": a " + format.toStdString() + " picture is not a banner";
    return false;
  }
  if (reader.supportsAnimation() && reader.imageCount() != 1) return Show_Banner_Movie(path, format, reason);
  const QImage picture = reader.read();
  if (picture.isNull()) {
    reason = "Cannot decode " + file + ": " + reader.errorString().toStdString();
    return false;
  }
  Image1->setPixmap(QPixmap::fromImage(picture.scaled(Image1->size(), Qt::KeepAspectRatio, Qt::SmoothTransformation)));
  Replace_Banner_Movie(nullptr);
  Image1->show();
  return true;
}

bool TMainForm::Show_Banner_Movie(const QString& path, const QByteArray& format, std::string& reason) {
  auto* device = new QFile(path);
  device->open(QIODevice::ReadOnly);
  auto* movie = new QMovie(device, format, this);
  device->setParent(movie);
  if (!movie->isValid() || !movie->jumpToFrame(0)) {
    reason = "Cannot play " + path.toStdString() + ": " + device->errorString().toStdString();
    delete movie;
    return false;
  }
  movie->setScaledSize(movie->currentImage().size().scaled(Image1->size(), Qt::KeepAspectRatio));
  Image1->setMovie(movie);
  Replace_Banner_Movie(movie);
  movie->start();
  Image1->show();
  return true;
}

void TMainForm::Replace_Banner_Movie(QMovie* movie) {
  if (banner_movie_ != nullptr && banner_movie_ != movie) {
    banner_movie_->stop();
    banner_movie_->deleteLater();
  }
  banner_movie_ = movie;
}

void TMainForm::Hide_Banner() { Image1->hide(); }

void TMainForm::Start_Ads_Timer() {
  if (!ADS_TIMER->isActive()) ADS_TIMER->start();
}

bool TMainForm::Open_URL(const std::string& url) { return Open_Outside(QUrl(QString::fromStdString(url))); }
