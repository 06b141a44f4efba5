#include "app/window_style.h"

#include <QPalette>
#include <QWidget>

QFont Tahoma(int pixels, bool bold) {
  QFont font;
  font.setFamilies({QStringLiteral("Tahoma"), QStringLiteral("DejaVu Sans Condensed"), QStringLiteral("Liberation Sans")});
  font.setPixelSize(pixels);
  font.setBold(bold);
  return font;
}

void Fill_Background(QWidget* widget, const QColor& background, const QColor& text) {
  QPalette palette = widget->palette();
  palette.setColor(QPalette::Window, background);
  palette.setColor(QPalette::WindowText, text);
  widget->setPalette(palette);
  widget->setAutoFillBackground(true);
}
