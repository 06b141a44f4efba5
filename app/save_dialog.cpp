// The save dialog and the folder offered for exports.
#include "app/save_dialog.h"

#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QRegularExpression>
#include <QStandardPaths>

QString Ask_Save_File_By_Dialog(QWidget* parent, const QString& caption, const QString& suggested,
                                const QString& filters) {
  QFileDialog dialog(parent, caption, suggested, filters);
  dialog.setAcceptMode(QFileDialog::AcceptSave);
  dialog.setFileMode(QFileDialog::AnyFile);
  dialog.setDefaultSuffix(QFileInfo(suggested).suffix());
  QObject::connect(&dialog, &QFileDialog::filterSelected, &dialog, [&dialog](const QString& filter) {
    const QRegularExpressionMatch match = QRegularExpression(QStringLiteral("\\*\\.(\\w+)")).match(filter);
    if (match.hasMatch()) dialog.setDefaultSuffix(match.captured(1));
  });
  if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return {};
  return dialog.selectedFiles().constFirst();
}

QString Suggested_Export_Path(const QString& last_folder, const QString& name) {
  QString folder = last_folder;
  if (folder.isEmpty()) folder = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
  if (folder.isEmpty() || !QFileInfo(folder).isDir()) folder = QDir::homePath();
  return QDir(folder).filePath(name);
}
