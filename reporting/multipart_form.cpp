// The multipart/form-data body and header block built from an upload record, byte for byte
// as the results server expects them.
#include "reporting/multipart_form.h"

#include <QString>

#include <stdexcept>

#include "common/global_functions.h"
#include "platform/files.h"
#include "platform/safe_files.h"
#include "reporting/transfer_helpers.h"

namespace {

const char* const kCrLf = "\r\n";

// The content-type line of a file part, by the file's extension; empty for other files.
std::string Content_Type_Line(const std::string& path) {
  const QString lower = QString::fromStdString(path).toLower();
  if (lower.endsWith(".jpg") || lower.endsWith(".jpeg")) return "Content-Type: image/pjpeg";
  if (lower.endsWith(".png")) return "Content-Type: image/x-png";
  if (lower.endsWith(".pdf")) return "Content-Type: application/pdf";
  if (lower.endsWith(".html")) return "Content-Type: text/html";
  return {};
}

// A file part's bytes; the path is stored in Latin-1 like every entry.
std::string File_Bytes(const std::string& latin1_path) {
  const std::string path =
      QString::fromLatin1(latin1_path.data(), static_cast<qsizetype>(latin1_path.size())).toStdString();
  std::string bytes;
  int error = 0;
  if (!platform::Read_File_Blocks(path, [&](const char* data, std::size_t n) { bytes.append(data, n); }, error))
    throw std::runtime_error("Cannot read the file part " + path + ": " + platform::Error_Text(error));
  return bytes;
}

void Append_Variable(std::string& body, const std::string& boundary, const std::string& entry) {
  std::string name, value;
  Form_Entry_Parts(entry, name, value);
  if (name.empty()) return;
  body += "--" + boundary + kCrLf + std::string(kFormDisposition) + name + "\"" + kCrLf + kCrLf + value + kCrLf;
}

void Append_File(std::string& body, const std::string& boundary, const std::string& entry) {
  std::vector<std::string> pieces(6), first(6);
  Split_String(pieces, entry, ",");
  Split_String(first, pieces[0], "=");
  const std::string& name = first[0];
  const std::string& path = first[1];
  if (name.empty()) return;
  body += "--" + boundary + kCrLf + std::string(kFormDisposition) + name + "\"; filename=\"" + pieces[1] + "\"" +
          kCrLf;
  if (path.empty()) {
    body += std::string("Content-Transfer-Encoding: binary") + kCrLf + kCrLf;
    return;
  }
  // A file of no listed kind still gets the blank line that ends its headers.
  const std::string type = Content_Type_Line(path);
  if (!type.empty()) body += type + kCrLf;
  body += kCrLf + File_Bytes(path) + kCrLf;
}

}  // namespace

void Form_Entry_Parts(const std::string& entry, std::string& name, std::string& value) {
  std::vector<std::string> pieces(6);
  Split_String(pieces, entry, "=");
  name = pieces[0];
  value = pieces[1];
}

std::string Multipart_Boundary(std::int64_t julian_day) { return std::string(24, '-') + std::to_string(julian_day); }

std::string Multipart_Body(const MY_UploadFileRecord& record, const std::string& boundary) {
  std::string body;
  for (const Short_String& entry : record.Variables) Append_Variable(body, boundary, entry.Bytes());
  for (const Short_String& entry : record.Files) Append_File(body, boundary, entry.Bytes());
  return body + Multipart_Closing(boundary);
}

std::vector<std::string> Multipart_Header_Lines(const std::string& boundary, const std::string& host) {
  return {
      "Accept: image/gif, image/x-xbitmap, image/jpeg,image/pjpeg, */*",
      "Accept-Language: en-us,en;q=0.5",
      "Content-Type: multipart/form-data; boundary=" + boundary,
      "Accept-Encoding: gzip,deflate",
      "User-Agent: Mozilla/4.0 (compatible; MSIE 6.0; Windows NT 5.1; SV1; .NET CLR 2.0.50727; .NET CLR 3.0.4506.2152; "
      ".NET CLR 3.5.30729; .NET CLR 1.1.4322)",
      "Host: " + host,
      "Connection: Keep-Alive",
      "Cache-Control: no-cache",
  };
}

std::string Post_Object_Name(const std::string& url) {
  // Only a "/" of the path counts: a "/" inside the query must not cut it.
  const int slash = Last_Pos(url.substr(0, url.find('?')), "/");
  return slash < 0 ? std::string() : url.substr(static_cast<std::size_t>(slash));
}
