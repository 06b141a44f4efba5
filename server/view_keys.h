// The keys that open a computer's own pages. The server makes one with the computer's first
// confirmed report and hands it out in that answer only; the database keeps its hash, so not
// even the database gives it back.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

// 32 lower-case hexadecimal digits: the first 12 are the time the key was made, in
// milliseconds since 1970, and the other 20 are random (80 bits). Keys made one after
// another sort together, so the database's index of them grows at its end instead of taking
// every new key on a page of its own.
std::string New_View_Key(std::int64_t now_ms);
// Whether text has the form of a view key: 32 hexadecimal digits of either case.
bool Is_View_Key(const std::string& text);
// What the database keeps of a key: its 12 time digits, then its BLAKE2b-256 digest as 64
// hex digits (a key in upper case is the same key).
std::string View_Key_Hash(const std::string& key);
// The digest alone, as keys handed out before the time digits were kept.
std::string Untimed_View_Key_Hash(const std::string& key);
// The BLAKE2b digest of bytes, digest_size bytes long (16 to 64), as lower-case hex digits.
std::string Digest_Hex(const std::string& bytes, std::size_t digest_size);
