#include <unistd.h>

#include <QCoreApplication>
#include <QWebEngineView>

#include "app/message_browser.h"

namespace {

class Web_Engine_Browser : public Message_Browser {
 public:
  explicit Web_Engine_Browser(QWidget* parent) : view_(new QWebEngineView(parent)) {
    view_->setObjectName(QStringLiteral("messagepanel_WebBrowser"));
    QObject::connect(view_, &QWebEngineView::loadFinished, view_, [this](bool ok) { Finished(ok); });
  }
  QWidget* Widget() override { return view_; }

 protected:
  void Load(const QUrl& address) override { view_->load(address); }

 private:
  QWebEngineView* view_;  // owned by its parent widget
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
