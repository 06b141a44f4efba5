// The message browser for root: the page is fetched with a time limit and a size limit and
// shown as rich text. Nothing runs and nothing more is loaded: no scripts, no plugins, no
// pictures or style sheets from anywhere; a link is handed outside (as root: shown, never
// opened).
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QPointer>
#include <QSslCertificate>
#include <QSslConfiguration>
#include <QTextBrowser>

#include "app/message_browser.h"
#include "app/outside_links.h"
#include "common/server.h"

namespace {

constexpr int kTimeLimitMs = 30000;
constexpr qint64 kMostBytes = 1 << 20;

// A text view that loads no resource a page names, from the network or from the disk.
class Inert_Text_View : public QTextBrowser {
 public:
  using QTextBrowser::QTextBrowser;
  QVariant loadResource(int, const QUrl&) override { return {}; }
};

class Text_Browser : public Message_Browser {
 public:
  explicit Text_Browser(QWidget* parent) : view_(new Inert_Text_View(parent)), network_(view_) {
    view_->setObjectName(QStringLiteral("messagepanel_WebBrowser"));
    view_->setOpenLinks(false);
    QObject::connect(view_, &QTextBrowser::anchorClicked, view_, [this](const QUrl& link) {
      const QUrl target = Address().resolved(link);
      if (target.scheme() == QLatin1String("http") || target.scheme() == QLatin1String("https")) Open_Outside(target);
    });
  }
  QWidget* Widget() override { return view_; }
  std::string Description() const override {
    return "News pages: text browser (running as root: no scripts, links open in the desktop's browser)";
  }

 protected:
  void Load(const QUrl& address) override {
    if (reply_) reply_->abort();
    QNetworkRequest request(address);
    request.setTransferTimeout(kTimeLimitMs);
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute, QNetworkRequest::SameOriginRedirectPolicy);
    const std::string authorities = Results_Server_CA_File();
    if (!authorities.empty()) {
      QSslConfiguration tls = request.sslConfiguration();
      tls.setCaCertificates(QSslCertificate::fromPath(QString::fromStdString(authorities)));
      request.setSslConfiguration(tls);
    }
    QNetworkReply* reply = network_.get(request);
    reply_ = reply;
    QObject::connect(reply, &QNetworkReply::downloadProgress, reply, [reply](qint64 received, qint64) {
      if (received > kMostBytes) reply->abort();
    });
    QObject::connect(reply, &QNetworkReply::finished, view_, [this, reply] {
      reply->deleteLater();
      if (reply != reply_) return;  // a page opened since
      const bool ok = reply->error() == QNetworkReply::NoError;
      view_->setHtml(ok ? QString::fromUtf8(reply->readAll()) : reply->errorString().toHtmlEscaped());
      Finished(ok);
    });
  }

 private:
  QTextBrowser* view_;  // owned by its parent widget
  QNetworkAccessManager network_;
  QPointer<QNetworkReply> reply_;
};

}  // namespace

std::unique_ptr<Message_Browser> Make_Text_Browser(QWidget* parent) { return std::make_unique<Text_Browser>(parent); }
