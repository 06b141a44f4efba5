// The browser inside the message panel that shows pages of the results server. Builds with
// an embedded web engine by default; a build without it shows the pages as simple rich text.
#pragma once

#include <memory>

#include <QUrl>

class QWidget;

class Message_Browser {
 public:
  virtual ~Message_Browser() = default;
  virtual QWidget* Widget() = 0;
  virtual void Open(const QUrl& address) = 0;
  virtual QUrl Address() const = 0;
  // True once the last page opened has finished loading (successfully or not).
  virtual bool Loaded() const = 0;
  virtual bool Load_Succeeded() const = 0;
};

std::unique_ptr<Message_Browser> Make_Message_Browser(QWidget* parent);

// Settings the web engine needs before the application object exists.
void Prepare_Message_Browser_Engine();
