// The results server that the program reports to and takes its pages from.
#pragma once

#include <string>

// Where the server is: its scheme ("http" or "https") and its host with ":port" when one is
// given.
struct Server_Address {
  std::string scheme = "http";
  std::string host;
  // The base of every address on the server: scheme://host[:port], without a trailing "/".
  std::string Base() const { return scheme + "://" + host; }
};

// Reads "https://host[:port]", "http://host[:port]" (scheme in any letter case, a trailing "/"
// dropped) or a bare "host[:port]", which is plain HTTP.
Server_Address Parse_Server_Address(const std::string& text);

// The base address of the server that text names (see Parse_Server_Address).
inline std::string Server_Base(const std::string& text) { return Parse_Server_Address(text).Base(); }

// $PLATTERSCOPE_SERVER when set and not empty, otherwise the program's own server.
Server_Address Results_Server();

// The server's host (with ":port" when one is given), without its scheme: what the report is
// signed with and what its Host header says.
inline std::string Results_Server_Host() { return Results_Server().host; }

// The server's base address, scheme included: "http://results.platterscope.example".
inline std::string Results_Server_Base() { return Results_Server().Base(); }

// True when $PLATTERSCOPE_SERVER is set to an empty text: the program then has no traffic
// with the server at all (no report, no queue replay, no version check).
bool Results_Server_Offline();

// $PLATTERSCOPE_CA_FILE: a bundle of certificate authorities trusted for HTTPS instead of the
// system's own (for a private server); empty when not set.
std::string Results_Server_CA_File();

// text as one value of a URL's query: everything but letters, digits and "-._~" written as
// %XX, so that no value can end its field or add another.
std::string Query_Value(const std::string& text);
