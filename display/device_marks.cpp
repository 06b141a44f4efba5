// Marking results by what answered their tests.
#include "display/device_marks.h"

#include <QBrush>
#include <QLabel>
#include <QTableWidgetItem>

void Mark_Result_Label(QLabel* label, const Device_Check& check) {
  QPalette palette = label->palette();
  palette.setColor(QPalette::WindowText,
                   check.verdict == Device_Verdict::Cache ? kCachedResultColour : kResultLabelColour);
  label->setPalette(palette);
  label->setToolTip(QString::fromStdString(Device_Check_Tip(check)));
}

void Mark_Live_Label(QLabel* label) {
  QPalette palette = label->palette();
  palette.setColor(QPalette::WindowText, kLiveResultColour);
  label->setPalette(palette);
  label->setToolTip(QStringLiteral("Rate so far; the test is still running."));
}

void Mark_Result_Cell(QTableWidgetItem* cell, const Device_Check& check) {
  if (check.verdict == Device_Verdict::Cache) cell->setBackground(kCachedResultColour);
  else cell->setData(Qt::BackgroundRole, QVariant());
  cell->setToolTip(QString::fromStdString(Device_Check_Tip(check)));
}
