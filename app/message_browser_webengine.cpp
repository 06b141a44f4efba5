// The message browser for ordinary users: the embedded web engine with its sandbox. Where
// OpenGL cannot draw, the engine draws in software rather than showing a blank page.
#include <QByteArray>
#include <QOffscreenSurface>
#include <QOpenGLContext>
#include <QOpenGLFramebufferObject>
#include <QOpenGLFunctions>
#include <QQuickWindow>
#include <QWebEngineView>

#include "app/message_browser.h"

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

class Web_Engine_Browser : public Message_Browser {
 public:
  explicit Web_Engine_Browser(QWidget* parent) : software_(Draw_In_Software()), view_(new QWebEngineView(parent)) {
    view_->setObjectName(QStringLiteral("messagepanel_WebBrowser"));
    QObject::connect(view_, &QWebEngineView::loadFinished, view_, [this](bool ok) { Finished(ok); });
  }
  QWidget* Widget() override { return view_; }
  std::string Description() const override {
    return software_ ? "News pages: web engine, drawn in software (no usable OpenGL)" : "News pages: web engine";
  }

 protected:
  void Load(const QUrl& address) override { view_->load(address); }

 private:
  bool software_;
  QWebEngineView* view_;  // owned by its parent widget
};

}  // namespace

std::unique_ptr<Message_Browser> Make_Web_Engine_Browser(QWidget* parent) {
  return std::make_unique<Web_Engine_Browser>(parent);
}
