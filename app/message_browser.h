// The browser inside the message panel that shows pages of the results server. An ordinary
// user gets the embedded web engine with its sandbox; root gets a text browser without
// scripts or plugins, since the engine's sandbox cannot run as root and the pages come over
// plain HTTP.
#pragma once

#include <memory>
#include <string>

#include <QUrl>

class QWidget;

class Message_Browser {
 public:
  virtual ~Message_Browser() = default;
  virtual QWidget* Widget() = 0;
  // Which browser this is, for the log.
  virtual std::string Description() const = 0;
  // Starts loading a page; the browser reports its end through Finished.
  void Open(const QUrl& address) {
    address_ = address;
    loaded_ = succeeded_ = false;
    Load(address);
  }
  QUrl Address() const { return address_; }
  // True once the last page opened has finished loading (successfully or not).
  bool Loaded() const { return loaded_; }
  bool Load_Succeeded() const { return succeeded_; }

 protected:
  virtual void Load(const QUrl& address) = 0;
  void Finished(bool ok) {
    loaded_ = true;
    succeeded_ = ok;
  }

 private:
  QUrl address_;
  bool loaded_ = false;
  bool succeeded_ = false;
};

enum class Browser_Kind { Web_Engine, Text };

// The browser for this process: the text browser when it runs as root, the web engine
// otherwise.
Browser_Kind Message_Browser_Kind();

std::unique_ptr<Message_Browser> Make_Message_Browser(QWidget* parent);
std::unique_ptr<Message_Browser> Make_Message_Browser(QWidget* parent, Browser_Kind kind);

// The two browsers; Make_Message_Browser chooses between them.
std::unique_ptr<Message_Browser> Make_Text_Browser(QWidget* parent);
// The first web engine browser of the process decides how the engine draws: where no
// OpenGL context can be made to draw (no GPU, a remote display, Xvfb without drivers) the
// engine and Qt Quick draw in software.
std::unique_ptr<Message_Browser> Make_Web_Engine_Browser(QWidget* parent);

// Settings the web engine needs before the application object exists.
void Prepare_Message_Browser_Engine();
