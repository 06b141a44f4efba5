// Removal of what an earlier upgrade left in the program's folder: the moved old executable
// and downloaded installers, whose names begin with "_Quillorane", and the "_Quillorane" folder.
#pragma once

#include <functional>
#include <string>

struct Leftover_Steps {
  std::function<void(const std::string&)> show;  // the loading panel's text
  std::function<void()> wait;                     // the pause before each attempt, pumping messages
  std::function<void(const std::string&)> log;
};

// Up to three attempts, each after the pause, while a leftover file is still there.
void Remove_Upgrade_Leftovers(const std::string& program_file, const Leftover_Steps& steps);
