// Facts about the running process and the machine it runs on.
#pragma once

#include <array>
#include <cstdint>
#include <string>

namespace platform {

std::string Computer_Name();      // the host name as the system reports it
std::string User_Name();          // the effective user's login name
std::string Executable_Path();    // the running executable's full path
bool Running_As_Root();           // the effective user is root
std::string Temp_Folder();        // $TMPDIR or /tmp, without a trailing separator
// The effective user's home folder as the user database has it ($HOME only when it has
// none): a program run through sudo keeps its files out of the calling user's home.
std::string Home_Folder();

// Reads the program's version note (owner "Platterscope", type 1) from an executable file.
// Returns false when the file cannot be read or carries no such note.
bool Read_Version_Note(const std::string& file, std::array<std::uint16_t, 4>& version);

}  // namespace platform
