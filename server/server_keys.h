// The secrets of a data folder: the key pair that signs installers for the program, and
// the key of the serial numbers' hashes. Both are made once by --init and never replaced.
#pragma once

#include <array>
#include <string>

struct Server_Keys {
  std::array<unsigned char, 64> sign_secret{};
  std::array<unsigned char, 32> sign_public{};
  std::array<unsigned char, 32> serial_key{};

  // Ed25519 detached signature of bytes as 128 upper-case hex digits.
  std::string Sign(const std::string& bytes) const;
  // Keyed BLAKE2b-256 of a serial number, 64 lower-case hex digits: the same drive gives
  // the same text, and the text does not give the serial back.
  std::string Serial_Hash(const std::string& serial) const;
  // The public key in the form the program's build option takes: 64 hex digits.
  std::string Public_Key_Hex() const;
};

// Makes a fresh key pair and serial key in folder; refuses (throws) when either exists.
Server_Keys Create_Keys(const std::string& folder);

// Reads the keys of folder; throws std::runtime_error naming the file and the reason.
Server_Keys Load_Keys(const std::string& folder);

// Writes a file whole or not at all (temporary name, sync, rename, sync of the folder),
// readable by the owner only. Throws std::runtime_error naming the file.
void Write_Private_File(const std::string& path, const std::string& content);
