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
  void Open(const QUrl& address) override {
    address_ = address;
    loaded_ = succeeded_ = false;
    QNetworkReply* reply = network_.get(QNetworkRequest(address));
    QObject::connect(reply, &QNetworkReply::finished, view_, [this, reply] {
      succeeded_ = reply->error() == QNetworkReply::NoError;
      view_->setHtml(succeeded_ ? QString::fromUtf8(reply->readAll()) : reply->errorString().toHtmlEscaped());
      loaded_ = true;
      reply->deleteLater();
    });
  }
  QUrl Address() const override { return address_; }
  bool Loaded() const override { return loaded_; }
  bool Load_Succeeded() const override { return succeeded_; }

 private:
  QTextBrowser* view_;  // owned by its parent widget
  QNetworkAccessManager network_;
  QUrl address_;
  bool loaded_ = false;
  bool succeeded_ = false;
};

}  // namespace

std::unique_ptr<Message_Browser> Make_Message_Browser(QWidget* parent) { return std::make_unique<Text_Browser>(parent); }

void Prepare_Message_Browser_Engine() {}
