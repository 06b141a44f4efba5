// The version answer's tags, written and read. Reading sees the answer as UTF-8 text and
// finds tags without regard to letter case, the way the program always read it: "ſ" (U+017F)
// is an "s" and the Kelvin sign (U+212A) a "k" in a tag, as Unicode case folding has them.
#include "protocol/version_answer_format.h"

#include <array>

namespace {

constexpr std::array<std::string_view, 9> kNames = {"VERSION", "MESSAGES", "RELEASENOTES", "ADS",      "FILE",
                                                     "SIZE",    "MD5",      "TARGETFILE",   "SIGNATURE"};

constexpr std::string_view kReplacement = "\xEF\xBF\xBD";
constexpr std::string_view kLongS = "\xC5\xBF";
constexpr std::string_view kKelvin = "\xE2\x84\xAA";

bool Continuation(unsigned char byte) { return (byte & 0xC0) == 0x80; }

// The length of the well-formed UTF-8 sequence at the start of bytes (no overlong form, no
// surrogate, nothing above U+10FFFF); 0 when there is none.
std::size_t Sequence_Length(std::string_view bytes) {
  const auto at = [&](std::size_t i) { return static_cast<unsigned char>(bytes[i]); };
  const unsigned char lead = at(0);
  if (lead < 0x80) return 1;
  std::size_t length = 0;
  unsigned char low = 0x80, high = 0xBF;  // the range of the second byte
  if (lead >= 0xC2 && lead <= 0xDF) length = 2;
  else if (lead >= 0xE0 && lead <= 0xEF) {
    length = 3;
    if (lead == 0xE0) low = 0xA0;
    if (lead == 0xED) high = 0x9F;
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    length = 4;
    if (lead == 0xF0) low = 0x90;
    if (lead == 0xF4) high = 0x8F;
  } else {
    return 0;
  }
  if (bytes.size() < length || at(1) < low || at(1) > high) return 0;
  for (std::size_t i = 2; i < length; ++i)
    if (!Continuation(at(i))) return 0;
  return length;
}

// text with every byte that starts no well-formed sequence replaced by U+FFFD.
std::string Valid_Utf8(std::string_view text) {
  std::string valid;
  valid.reserve(text.size());
  while (!text.empty()) {
    const std::size_t length = Sequence_Length(text);
    if (length == 0) valid += kReplacement;
    else valid += text.substr(0, length);
    text.remove_prefix(length == 0 ? 1 : length);
  }
  return valid;
}

char Lower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

// The length of text's start that spells tag (ASCII) without regard to letter case; 0 when
// it does not.
std::size_t Spelled_Length(std::string_view text, std::string_view tag) {
  std::size_t at = 0;
  for (const char c : tag) {
    const char lower = Lower(c);
    if (at < text.size() && Lower(text[at]) == lower) at += 1;
    else if (lower == 's' && text.substr(at, kLongS.size()) == kLongS) at += kLongS.size();
    else if (lower == 'k' && text.substr(at, kKelvin.size()) == kKelvin) at += kKelvin.size();
    else return 0;
  }
  return at;
}

struct Found {
  std::size_t at = std::string_view::npos;
  std::size_t length = 0;
};

Found Find_Tag(std::string_view text, std::string_view tag) {
  for (std::size_t at = 0; at < text.size(); ++at)
    if (const std::size_t length = Spelled_Length(text.substr(at), tag); length != 0) return {at, length};
  return {};
}

}  // namespace

std::string_view Answer_Tag_Name(Answer_Tag tag) { return kNames[static_cast<std::size_t>(tag)]; }

std::string Write_Answer_Tag(Answer_Tag tag, std::string_view value) {
  const std::string name(Answer_Tag_Name(tag));
  return "[" + name + "]" + std::string(value) + "[/" + name + "]";
}

std::string Read_Answer_Tag(Answer_Tag tag, std::string_view text) {
  const std::string name(Answer_Tag_Name(tag));
  const std::string valid = Valid_Utf8(text);
  const Found open = Find_Tag(valid, "[" + name + "]");
  if (open.at == std::string_view::npos) return {};
  const std::size_t value_at = open.at + open.length;
  const Found close = Find_Tag(valid, "[/" + name + "]");
  if (close.at == std::string_view::npos || close.at <= value_at) return {};
  return valid.substr(value_at, close.at - value_at);
}

std::string Write_Version_Answer(const Version_Answer_Text& answer) {
  std::string ads;
  for (const Answer_Ad& ad : answer.ads) {
    if (!ads.empty()) ads += kAnswerBreak;
    ads += ad.number;
    ads += kAdFieldSeparator;
    ads += ad.path;
    ads += kAdFieldSeparator;
    ads += ad.md5;
  }
  std::string text = Write_Answer_Tag(Answer_Tag::Version, answer.version) +
                     Write_Answer_Tag(Answer_Tag::Messages, answer.news_page) +
                     Write_Answer_Tag(Answer_Tag::Release_Notes, answer.release_notes) +
                     Write_Answer_Tag(Answer_Tag::Ads, ads);
  for (const Answer_Installer& installer : answer.installers) {
    text += kAnswerBreak;
    text += Write_Answer_Tag(Answer_Tag::File, installer.path) +
            Write_Answer_Tag(Answer_Tag::Size, std::to_string(installer.size)) +
            Write_Answer_Tag(Answer_Tag::Md5, installer.md5) +
            Write_Answer_Tag(Answer_Tag::Target_File, installer.target) +
            Write_Answer_Tag(Answer_Tag::Signature, installer.signature);
  }
  return text;
}
