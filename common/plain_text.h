// Texts that came from outside the program (drive labels, mount points, server text) made
// safe for the places they are written to: one line of output, a JSON string, a label.
#pragma once

#include <string>
#include <string_view>

// The text as one line: invalid UTF-8 becomes U+FFFD, and every control character (C0, DEL,
// C1) and the Unicode line and paragraph separators are written as escapes ("\n", "\r",
// "\t", "\x1B", "\u0085", "\u2028"), so that no text can start a line of its own.
std::string One_Line_Text(std::string_view text);

// A JSON string literal (quotes included) of the text; invalid UTF-8 becomes U+FFFD, so the
// result is always valid JSON in valid UTF-8.
std::string Json_String(std::string_view text);

// What a drive label, model or firmware text may hold: printable UTF-8 on one line. Blanks
// around it are removed; an invalid byte or a control character inside becomes U+FFFD.
std::string Label_Text(std::string_view text);

// Whether text holds an ASCII control character (C0 or DEL): such a text cannot be a number,
// a file name or a line of a signed statement.
bool Has_Control_Character(std::string_view text);
