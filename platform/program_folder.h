// The program's own folder, opened once and then used only through its descriptor, so that
// what an earlier upgrade left there can be removed without following anyone's link.
#pragma once

#include <sys/types.h>

#include <string>

#include "platform/descriptor.h"

namespace platform {

class Program_Folder {
 public:
  // Opens the folder of program_file, never through a link in its last component. False,
  // with the reason, when it cannot be opened or when anyone but its owner may write in it:
  // a file or link planted there could then pass for a leftover.
  bool Open(const std::string& program_file, std::string& reason);

  // Whether a plain file whose name begins with prefix lies directly in the folder.
  bool Has_Files(const std::string& prefix) const;
  // Deletes the plain files directly in the folder whose names begin with prefix.
  void Delete_Files(const std::string& prefix) const;
  // Deletes the plain files of the sub-folder name and then the sub-folder, but only when
  // it is a real folder (not a link) that belongs to the program file's owner. Returns
  // whether the sub-folder is gone.
  bool Clear_Subfolder(const std::string& name) const;

 private:
  Descriptor folder_;
  uid_t owner_ = 0;  // the program file's owner
};

}  // namespace platform
