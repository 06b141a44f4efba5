#include "display/layout_fonts.h"

#include <QFontDatabase>

#include <cmath>

namespace {

struct Stand_In {
  const char* family;
  const char* stand_in;
};

constexpr Stand_In kStandIns[] = {
    {"Arial Narrow", "Liberation Sans Narrow"},
    {"Arial", "Liberation Sans"},
};

}  // namespace

QString Layout_Font_Family(const QString& family) {
  if (family.isEmpty() || QFontDatabase::hasFamily(family)) return family;
  for (const Stand_In& known : kStandIns) {
    const QString stand_in = QString::fromLatin1(known.stand_in);
    if (family.compare(QLatin1String(known.family), Qt::CaseInsensitive) == 0 && QFontDatabase::hasFamily(stand_in))
      return stand_in;
  }
  return family;
}

QFont Layout_Font_Points(const std::string& family, int points) {
  const int pixels = static_cast<int>(std::lround(points * 96.0 / 72.0));
  return Layout_Font_Pixels(QString::fromStdString(family), pixels > 0 ? pixels : 1);
}

QFont Layout_Font_Pixels(const QString& family, int pixels, bool bold) {
  QFont font;
  const QString resolved = Layout_Font_Family(family);
  if (!resolved.isEmpty()) font.setFamily(resolved);
  font.setPixelSize(pixels);
  font.setWeight(bold ? QFont::Bold : QFont::Normal);
  font.setItalic(false);
  return font;
}
