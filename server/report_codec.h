// The program's own report arithmetic as the server needs it: hex passes, MD5 texts, the
// signature, the check value and the entry cut. Kept in this one file so that it can be
// replaced by the reporting library's routines without touching the rest of the server.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

namespace report_codec {

// A form entry ("KEY=value") is stored by the program as a short string of this many
// characters at most; a longer entry is cut.
constexpr std::size_t kEntryMax = 255;

// One pass replaces every byte by its code in two upper-case hex digits; extra_passes more
// passes follow ("30" with one extra pass -> "33333330").
std::string Hex_Encode(const std::string& text, int extra_passes);

// Undoes the program's two hex passes. A value that was cut with its entry may end inside
// a group of digits: with cut set, the incomplete group at the end is dropped. Empty when
// the text is not whole hex (or the first pass does not give hex digits).
std::optional<std::string> Decode_Value(const std::string& value, bool cut);

// MD5 of the bytes as 32 upper-case hex digits.
std::string MD5_Of_Text(const std::string& text);

// The signature the program puts into "SIG": MD5 of (MD5 of computer identifier + host).
std::string Report_Signature(const std::string& computer_id, const std::string& host);

// The check value of "MD5": MD5 of the entries joined without separators, each as stored.
std::string Check_Value(const std::vector<std::string>& entries);

// The entry as the program stores it: its first kEntryMax characters.
std::string Cut_Entry(const std::string& entry);

}  // namespace report_codec
