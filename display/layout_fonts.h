// The fonts that the window's layout names, as this system has them.
#pragma once

#include <string>

#include <QFont>
#include <QString>

// The family to ask for: the named one when it is installed, otherwise its metric-compatible
// stand-in ("Arial Narrow" -> "Liberation Sans Narrow", "Arial" -> "Liberation Sans") when
// that is installed, otherwise the name itself, which leaves the choice to the system.
QString Layout_Font_Family(const QString& family);

// A regular font of the family at a size in points, measured as on a 96-dpi screen (8 points
// are 11 pixels), so that the graph looks the same on every screen.
QFont Layout_Font_Points(const std::string& family, int points);

// A font of the family at a size in pixels.
QFont Layout_Font_Pixels(const QString& family, int pixels, bool bold = false);
