// An error box that does not wait: the window goes on meanwhile, and errors that come while
// the box is still open join it, one line each.
#pragma once

#include <QMessageBox>
#include <QPointer>
#include <QString>

void Show_Joined_Error(QPointer<QMessageBox>& box, QWidget* parent, const QString& name, const QString& text,
                       Qt::WindowModality modality);
