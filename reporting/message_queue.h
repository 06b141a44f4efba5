// The offline queue: reports the server did not confirm wait as one record per ".dat" file in
// the user's persistent state folder and are sent again, oldest listing first, at start-up.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "reporting/upload_record.h"

using Queue_Log = std::function<void(const std::string&)>;
// Sends a record and returns the server's answer (Post_Multipart_Form in the program).
using Record_Sender = std::function<std::string(const MY_UploadFileRecord&)>;

// $XDG_STATE_HOME/Quillorane/QuilloraneQueue (~/.local/state/... by default); in the effective
// user's own home when that is another user's (a note is logged); empty when the user has no
// home folder.
std::string Queue_Folder();

// Writes the record into a new ".dat" file of folder, whole or not at all (a temporary name,
// forced to disk, renamed). The folder is made with mode 0700 when missing, must belong to
// the user and is reached only through folders of the user's or root's. True when the file was written; a failure is logged.
bool Save_Message_Queue(const MY_UploadFileRecord& record, const std::string& folder, const Queue_Log& log);

// What the replay did with one queue file.
struct Queue_Outcome {
  enum class Kind { Sent, Kept, Moved_Aside, Refused };
  std::string path;
  Kind kind = Kind::Kept;
  std::string note;  // why it was kept or moved aside, or where it went
};

// Sends the queued records of folder and its sub-folders in listing order, deleting each
// one the server confirms. A record the server answers with any other verdict is renamed to
// "<name>.refused" (its bytes kept) and the replay goes on; the replay stops at the first
// record the server does not answer (unreachable, no verdict in its answer) or that cannot be
// read: it and all after it stay for the next replay. A file that can never be sent (shorter
// than one record, or a record without URL) is moved aside to a ".bad" name and the replay
// goes on. True when the last file examined held a record with a URL. outcomes, when given,
// gets one entry per queue file.
bool Process_Message_Queue(const std::string& folder, const Record_Sender& send, const Queue_Log& log,
                           std::vector<Queue_Outcome>* outcomes = nullptr);
