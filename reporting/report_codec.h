// How report values travel and how a report is signed and checked: the hexadecimal encoding,
// MD5 digests, the signature of the computer identifier and the check value over the form
// entries. Shared by the program and the results server, so both compute them alike.
#pragma once

#include <array>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// The keys of a report's profile entries in the order the report carries them. The rates
// follow under their tests' names in plan order, and the check value "MD5" comes last.
inline constexpr std::array<const char*, 21> kReportProfileKeys = {
    "ID", "SIG", "TT", "PV", "OS", "OSA", "OSN", "SM", "SS", "ST", "SSE",
    "SFST", "MA", "CS", "PN", "PT", "CN", "CM", "CMO", "CME", "SF"};

// One pass writes every byte of text as two upper-case hexadecimal digits; then as many
// extra passes as asked run over the result. An ASCII text thus becomes its character codes
// ("30" with one extra pass: 3330, then 33333330); a character beyond ASCII is taken as its
// UTF-8 bytes, so that every value decodes without doubt, and the server reads the decoded
// bytes as UTF-8. The encoded text is ASCII, so the record's one-byte slots never change it.
std::string Hex_Encode(const std::string& text, int extra_passes);

// Whether every character of text is a hexadecimal digit (either letter case).
bool Is_Hex_Text(std::string_view text);

// Undoes passes passes of Hex_Encode; nothing when a pass meets an odd length or a
// character that is not a hexadecimal digit (either letter case).
std::optional<std::string> Hex_Decode(std::string_view text, int passes);

// The value of a report entry as it was before encoding (two passes). An entry cut at 255
// characters may end inside one character's four digits; that incomplete rest is dropped.
std::optional<std::string> Decode_Report_Value(const std::string& encoded);

// The MD5 digest of text's bytes as 32 upper-case hexadecimal digits.
std::string MD5_Of_Text(const std::string& text);

// The report's signature of a computer identifier for the server host: the digest of the
// digest of identifier followed by host.
std::string Report_Signature(const std::string& computer_id, const std::string& host);

// The report's check value: the digest of the entries (name "=" value, as stored) joined
// without separators, in their order.
std::string Report_Check_Value(const std::vector<std::string>& entries);
