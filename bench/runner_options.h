// The runner's command line: one table of options, from which the parser and the usage
// text are both made, so that a new option is one more row.
#pragma once

#include <array>
#include <string>
#include <vector>

struct Runner_Options {
  std::string target;
  int seconds = 20;
  std::array<bool, 9> pairs{true, true, true, true, true, true, true, true, true};
  bool json = false;
  bool list_drives = false;
  bool profile = false;
  bool help = false;
};

// Fills options from the arguments (without the program name). Returns false, with the
// reason in error, when they are not a usable command line.
bool Parse_Runner_Options(const std::vector<std::string>& args, Runner_Options& options, std::string& error);

// The usage text, one option per line.
std::string Runner_Usage();
