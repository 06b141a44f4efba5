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

std::unique_ptr<Message_Browser> Make_Message_Browser(QWidget* parent);

// Settings the web engine needs before the application object exists.
void Prepare_Message_Browser_Engine();
