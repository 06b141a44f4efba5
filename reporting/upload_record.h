// The upload record: one report (or any form upload) as a fixed block of 142,592 bytes, which
// is also byte for byte the content of a queue file. Shared by the program and the server.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

// The most characters a short string holds: a longer text is cut.
inline constexpr std::size_t kShortStringMax = 255;

// A length byte (0 to 255) and up to 255 characters, one byte each in Latin-1; the bytes
// after the length are zero in a record the program makes.
struct Short_String {
  std::uint8_t Length = 0;
  char Chars[kShortStringMax] = {};

  // The stored bytes.
  std::string Bytes() const { return std::string(Chars, Length); }
  // The stored text as UTF-8.
  std::string Text() const;
  // Stores bytes as they are, cut after 255; the bytes after them become zero.
  void Assign_Bytes(std::string_view bytes);
  // Stores a UTF-8 text in Latin-1 ("?" for a character outside it), cut after 255.
  void Assign(const std::string& text);
  bool Empty() const { return Length == 0; }
};

struct MY_UploadFileRecord {
  Short_String URL;             // the receiving script's full URL, query included
  Short_String Variables[501];  // form entries: name "=" value; an empty name is skipped
  Short_String Files[51];       // file entries: name "=" path "," announced file name
  Short_String Proxy;           // empty: the system's proxy configuration
  Short_String HostName;        // the server's host (with ":port" when one is given)
  Short_String Username;
  Short_String Password;
};

inline constexpr std::size_t kUploadRecordSize = 142592;

static_assert(sizeof(Short_String) == 256);
static_assert(sizeof(MY_UploadFileRecord) == kUploadRecordSize);
static_assert(offsetof(MY_UploadFileRecord, URL) == 0);
static_assert(offsetof(MY_UploadFileRecord, Variables) == 256);
static_assert(offsetof(MY_UploadFileRecord, Files) == 128512);
static_assert(offsetof(MY_UploadFileRecord, Proxy) == 141568);
static_assert(offsetof(MY_UploadFileRecord, HostName) == 141824);
static_assert(offsetof(MY_UploadFileRecord, Username) == 142080);
static_assert(offsetof(MY_UploadFileRecord, Password) == 142336);

// The record's 142,592 bytes.
std::string_view Record_Bytes(const MY_UploadFileRecord& record);
// A record from the first 142,592 bytes of bytes; false (record untouched) when there are
// fewer.
bool Record_From_Bytes(std::string_view bytes, MY_UploadFileRecord& record);
