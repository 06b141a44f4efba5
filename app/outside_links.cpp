// The one way out to the user's browser: QDesktopServices for an ordinary user; as root, a
// handler of the http and https schemes that shows and logs the address instead.
#include "app/outside_links.h"

#include <QDesktopServices>
#include <QPointer>

#include "common/log.h"
#include "platform/system.h"

namespace {

// What is done with an address as root.
struct Root_Notice {
  QPointer<QObject> context;
  std::function<void(const QUrl&)> notice;
};

Root_Notice& Notice() {
  static Root_Notice notice;
  return notice;
}

void Show_Instead(const QUrl& url) {
  Write_Log("Not opened in a browser (running as root): " + url.toString().toStdString());
  Root_Notice& notice = Notice();
  if (notice.context && notice.notice) notice.notice(url);
}

// Receives what QDesktopServices would hand to the desktop for http and https as root.
class Root_Url_Handler : public QObject {
  Q_OBJECT

 public slots:
  void Show(const QUrl& url) { Show_Instead(url); }
};

}  // namespace

void Show_Outside_Links_As_Root(QObject* context, std::function<void(const QUrl&)> notice) {
  Notice() = {context, std::move(notice)};
  if (!platform::Running_As_Root()) return;
  static Root_Url_Handler handler;
  for (const QString& scheme : {QStringLiteral("http"), QStringLiteral("https")})
    QDesktopServices::setUrlHandler(scheme, &handler, "Show");
}

bool Open_Outside(const QUrl& url) {
  if (!url.isValid()) return false;
  if (!platform::Running_As_Root()) return QDesktopServices::openUrl(url);
  Show_Instead(url);
  return false;
}

#include "outside_links.moc"
