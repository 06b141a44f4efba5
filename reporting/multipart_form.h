// The multipart/form-data request that carries an upload record: the entries split into name
// and value, the body with its closing zero byte, and the header block in its fixed order.
// Free of any HTTP client, so the server can split entries exactly as the program does.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "reporting/upload_record.h"

// Each part of the body is "--" boundary CRLF, this text, the name, a quotation mark, CRLF
// CRLF, the value and CRLF (a file part announces its file name after the name's quotation
// mark). The results server reads the body by the same pieces.
inline constexpr std::string_view kFormDisposition = "Content-Disposition: form-data; name=\"";

// The end of the body: "--" boundary "--" CRLF and one zero byte.
inline std::string Multipart_Closing(const std::string& boundary) {
  return "--" + boundary + "--\r\n" + std::string(1, '\0');
}

// Splits a form entry at "=" into at most six pieces: the name is the first, the value the
// second (anything after a second "=" is dropped). An entry without "=" is all name. Throws
// std::out_of_range for six or more "=".
void Form_Entry_Parts(const std::string& entry, std::string& name, std::string& value);

// 24 hyphens and the Julian Day Number of the local date.
std::string Multipart_Boundary(std::int64_t julian_day);

// The body: one part per entry of Variables with a name, then one per entry of Files with a
// name, then the closing delimiter line and one zero byte. Throws when an entry splits into
// too many pieces or a file part cannot be read.
std::string Multipart_Body(const MY_UploadFileRecord& record, const std::string& boundary);

// The eight header lines of the POST, in order, without line ends.
std::vector<std::string> Multipart_Header_Lines(const std::string& boundary, const std::string& host);

// The object the POST goes to: the URL's text after the last "/" of its path (the query
// stays with it); empty when the path has no "/".
std::string Post_Object_Name(const std::string& url);
