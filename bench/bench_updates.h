// The headless runner's version check: what the window's check would do with the results
// server's answer, printed line by line, without ever starting an installer.
#pragma once

#include <stop_token>

// Runs the version check against PLATTERSCOPE_SERVER as the window does and prints the offered
// version, the news page, one line per ad and one per installer entry. A verified installer is
// left in the program's folder for inspection. Returns 0 when the server answered. A stop
// ends the transfer going on within a second ("Not checked (stopped)" before the answer).
int Check_Updates(std::stop_token stop = {});
