// The leftover clean-up of the start-up sequence.
#include "app/upgrade_leftovers.h"

#include "common/global_functions.h"

void Remove_Upgrade_Leftovers(const std::string& program_file, const Leftover_Steps& steps) {
  const std::string folder = program_file.substr(0, program_file.rfind('/') + 1);
  for (int attempt = 0; attempt < 3 && Matching_File_Exists(folder + "_Quillorane*"); ++attempt) {
    steps.show("Deleting temporary files...");
    steps.wait();
    Delete_Folder_Files(folder, "_Quillorane*");
    Clear_Folder(folder + "_Quillorane", "*.*", true);
  }
}
