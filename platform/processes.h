// Starting another program: an installer handed over to as a process of its own, in a session
// of its own, so that it outlives the program that started it.
#pragma once

#include <string>

#include "platform/descriptor.h"

namespace platform {

// Starts program (a path, no shell and no search of PATH) with parameters as its one argument
// when it is not empty, standard input from /dev/null, in a new session. With wait set, waits
// for its end and sets exit_code. True when the process was created; otherwise reason says why.
bool Run_And_Wait(const std::string& program, const std::string& parameters, bool wait, int& exit_code,
                  std::string& reason);

// Starts the program that the open file program holds, exactly that file whatever its path
// names meanwhile (it is run as /proc/self/fd/N, the descriptor handed to the child alone),
// with no argument, standard input from /dev/null, in a new session, without waiting. The
// file must be open for reading only. name is used in the reason. True when the process was
// created.
bool Run_Descriptor(const Descriptor& program, const std::string& name, std::string& reason);

}  // namespace platform
