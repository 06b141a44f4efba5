// The results server that the program reports to and takes its pages from.
#pragma once

#include <string>

// The server's host (with ":port" when one is given): $PLATTERSCOPE_SERVER when set,
// otherwise the program's own server.
std::string Results_Server_Host();
