// The leftover clean-up of the start-up sequence, through the program folder's descriptor.
#include "app/upgrade_leftovers.h"

#include "platform/program_folder.h"

void Remove_Upgrade_Leftovers(const std::string& program_file, const Leftover_Steps& steps) {
  // The folder is opened and judged once, before the pause; whatever is swapped in during
  // the pause is then met through its descriptor, never through a path.
  platform::Program_Folder folder;
  std::string reason;
  if (!folder.Open(program_file, reason)) {
    if (steps.log) steps.log("Upgrade leftovers not removed: " + reason);
    return;
  }
  for (int attempt = 0; attempt < 3 && folder.Has_Files("_Quillorane"); ++attempt) {
    steps.show("Deleting temporary files...");
    steps.wait();
    folder.Delete_Files("_Quillorane");
    folder.Clear_Subfolder("_Quillorane");
  }
}
