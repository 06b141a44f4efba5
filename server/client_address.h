// Who sent a request: the peer's address, or behind a trusted proxy the address that proxy
// saw, which it appends to X-Forwarded-For.
#pragma once

#include "server/http_types.h"

#include <string>
#include <string_view>
#include <vector>

// The address in its usual text ("::ffff:192.0.2.1" becomes "192.0.2.1"); empty when the
// text is not an IPv4 or IPv6 address.
std::string Address_Text(std::string_view text);

// The addresses of a configuration list ("127.0.0.1, ::1"), each as Address_Text gives it;
// throws std::invalid_argument naming an entry that is not an address.
std::vector<std::string> Parse_Address_List(std::string_view text);

// The peer's address, or, when the peer is a trusted proxy, the last entry of the last
// X-Forwarded-For header when that is an address. Entries before it are the client's own
// word and never believed.
std::string Client_Address(const std::string& peer, bool peer_is_trusted, const Http_Fields& headers);
