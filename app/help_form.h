// The About window.
#pragma once

#include <QDialog>
#include <string>

class THELPFORM : public QDialog {
  Q_OBJECT

 public:
  explicit THELPFORM(QWidget* parent = nullptr);

  // The caption for a four-field version: "Quillorane - Platterscope v1.3.0(26)".
  static QString Caption_For(const std::string& version);

 private:
  void FormCreate();
};
