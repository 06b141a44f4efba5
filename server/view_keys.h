// The keys that open a computer's own pages. The server makes one at random with the
// computer's first confirmed report and hands it out in that answer only; the database keeps
// its hash, so not even the database gives it back.
#pragma once

#include <cstddef>
#include <string>

// 32 random lower-case hexadecimal digits.
std::string New_View_Key();
// Whether text has the form of a view key: 32 hexadecimal digits of either case.
bool Is_View_Key(const std::string& text);
// What the database keeps of a key: its BLAKE2b-256 digest as 64 hex digits (a key in upper
// case is the same key).
std::string View_Key_Hash(const std::string& key);
// The BLAKE2b digest of bytes, digest_size bytes long (16 to 64), as lower-case hex digits.
std::string Digest_Hex(const std::string& bytes, std::size_t digest_size);
