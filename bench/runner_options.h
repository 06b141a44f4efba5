// The runner's command line: one table of options, from which the parser and the usage
// text are both made, so that a new option is one more row.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

struct Runner_Options {
  std::string target;
  int seconds = 20;
  std::array<bool, 9> pairs{true, true, true, true, true, true, true, true, true};
  bool json = false;
  bool csv = false;
  bool list_drives = false;
  bool profile = false;
  bool help = false;
  bool send = false;           // report the finished run as the window does
  bool replay_queue = false;   // send the offline queue again
  bool check_updates = false;  // the version check, news and ads, no installer started
  bool computer_id = false;    // the installation's identifier, stored when there is none
  bool sustained = false;      // one sustained write instead of the plan
  std::int64_t size = 0;       // of the sustained write or the peak tests' file; 0: its default
  bool peak = false;           // the peak tests instead of the plan
};

// Whether options ask for something other than a run: a listing, the queue, the version
// check or the identifier.
bool Runner_Lists_Only(const Runner_Options& options);

// Fills options from the arguments (without the program name). Returns false, with the
// reason in error, when they are not a usable command line.
bool Parse_Runner_Options(const std::vector<std::string>& args, Runner_Options& options, std::string& error);

// The usage text, one option per line.
std::string Runner_Usage();
