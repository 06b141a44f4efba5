// Short strings in Latin-1 and the upload record's raw bytes: what is queued on disk and
// what the form is built from.
#include "reporting/upload_record.h"

#include <QString>

#include <algorithm>
#include <cstring>

std::string Short_String::Text() const { return QString::fromLatin1(Chars, Length).toStdString(); }

void Short_String::Assign_Bytes(std::string_view bytes) {
  Length = static_cast<std::uint8_t>(std::min<std::size_t>(bytes.size(), sizeof Chars));
  std::memset(Chars, 0, sizeof Chars);
  std::memcpy(Chars, bytes.data(), Length);
}

void Short_String::Assign(const std::string& text) {
  // Qt writes "?" for every character that Latin-1 cannot hold.
  const QByteArray latin1 = QString::fromUtf8(text).toLatin1();
  Assign_Bytes(std::string_view(latin1.constData(), static_cast<std::size_t>(latin1.size())));
}

std::string_view Record_Bytes(const MY_UploadFileRecord& record) {
  return std::string_view(reinterpret_cast<const char*>(&record), sizeof record);
}

bool Record_From_Bytes(std::string_view bytes, MY_UploadFileRecord& record) {
  if (bytes.size() < sizeof record) return false;
  std::memcpy(static_cast<void*>(&record), bytes.data(), sizeof record);
  return true;
}
