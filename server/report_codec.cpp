// The program's report arithmetic (hex passes, MD5 texts, signature, check value), done the
// same way on the server so that both sides agree byte for byte.
#include "server/report_codec.h"

#include <QByteArray>
#include <QCryptographicHash>

namespace report_codec {

namespace {

int Hex_Digit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

bool Is_Hex_Digit(char c) { return Hex_Digit(c) >= 0; }

// One pass back: every two digits become one byte; a lone digit at the end is dropped only
// when the text was cut.
std::optional<std::string> Hex_Decode_Pass(const std::string& hex, bool cut) {
  if (hex.size() % 2 != 0 && !cut) return std::nullopt;
  std::string bytes;
  bytes.reserve(hex.size() / 2);
  for (std::size_t i = 0; i + 1 < hex.size(); i += 2) {
    const int high = Hex_Digit(hex[i]);
    const int low = Hex_Digit(hex[i + 1]);
    if (high < 0 || low < 0) return std::nullopt;
    bytes.push_back(static_cast<char>(high * 16 + low));
  }
  if (hex.size() % 2 != 0 && !Is_Hex_Digit(hex.back())) return std::nullopt;
  return bytes;
}

}  // namespace

std::string Hex_Encode(const std::string& text, int extra_passes) {
  static const char kDigits[] = "0123456789ABCDEF";
  std::string current = text;
  for (int pass = 0; pass <= extra_passes; ++pass) {
    std::string next;
    next.reserve(current.size() * 2);
    for (unsigned char c : current) {
      next.push_back(kDigits[c >> 4]);
      next.push_back(kDigits[c & 15]);
    }
    current = std::move(next);
  }
  return current;
}

std::optional<std::string> Decode_Value(const std::string& value, bool cut) {
  const auto digits = Hex_Decode_Pass(value, cut);
  if (!digits) return std::nullopt;
  for (char c : *digits)
    if (!Is_Hex_Digit(c)) return std::nullopt;
  return Hex_Decode_Pass(*digits, cut);
}

std::string MD5_Of_Text(const std::string& text) {
  const QByteArray digest = QCryptographicHash::hash(
      QByteArrayView(text.data(), static_cast<qsizetype>(text.size())), QCryptographicHash::Md5);
  return digest.toHex().toUpper().toStdString();
}

std::string Report_Signature(const std::string& computer_id, const std::string& host) {
  return MD5_Of_Text(MD5_Of_Text(computer_id + host));
}

std::string Check_Value(const std::vector<std::string>& entries) {
  std::string joined;
  for (const std::string& entry : entries) joined += entry;
  return MD5_Of_Text(joined);
}

std::string Cut_Entry(const std::string& entry) {
  return entry.size() > kEntryMax ? entry.substr(0, kEntryMax) : entry;
}

}  // namespace report_codec
