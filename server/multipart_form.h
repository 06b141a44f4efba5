// The one piece of HTTP parsing of our own: the program's multipart/form-data body, read
// strictly (plain name/value parts, the closing delimiter, at most a trailing zero byte).
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

struct Form_Entry {
  std::string name;
  std::string value;
};

// The boundary of a "multipart/form-data; boundary=..." content type; empty when the type
// is another one or has no usable boundary.
std::string Form_Boundary(std::string_view content_type);

// The parts of body in their order; nothing when the body is not exactly a sequence of
// form-data parts with a name and no file, closed by the final delimiter line and at most
// one zero byte.
std::optional<std::vector<Form_Entry>> Parse_Multipart_Form(std::string_view body,
                                                            std::string_view boundary);
