// View keys from libsodium's random source, kept as digests.
#include "server/view_keys.h"

#include <sodium.h>

#include <algorithm>
#include <cctype>
#include <stdexcept>

namespace {

constexpr std::size_t kTimeDigits = 12;

std::string Lower(std::string text) {
  std::transform(text.begin(), text.end(), text.begin(), [](unsigned char c) { return std::tolower(c); });
  return text;
}

}  // namespace

std::string New_View_Key(std::int64_t now_ms) {
  if (sodium_init() < 0) throw std::runtime_error("Cannot start libsodium");
  unsigned char bytes[16];
  auto time = static_cast<std::uint64_t>(now_ms);
  for (std::size_t i = kTimeDigits / 2; i-- > 0; time >>= 8) bytes[i] = static_cast<unsigned char>(time);
  randombytes_buf(bytes + kTimeDigits / 2, sizeof bytes - kTimeDigits / 2);
  char hex[sizeof bytes * 2 + 1];
  sodium_bin2hex(hex, sizeof hex, bytes, sizeof bytes);
  return hex;
}

bool Is_View_Key(const std::string& text) {
  return text.size() == 32 && std::all_of(text.begin(), text.end(), [](unsigned char c) { return std::isxdigit(c); });
}

std::string View_Key_Hash(const std::string& key) {
  const std::string lower = Lower(key);
  return lower.substr(0, kTimeDigits) + Digest_Hex(lower, 32);
}

std::string Untimed_View_Key_Hash(const std::string& key) { return Digest_Hex(Lower(key), 32); }

std::string Digest_Hex(const std::string& bytes, std::size_t digest_size) {
  unsigned char digest[crypto_generichash_BYTES_MAX];
  crypto_generichash(digest, digest_size, reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size(), nullptr, 0);
  char hex[sizeof digest * 2 + 1];
  sodium_bin2hex(hex, sizeof hex, digest, digest_size);
  return hex;
}
