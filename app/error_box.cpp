#include "app/error_box.h"

void Show_Joined_Error(QPointer<QMessageBox>& box, QWidget* parent, const QString& name, const QString& text,
                       Qt::WindowModality modality) {
  if (box != nullptr) {
    box->setText(box->text() + QLatin1Char('\n') + text);
    return;
  }
  box = new QMessageBox(QMessageBox::Critical, QStringLiteral("Platterscope"), text, QMessageBox::Ok, parent);
  box->setObjectName(name);
  box->setTextFormat(Qt::PlainText);
  box->setAttribute(Qt::WA_DeleteOnClose);
  box->setWindowModality(modality);
  box->show();
}
