// A request and its answer as the results server's routes see them, free of any HTTP
// library: the connection layer fills a request and sends the answer a route made.
#pragma once

#include "server/static_files.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

using Http_Fields = std::vector<std::pair<std::string, std::string>>;

struct Http_Request {
  std::string method;          // "GET", "HEAD" or "POST"
  std::string target;          // as sent: path and query
  std::string path;            // percent-decoded, without the query
  Http_Fields params;          // the query's name=value pairs, decoded, in their order
  Http_Fields headers;         // names as sent
  std::string body;
  std::string client_address;  // the peer, or the last hop a trusted proxy names

  // The first header of that name (any letter case); empty when missing.
  std::string Header(std::string_view name) const;
  bool Has_Header(std::string_view name) const;
  // The first query parameter of that name; empty when missing.
  std::string Param(std::string_view name) const;
  bool Has_Param(std::string_view name) const;
};

// A byte range of an open file, sent from its descriptor as the client takes it.
struct File_Body {
  std::shared_ptr<const File_Descriptor> file;
  std::uint64_t offset = 0;
  std::uint64_t length = 0;
};

struct Http_Response {
  int status = 200;
  Http_Fields headers;            // Content-Length, Date and Connection are the layer's
  std::string body;
  std::optional<File_Body> file;  // sent instead of body when set
  bool close = false;             // the connection ends after this answer

  // Replaces a header of that name (any letter case), or adds it.
  void Set_Header(std::string_view name, std::string value);
  std::string Header(std::string_view name) const;
  void Set_Content(std::string content, std::string content_type);
  void Redirect(std::string location, int redirect_status = 302);
};

using Http_Handler = std::function<void(const Http_Request&, Http_Response&)>;

// Case-insensitive comparison of ASCII header names.
bool Same_Name(std::string_view a, std::string_view b);

// Percent-decoding; "+" becomes a space only with plus_is_space (query parameters).
std::string Percent_Decode(std::string_view text, bool plus_is_space);

// The pairs of a query string ("a=1&b=x%20y"); a name without "=" has an empty value.
Http_Fields Parse_Query(std::string_view query);

// True for valid UTF-8 without a NUL: the only texts a route passes on to the database.
bool Is_Clean_Text(std::string_view text);
