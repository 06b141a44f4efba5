// The choice of the message panel's browser, made when the program runs rather than when
// it is built.
#include "app/message_browser.h"

#include <QCoreApplication>

#include "platform/system.h"

Browser_Kind Message_Browser_Kind() {
  return platform::Running_As_Root() ? Browser_Kind::Text : Browser_Kind::Web_Engine;
}

std::unique_ptr<Message_Browser> Make_Message_Browser(QWidget* parent) {
  return Make_Message_Browser(parent, Message_Browser_Kind());
}

std::unique_ptr<Message_Browser> Make_Message_Browser(QWidget* parent, Browser_Kind kind) {
  return kind == Browser_Kind::Text ? Make_Text_Browser(parent) : Make_Web_Engine_Browser(parent);
}

void Prepare_Message_Browser_Engine() {
  // The web engine shares its OpenGL contexts with the window; root never starts it, so its
  // sandbox is never switched off.
  QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
}
