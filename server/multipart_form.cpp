// Strict reader of the report's form as the program builds it: every part is
//   "--" boundary CRLF "Content-Disposition: form-data; name=\"N\"" CRLF CRLF value CRLF
// and the body ends with "--" boundary "--" CRLF and, as the program sends it, one zero byte.
#include "server/multipart_form.h"

#include "reporting/multipart_form.h"

#include <algorithm>
#include <cctype>

namespace {

constexpr std::size_t kMaxParts = 600;

// ASCII only, whatever the locale: header names and media types are ASCII.
char Ascii_Lower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

bool Starts_With_No_Case(std::string_view text, std::string_view prefix) {
  if (text.size() < prefix.size()) return false;
  return std::equal(prefix.begin(), prefix.end(), text.begin(),
                    [](char a, char b) { return Ascii_Lower(a) == Ascii_Lower(b); });
}

bool Valid_Boundary(std::string_view boundary) {
  if (boundary.empty() || boundary.size() > 70) return false;
  return std::all_of(boundary.begin(), boundary.end(), [](char c) {
    return std::isalnum(static_cast<unsigned char>(c)) || std::string_view("'()+_,-./:=? ").find(c) != std::string_view::npos;
  });
}

// Reads one part's header and value starting after its delimiter line; pos moves to the
// next delimiter. False when the part is not a plain named form field.
bool Read_Part(std::string_view body, std::string_view delimiter, std::size_t& pos, Form_Entry& entry) {
  std::string_view rest = body.substr(pos);
  if (!Starts_With_No_Case(rest, kFormDisposition)) return false;
  rest.remove_prefix(kFormDisposition.size());
  const std::size_t quote = rest.find('"');
  if (quote == std::string_view::npos || quote == 0) return false;
  const std::string_view name = rest.substr(0, quote);
  if (name.find_first_of("\r\n") != std::string_view::npos) return false;
  rest.remove_prefix(quote + 1);
  if (rest.substr(0, 4) != "\r\n\r\n") return false;
  rest.remove_prefix(4);
  const std::size_t end = rest.find(delimiter);
  if (end == std::string_view::npos) return false;
  entry.name = std::string(name);
  entry.value = std::string(rest.substr(0, end));
  pos = static_cast<std::size_t>(rest.data() - body.data()) + end + 2;  // at "--" boundary
  return true;
}

}  // namespace

std::string Form_Boundary(std::string_view content_type) {
  if (!Starts_With_No_Case(content_type, "multipart/form-data;")) return {};
  const std::size_t at = content_type.find("boundary=");
  if (at == std::string_view::npos) return {};
  std::string_view boundary = content_type.substr(at + 9);
  boundary = boundary.substr(0, boundary.find(';'));
  if (boundary.size() >= 2 && boundary.front() == '"' && boundary.back() == '"')
    boundary = boundary.substr(1, boundary.size() - 2);
  return Valid_Boundary(boundary) ? std::string(boundary) : std::string();
}

std::optional<std::vector<Form_Entry>> Parse_Multipart_Form(std::string_view body, std::string_view boundary) {
  if (!Valid_Boundary(boundary)) return std::nullopt;
  const std::string dash_boundary = "--" + std::string(boundary);
  const std::string delimiter = "\r\n" + dash_boundary;
  // The closing with its zero byte, or without it.
  const std::string closing = Multipart_Closing(std::string(boundary));
  const std::string_view closing_text = std::string_view(closing).substr(0, closing.size() - 1);
  std::vector<Form_Entry> entries;
  std::size_t pos = 0;
  while (true) {
    const std::string_view rest = body.substr(pos);
    if (rest == closing || rest == closing_text) return entries;
    if (rest.substr(0, dash_boundary.size()) != dash_boundary) return std::nullopt;
    pos += dash_boundary.size();
    if (body.substr(pos, 2) != "\r\n" || entries.size() >= kMaxParts) return std::nullopt;
    pos += 2;
    Form_Entry entry;
    if (!Read_Part(body, delimiter, pos, entry)) return std::nullopt;
    entries.push_back(std::move(entry));
  }
}
