// What an installer's signature covers: a short statement binding the installer's bytes to the
// version the server offers, the platform it is built for and the target it installs. The
// results server signs it and the program verifies it, both from this one text.
#pragma once

#include <cstdint>
#include <string>

struct Installer_Facts {
  std::string version;  // the answer's [VERSION], as sent
  std::string platform; // "linux-" and the machine as uname -m prints it
  std::string file;     // the entry's [TARGETFILE], as sent
  std::int64_t size = 0;
  std::string sha256;   // 64 lower-case hexadecimal digits
};

// The statement, exactly: six lines, each ending in "\n":
//   Platterscope installer
//   version=<version>
//   platform=<platform>
//   file=<file>
//   size=<size in decimal>
//   sha256=<sha256>
std::string Installer_Statement(const Installer_Facts& facts);

// "linux-" followed by machine ("x86_64", "aarch64").
inline std::string Installer_Platform(const std::string& machine) { return "linux-" + machine; }

// The SHA-256 of bytes as 64 lower-case hexadecimal digits.
std::string Sha256_Hex(const std::string& bytes);
