// The server's log lines on stderr, with a bound: a failure that repeats for every request
// (a database that is down, refused uploads) writes one line per topic and interval, then
// says how many lines like it were left out.
#pragma once

#include <chrono>
#include <string>

// Writes "platterscope-server: <line>" (as one line) unless a line of the same topic was written less than
// interval ago; the next line written for the topic tells how many were left out meanwhile.
void Log_Limited(const std::string& topic, const std::string& line,
                 std::chrono::milliseconds interval = std::chrono::seconds(5));
