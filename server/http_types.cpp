// Look-ups in requests and answers, query decoding and the text check of parameters.
#include "server/http_types.h"

#include <QStringDecoder>

#include <algorithm>
#include <cctype>

namespace {

const std::pair<std::string, std::string>* Find(const Http_Fields& fields, std::string_view name) {
  const auto found = std::find_if(fields.begin(), fields.end(), [&](const auto& field) { return Same_Name(field.first, name); });
  return found == fields.end() ? nullptr : &*found;
}

int Hex_Value(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

}  // namespace

bool Same_Name(std::string_view a, std::string_view b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           return std::tolower(static_cast<unsigned char>(x)) == std::tolower(static_cast<unsigned char>(y));
         });
}

std::string Http_Request::Header(std::string_view name) const {
  const auto* field = Find(headers, name);
  return field ? field->second : std::string();
}

bool Http_Request::Has_Header(std::string_view name) const { return Find(headers, name) != nullptr; }

std::string Http_Request::Param(std::string_view name) const {
  const auto found = std::find_if(params.begin(), params.end(), [&](const auto& param) { return param.first == name; });
  return found == params.end() ? std::string() : found->second;
}

bool Http_Request::Has_Param(std::string_view name) const {
  return std::any_of(params.begin(), params.end(), [&](const auto& param) { return param.first == name; });
}

void Http_Response::Set_Header(std::string_view name, std::string value) {
  const auto found = std::find_if(headers.begin(), headers.end(), [&](const auto& field) { return Same_Name(field.first, name); });
  if (found != headers.end()) found->second = std::move(value);
  else headers.emplace_back(std::string(name), std::move(value));
}

std::string Http_Response::Header(std::string_view name) const {
  const auto* field = Find(headers, name);
  return field ? field->second : std::string();
}

void Http_Response::Set_Content(std::string content, std::string content_type) {
  body = std::move(content);
  Set_Header("Content-Type", std::move(content_type));
}

void Http_Response::Redirect(std::string location, int redirect_status) {
  status = redirect_status;
  Set_Header("Location", std::move(location));
}

std::string Percent_Decode(std::string_view text, bool plus_is_space) {
  std::string decoded;
  decoded.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (c == '%' && i + 2 < text.size() && Hex_Value(text[i + 1]) >= 0 && Hex_Value(text[i + 2]) >= 0) {
      decoded.push_back(static_cast<char>(Hex_Value(text[i + 1]) * 16 + Hex_Value(text[i + 2])));
      i += 2;
    } else {
      decoded.push_back(plus_is_space && c == '+' ? ' ' : c);
    }
  }
  return decoded;
}

Http_Fields Parse_Query(std::string_view query) {
  Http_Fields pairs;
  while (!query.empty()) {
    const auto amp = query.find('&');
    const std::string_view piece = query.substr(0, amp);
    query = amp == std::string_view::npos ? std::string_view() : query.substr(amp + 1);
    if (piece.empty()) continue;
    const auto equals = piece.find('=');
    pairs.emplace_back(Percent_Decode(piece.substr(0, equals), true),
                       equals == std::string_view::npos ? std::string() : Percent_Decode(piece.substr(equals + 1), true));
  }
  return pairs;
}

bool Is_Clean_Text(std::string_view text) {
  if (text.find('\0') != std::string_view::npos) return false;
  QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
  const QString decoded = decoder.decode(QByteArrayView(text.data(), static_cast<qsizetype>(text.size())));
  return !decoder.hasError();
}
