// update_program: the running executable moved aside in its own folder so the installer can
// put the new one in its place, and the verified installer started as a process of its own
// from the descriptor it was verified through.
#include "platform/folder_files.h"
#include "platform/processes.h"
#include "platform/safe_files.h"
#include "updates/update_checker.h"

bool Update_Checker::update_program(const std::string& application_file) {
  const std::size_t slash = application_file.rfind('/');
  const std::string folder_path = slash == std::string::npos ? "." : application_file.substr(0, slash == 0 ? 1 : slash);
  const std::string name = application_file.substr(slash == std::string::npos ? 0 : slash + 1);
  const std::string moved = "_Quillorane-" + name;

  // A file of the new name (left by an earlier upgrade) is never replaced: the move fails.
  int error = 0;
  const platform::Descriptor folder = platform::Open_Folder(folder_path, error);
  const bool renamed = folder.valid() && platform::Rename_Keeping_At(folder, name, moved, error);
  if (!renamed || !platform::Regular_File_At(folder, moved)) {
    if (!renamed) Log("Cannot move " + application_file + " to " + moved + ": " + platform::Error_Text(error));
    host_.Display_Message_Panel(true, "Unable to run automatic update");
    return false;
  }
  host_.Display_Loading_Panel(false, "");
  std::string why;
  if (platform::Run_Descriptor(installer_, NEW_UPGRADE_FILE, why)) return true;
  Log(why);
  // The program goes on running; its file goes back under its own name, or the next start's
  // clean-up of "_Quillorane" leftovers would delete the only copy.
  if (!platform::Rename_Keeping_At(folder, moved, name, error))
    Log("Cannot move " + moved + " back to " + name + ": " + platform::Error_Text(error));
  host_.Display_Message_Panel(true, "Error executing upgrade process!");
  return false;
}
