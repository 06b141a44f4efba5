// The results server's address from the environment, and query values made safe for its URLs.
#include "common/server.h"

#include <QByteArray>
#include <QString>

#include <cstdlib>

namespace {

// Whether text begins with prefix, letters compared without regard to case.
bool Starts_With_No_Case(const std::string& text, const std::string& prefix) {
  return QString::fromStdString(text).startsWith(QString::fromStdString(prefix), Qt::CaseInsensitive);
}

}  // namespace

Server_Address Parse_Server_Address(const std::string& text) {
  Server_Address address;
  address.host = text;
  for (const char* scheme : {"https", "http"}) {
    const std::string prefix = std::string(scheme) + "://";
    if (Starts_With_No_Case(text, prefix)) {
      address.scheme = scheme;
      address.host = text.substr(prefix.size());
      break;
    }
  }
  while (!address.host.empty() && address.host.back() == '/') address.host.pop_back();
  return address;
}

Server_Address Results_Server() {
  const char* server = std::getenv("PLATTERSCOPE_SERVER");
  return Parse_Server_Address((server != nullptr && *server != '\0') ? server : "results.platterscope.example");
}

bool Results_Server_Offline() {
  const char* host = std::getenv("PLATTERSCOPE_SERVER");
  return host != nullptr && *host == '\0';
}

std::string Results_Server_CA_File() {
  const char* file = std::getenv("PLATTERSCOPE_CA_FILE");
  return file != nullptr ? file : "";
}

std::string Query_Value(const std::string& text) {
  return QByteArray::fromStdString(text).toPercentEncoding().toStdString();
}
