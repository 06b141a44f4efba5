// Key files of the data folder, kept as hex text, written whole with mode 0600.
#include "server/server_keys.h"

#include <fcntl.h>
#include <sodium.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <fstream>
#include <sstream>
#include <stdexcept>

namespace {

constexpr const char* kSigningKeyFile = "/update-signing.key";
constexpr const char* kPublicKeyFile = "/update-signing.pub";
constexpr const char* kSerialKeyFile = "/serial-hash.key";

void Need_Sodium() {
  if (sodium_init() < 0) throw std::runtime_error("Cannot start libsodium");
}

std::string To_Hex(const unsigned char* bytes, std::size_t size) {
  std::string hex(size * 2 + 1, '\0');
  sodium_bin2hex(hex.data(), hex.size(), bytes, size);
  hex.pop_back();
  return hex;
}

[[noreturn]] void Fail(const std::string& what, const std::string& path) {
  throw std::runtime_error(what + " " + path + ": " + std::strerror(errno));
}

template <std::size_t N>
void Read_Key(const std::string& path, std::array<unsigned char, N>& key) {
  std::ifstream in(path);
  if (!in) Fail("Cannot read key file", path);
  std::string hex;
  in >> hex;
  std::size_t length = 0;
  if (hex.size() != N * 2 || sodium_hex2bin(key.data(), N, hex.c_str(), hex.size(), nullptr, &length, nullptr) != 0 ||
      length != N)
    throw std::runtime_error("Key file " + path + " does not hold " + std::to_string(N * 2) + " hex digits");
}

bool Exists(const std::string& path) {
  struct stat info;
  return ::lstat(path.c_str(), &info) == 0;
}

}  // namespace

std::string Server_Keys::Sign(const std::string& bytes) const {
  unsigned char signature[crypto_sign_BYTES];
  crypto_sign_detached(signature, nullptr, reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size(),
                       sign_secret.data());
  std::string hex = To_Hex(signature, sizeof signature);
  for (char& c : hex) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return hex;
}

std::string Server_Keys::Serial_Hash(const std::string& serial) const {
  unsigned char hash[32];
  crypto_generichash(hash, sizeof hash, reinterpret_cast<const unsigned char*>(serial.data()), serial.size(),
                     serial_key.data(), serial_key.size());
  return To_Hex(hash, sizeof hash);
}

std::string Server_Keys::Public_Key_Hex() const { return To_Hex(sign_public.data(), sign_public.size()); }

void Write_Private_File(const std::string& path, const std::string& content) {
  const std::string temporary = path + ".new";
  const int fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_NOFOLLOW | O_CLOEXEC, 0600);
  if (fd < 0) Fail("Cannot create", temporary);
  const bool written = ::write(fd, content.data(), content.size()) == static_cast<ssize_t>(content.size()) &&
                       ::fsync(fd) == 0;
  const int saved = errno;
  ::close(fd);
  errno = saved;
  if (!written || ::rename(temporary.c_str(), path.c_str()) != 0) {
    const int reason = errno;
    ::unlink(temporary.c_str());
    errno = reason;
    Fail("Cannot write", path);
  }
  const std::string folder = path.substr(0, path.find_last_of('/') + 1);
  const int dir = ::open(folder.empty() ? "." : folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (dir >= 0) {
    ::fsync(dir);
    ::close(dir);
  }
}

Server_Keys Create_Keys(const std::string& folder) {
  Need_Sodium();
  for (const char* name : {kSigningKeyFile, kPublicKeyFile, kSerialKeyFile})
    if (Exists(folder + name)) throw std::runtime_error("Key file " + folder + name + " exists already; not replaced");
  Server_Keys keys;
  crypto_sign_keypair(keys.sign_public.data(), keys.sign_secret.data());
  randombytes_buf(keys.serial_key.data(), keys.serial_key.size());
  Write_Private_File(folder + kSigningKeyFile, To_Hex(keys.sign_secret.data(), keys.sign_secret.size()) + "\n");
  Write_Private_File(folder + kPublicKeyFile, keys.Public_Key_Hex() + "\n");
  Write_Private_File(folder + kSerialKeyFile, To_Hex(keys.serial_key.data(), keys.serial_key.size()) + "\n");
  return keys;
}

Server_Keys Load_Keys(const std::string& folder) {
  Need_Sodium();
  Server_Keys keys;
  Read_Key(folder + kSigningKeyFile, keys.sign_secret);
  Read_Key(folder + kSerialKeyFile, keys.serial_key);
  if (crypto_sign_ed25519_sk_to_pk(keys.sign_public.data(), keys.sign_secret.data()) != 0)
    throw std::runtime_error("Key file " + folder + kSigningKeyFile + " is not a signing key");
  return keys;
}
