// The results server that the program reports to and takes its pages from.
#pragma once

#include <string>

// The server's host (with ":port" when one is given): $PLATTERSCOPE_SERVER when set and not
// empty, otherwise the program's own server.
std::string Results_Server_Host();

// True when $PLATTERSCOPE_SERVER is set to an empty text: the program then has no traffic
// with the server at all (no report, no queue replay, no version check).
bool Results_Server_Offline();
