// The message browser of builds without the web engine: fetches the page and shows it as
// rich text.
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QTextBrowser>

#include "app/message_browser.h"

namespace {

class Text_Browser : public Message_Browser {
 public:
  explicit Text_Browser(QWidget* parent) : view_(new QTextBrowser(parent)), network_(view_) {
    view_->setObjectName(QStringLiteral("messagepanel_WebBrowser"));
    view_->setOpenExternalLinks(true);
  }
  QWidget* Widget() override { return view_; }

 protected:
  void Load(const QUrl& address) override {
    QNetworkReply* reply = network_.get(QNetworkRequest(address));
    QObject::connect(reply, &QNetworkReply::finished, view_, [this, reply] {
      const bool ok = reply->error() == QNetworkReply::NoError;
      view_->setHtml(ok ? QString::fromUtf8(reply->readAll()) : reply->errorString().toHtmlEscaped());
      Finished(ok);
      reply->deleteLater();
    });
  }

 private:
  QTextBrowser* view_;  // owned by its parent widget
  QNetworkAccessManager network_;
};

}  // namespace

std::unique_ptr<Message_Browser> Make_Message_Browser(QWidget* parent) { return std::make_unique<Text_Browser>(parent); }

void Prepare_Message_Browser_Engine() {}
