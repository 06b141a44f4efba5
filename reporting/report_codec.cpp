// Hexadecimal passes, MD5 digests, the report signature and its check value, computed
// alike by the program and the server.
#include "reporting/report_codec.h"

#include <QByteArray>
#include <QCryptographicHash>

namespace {

int Hex_Digit_Value(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

std::string Encode_Once(const std::string& text) {
  static const char kDigits[] = "0123456789ABCDEF";
  std::string out;
  out.reserve(text.size() * 2);
  for (unsigned char c : text) {
    out += kDigits[c >> 4];
    out += kDigits[c & 0x0F];
  }
  return out;
}

std::optional<std::string> Decode_Once(const std::string& text) {
  if (text.size() % 2 != 0) return std::nullopt;
  std::string out;
  out.reserve(text.size() / 2);
  for (std::size_t i = 0; i < text.size(); i += 2) {
    const int high = Hex_Digit_Value(text[i]);
    const int low = Hex_Digit_Value(text[i + 1]);
    if (high < 0 || low < 0) return std::nullopt;
    out += static_cast<char>(high * 16 + low);
  }
  return out;
}

}  // namespace

std::string Hex_Encode(const std::string& text, int extra_passes) {
  std::string current = Encode_Once(text);
  for (int pass = 0; pass < extra_passes; ++pass) current = Encode_Once(current);
  return current;
}

std::optional<std::string> Hex_Decode(const std::string& text, int passes) {
  std::optional<std::string> current = text;
  for (int pass = 0; pass < passes && current; ++pass) current = Decode_Once(*current);
  return current;
}

std::optional<std::string> Decode_Report_Value(const std::string& encoded) {
  return Hex_Decode(encoded.substr(0, encoded.size() - encoded.size() % 4), 2);
}

std::string MD5_Of_Text(const std::string& text) {
  const QByteArray digest = QCryptographicHash::hash(QByteArray(text.data(), static_cast<qsizetype>(text.size())),
                                                     QCryptographicHash::Md5);
  return digest.toHex().toUpper().toStdString();
}

std::string Report_Signature(const std::string& computer_id, const std::string& host) {
  return MD5_Of_Text(MD5_Of_Text(computer_id + host));
}

std::string Report_Check_Value(const std::vector<std::string>& entries) {
  std::string joined;
  for (const std::string& entry : entries) joined += entry;
  return MD5_Of_Text(joined);
}
