#include <unistd.h>

#include <QCoreApplication>
#include <QWebEngineView>

#include "app/message_browser.h"

namespace {

class Web_Engine_Browser : public Message_Browser {
 public:
  explicit Web_Engine_Browser(QWidget* parent) : view_(new QWebEngineView(parent)) {
    view_->setObjectName(QStringLiteral("messagepanel_WebBrowser"));
    QObject::connect(view_, &QWebEngineView::loadFinished, view_, [this](bool ok) {
      loaded_ = true;
      succeeded_ = ok;
    });
  }
  QWidget* Widget() override { return view_; }
  void Open(const QUrl& address) override {
    address_ = address;
    loaded_ = succeeded_ = false;
    view_->load(address);
  }
  QUrl Address() const override { return address_; }
  bool Loaded() const override { return loaded_; }
  bool Load_Succeeded() const override { return succeeded_; }

 private:
  QWebEngineView* view_;  // owned by its parent widget
  QUrl address_;
  bool loaded_ = false;
  bool succeeded_ = false;
};

}  // namespace

std::unique_ptr<Message_Browser> Make_Message_Browser(QWidget* parent) {
  return std::make_unique<Web_Engine_Browser>(parent);
}

void Prepare_Message_Browser_Engine() {
  // The engine's sandbox refuses to start for the root user; only then is it switched off.
  if (::geteuid() == 0 && qEnvironmentVariableIsEmpty("QTWEBENGINE_DISABLE_SANDBOX"))
    qputenv("QTWEBENGINE_DISABLE_SANDBOX", "1");
  QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
}
