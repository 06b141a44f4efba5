#include "common/server.h"

#include <cstdlib>

std::string Results_Server_Host() {
  const char* host = std::getenv("PLATTERSCOPE_SERVER");
  return (host != nullptr && *host != '\0') ? host : "results.platterscope.example";
}

bool Results_Server_Offline() {
  const char* host = std::getenv("PLATTERSCOPE_SERVER");
  return host != nullptr && *host == '\0';
}
