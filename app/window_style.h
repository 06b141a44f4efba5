// The typefaces and colours that the program's windows share.
#pragma once

#include <QColor>
#include <QFont>

class QWidget;

// The window typeface at a pixel size; where Tahoma is missing a narrow face keeps the
// texts inside the fixed layout.
QFont Tahoma(int pixels, bool bold = false);

// A widget painted on its own background colour with its own text colour.
void Fill_Background(QWidget* widget, const QColor& background, const QColor& text);
