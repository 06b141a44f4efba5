// The check that an installer comes from the results server's operator: an Ed25519 detached
// signature of the installer's bytes, verified against the public key built into the program.
#pragma once

#include <array>
#include <string>

using Public_Key = std::array<unsigned char, 32>;

// Reads 64 hexadecimal digits (either letter case); false for anything else.
bool Public_Key_From_Hex(const std::string& hex, Public_Key& key);

// The key the program was built with (PLATTERSCOPE_UPDATE_PUBLIC_KEY).
Public_Key Program_Public_Key();

// Whether signature_hex (128 hexadecimal digits) is a valid signature of data by key. reason
// says why not.
bool Verify_Signature(const std::string& data, const std::string& signature_hex, const Public_Key& key,
                      std::string& reason);

// Whether signature_hex has the form of a signature at all (128 hexadecimal digits).
bool Signature_Well_Formed(const std::string& signature_hex);
