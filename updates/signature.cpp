// Ed25519 verification through libsodium, and the program's built-in public key (the CMake
// option PLATTERSCOPE_UPDATE_PUBLIC_KEY, compiled into this file alone).
#include "updates/signature.h"

#include <sodium.h>

#include <algorithm>
#include <cctype>
#include <stdexcept>

#ifndef PS_UPDATE_PUBLIC_KEY
#error "PS_UPDATE_PUBLIC_KEY must name the update public key (64 hexadecimal digits)"
#endif

namespace {

bool All_Hex(const std::string& text) {
  return std::all_of(text.begin(), text.end(), [](unsigned char c) { return std::isxdigit(c) != 0; });
}

// Decodes exactly out.size() bytes from twice as many hexadecimal digits.
template <std::size_t N>
bool Decode_Hex(const std::string& hex, std::array<unsigned char, N>& out) {
  if (hex.size() != 2 * N || !All_Hex(hex)) return false;
  std::size_t written = 0;
  return sodium_hex2bin(out.data(), out.size(), hex.data(), hex.size(), nullptr, &written, nullptr) == 0 &&
         written == N;
}

}  // namespace

bool Public_Key_From_Hex(const std::string& hex, Public_Key& key) { return Decode_Hex(hex, key); }

Public_Key Program_Public_Key() {
  Public_Key key{};
  if (!Public_Key_From_Hex(PS_UPDATE_PUBLIC_KEY, key)) throw std::logic_error("The built-in update key is malformed");
  return key;
}

bool Signature_Well_Formed(const std::string& signature_hex) {
  return signature_hex.size() == 2 * crypto_sign_BYTES && All_Hex(signature_hex);
}

bool Verify_Signature(const std::string& data, const std::string& signature_hex, const Public_Key& key,
                      std::string& reason) {
  std::array<unsigned char, crypto_sign_BYTES> signature{};
  if (!Decode_Hex(signature_hex, signature)) {
    reason = "the signature is not " + std::to_string(2 * crypto_sign_BYTES) + " hexadecimal digits";
    return false;
  }
  if (sodium_init() < 0) {
    reason = "the signature library cannot start";
    return false;
  }
  if (crypto_sign_verify_detached(signature.data(), reinterpret_cast<const unsigned char*>(data.data()), data.size(),
                                  key.data()) != 0) {
    reason = "the signature does not match the program's update key";
    return false;
  }
  return true;
}
