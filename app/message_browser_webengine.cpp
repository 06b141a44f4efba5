// The message browser for ordinary users: the embedded web engine with its sandbox, kept to
// the news address's own origin: the page navigates only there (a link elsewhere opens in the
// user's browser) and requests nothing from anywhere else. Where OpenGL cannot draw, the
// engine draws in software rather than showing a blank page.
#include <QByteArray>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEvent>
#include <QMutex>
#include <QMutexLocker>
#include <QOffscreenSurface>
#include <QOpenGLContext>
#include <QOpenGLFramebufferObject>
#include <QOpenGLFunctions>
#include <QQuickWindow>
#include <QWebEnginePage>
#include <QWebEngineUrlRequestInterceptor>
#include <QWebEngineView>

#include "app/message_browser.h"
#include "app/outside_links.h"
#include "common/log.h"

namespace {

// Whether OpenGL draws here: a context, current on an offscreen surface, clears a small
// framebuffer to green and reads green back.
bool OpenGL_Draws() {
  QOpenGLContext context;
  if (!context.create()) return false;
  QOffscreenSurface surface;
  surface.setFormat(context.format());
  surface.create();
  if (!surface.isValid() || !context.makeCurrent(&surface)) return false;
  bool draws = false;
  {
    QOpenGLFramebufferObject target(4, 4);
    if (target.isValid() && target.bind()) {
      context.functions()->glClearColor(0.0f, 1.0f, 0.0f, 1.0f);
      context.functions()->glClear(GL_COLOR_BUFFER_BIT);
      draws = target.toImage().pixel(1, 1) == qRgb(0, 255, 0);
    }
  }
  context.doneCurrent();
  return draws;
}

// Decided once, before the first web view exists: Qt Quick (which the view draws through)
// gets its software renderer and the engine's GPU use is switched off.
bool Draw_In_Software() {
  static const bool software = [] {
    if (OpenGL_Draws()) return false;
    QQuickWindow::setGraphicsApi(QSGRendererInterface::Software);
    const QByteArray flags = qgetenv("QTWEBENGINE_CHROMIUM_FLAGS");
    if (!flags.contains("--disable-gpu")) qputenv("QTWEBENGINE_CHROMIUM_FLAGS", (flags + " --disable-gpu").trimmed());
    return true;
  }();
  return software;
}

// Scheme, host and port: what a page may reach.
QString Origin_Of(const QUrl& url) {
  const QString scheme = url.scheme().toLower();
  const int port = url.port(scheme == QLatin1String("https") ? 443 : 80);
  return scheme + QStringLiteral("://") + url.host().toLower() + QLatin1Char(':') + QString::number(port);
}

// Blocks every request of the page to another origin (pictures, scripts, fetches, frames).
// The engine calls it on its own thread, so the origin is guarded.
class Origin_Guard : public QWebEngineUrlRequestInterceptor {
 public:
  using QWebEngineUrlRequestInterceptor::QWebEngineUrlRequestInterceptor;
  void Allow(const QUrl& address) {
    QMutexLocker lock(&mutex_);
    origin_ = Origin_Of(address);
  }
  void interceptRequest(QWebEngineUrlRequestInfo& info) override {
    const QUrl url = info.requestUrl();
    if (url.scheme() == QLatin1String("data")) return;  // within the page itself
    QMutexLocker lock(&mutex_);
    if (Origin_Of(url) != origin_) info.block(true);
  }

 private:
  QMutex mutex_;
  QString origin_;
};

// When the user last pressed a button or a key in the view: a link the page follows by
// itself is no click of the user's.
class User_Input_Watch : public QObject {
 public:
  explicit User_Input_Watch(QWidget* view) : QObject(view), view_(view) {
    QCoreApplication::instance()->installEventFilter(this);
    since_.start();
  }
  bool Recent() const { return last_ >= 0 && since_.elapsed() - last_ < 2000; }
  bool eventFilter(QObject* watched, QEvent* event) override {
    const QEvent::Type type = event->type();
    if ((type == QEvent::MouseButtonRelease || type == QEvent::KeyPress) && watched->isWidgetType() &&
        view_->isAncestorOf(static_cast<QWidget*>(watched)))
      last_ = since_.elapsed();
    return false;
  }

 private:
  QWidget* view_;
  QElapsedTimer since_;
  qint64 last_ = -1;
};

// A page that stays on the news origin: a link to anywhere else that the user clicked goes to
// the user's browser; any other navigation elsewhere (a script's, a redirect's, a form's) is
// refused.
class News_Page : public QWebEnginePage {
 public:
  // The guard is the page's own, so it outlives everything the page does.
  News_Page(QWidget* view, const User_Input_Watch* input)
      : QWebEnginePage(view), guard_(new Origin_Guard(this)), input_(input) {
    setUrlRequestInterceptor(guard_);
  }
  void Allow(const QUrl& address) {
    origin_ = Origin_Of(address);
    guard_->Allow(address);
  }

 protected:
  bool acceptNavigationRequest(const QUrl& url, NavigationType type, bool main_frame) override {
    if (Origin_Of(url) == origin_) return true;
    Leave(url, type == NavigationTypeLinkClicked && main_frame);
    return false;
  }
  // A link that asks for a window of its own goes the same way.
  QWebEnginePage* createWindow(WebWindowType) override { return new Outside_Page(this); }

 private:
  void Leave(const QUrl& url, bool link) {
    if (link && input_->Recent()) Open_Outside(url);
    else Write_Log("News page: navigation to " + url.toString().toStdString() + " refused");
  }

  // Hands its first navigation to the page that opened it, then goes.
  class Outside_Page : public QWebEnginePage {
   public:
    explicit Outside_Page(News_Page* opener) : QWebEnginePage(opener), opener_(opener) {}

   protected:
    bool acceptNavigationRequest(const QUrl& url, NavigationType type, bool) override {
      opener_->Leave(url, type == NavigationTypeLinkClicked);
      deleteLater();
      return false;
    }

   private:
    News_Page* opener_;
  };

  Origin_Guard* guard_;  // owned by the page
  const User_Input_Watch* input_;
  QString origin_;
};

class Web_Engine_Browser : public Message_Browser {
 public:
  explicit Web_Engine_Browser(QWidget* parent)
      : software_(Draw_In_Software()), view_(new QWebEngineView(parent)),
        page_(new News_Page(view_, new User_Input_Watch(view_))) {
    view_->setObjectName(QStringLiteral("messagepanel_WebBrowser"));
    view_->setPage(page_);
    QObject::connect(view_, &QWebEngineView::loadFinished, view_, [this](bool ok) { Finished(ok); });
  }
  QWidget* Widget() override { return view_; }
  std::string Description() const override {
    return software_ ? "News pages: web engine, drawn in software (no usable OpenGL)" : "News pages: web engine";
  }

 protected:
  void Load(const QUrl& address) override {
    page_->Allow(address);
    view_->load(address);
  }

 private:
  bool software_;
  QWebEngineView* view_;  // owned by its parent widget
  News_Page* page_;       // owned by the view
};

}  // namespace

std::unique_ptr<Message_Browser> Make_Web_Engine_Browser(QWidget* parent) {
  return std::make_unique<Web_Engine_Browser>(parent);
}
