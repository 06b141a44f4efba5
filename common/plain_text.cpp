// Escaping and cleaning of outside texts: one code point at a time, after invalid UTF-8 has
// been read as U+FFFD by Qt's decoder.
#include "common/plain_text.h"

#include <QList>
#include <QString>

#include <cstdio>

namespace {

bool Is_Control(char32_t c) { return c < 0x20 || (c >= 0x7F && c <= 0x9F); }

bool Breaks_Lines(char32_t c) { return Is_Control(c) || c == 0x2028 || c == 0x2029; }

// The code points of the text, invalid UTF-8 read as U+FFFD.
QList<uint> Code_Points(std::string_view text) {
  return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())).toUcs4();
}

void Append(std::string& out, char32_t c) { out += QString::fromUcs4(&c, 1).toStdString(); }

std::string Escape(char32_t c) {
  switch (c) {
    case '\n': return "\\n";
    case '\r': return "\\r";
    case '\t': return "\\t";
    default: break;
  }
  char text[12];
  if (c < 0x80) std::snprintf(text, sizeof text, "\\x%02X", static_cast<unsigned>(c));
  else std::snprintf(text, sizeof text, "\\u%04X", static_cast<unsigned>(c));
  return text;
}

}  // namespace

std::string One_Line_Text(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (char32_t c : Code_Points(text)) {
    if (Breaks_Lines(c)) out += Escape(c);
    else Append(out, c);
  }
  return out;
}

std::string Json_String(std::string_view text) {
  std::string out = "\"";
  for (char32_t c : Code_Points(text)) {
    if (c == '"' || c == '\\') {
      out += '\\';
      out += static_cast<char>(c);
    } else if (c < 0x20) {
      char escaped[8];
      std::snprintf(escaped, sizeof escaped, "\\u%04x", static_cast<unsigned>(c));
      out += escaped;
    } else {
      Append(out, c);
    }
  }
  return out + "\"";
}

std::string Label_Text(std::string_view text) {
  QString label = QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())).trimmed();
  std::string out;
  for (char32_t c : label.toUcs4()) Append(out, Breaks_Lines(c) ? char32_t{0xFFFD} : c);
  return out;
}

bool Has_Control_Character(std::string_view text) {
  for (const char c : text)
    if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) return true;
  return false;
}
