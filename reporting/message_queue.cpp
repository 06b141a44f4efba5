// The offline queue's files: saved whole into the private queue folder, listed without
// following links, replayed, deleted once confirmed or moved aside when unsendable.
#include "reporting/message_queue.h"

#include <cctype>
#include <cerrno>
#include <exception>
#include <memory>

#include "common/global_functions.h"
#include "common/log.h"
#include "platform/files.h"
#include "platform/folder_files.h"
#include "platform/safe_files.h"
#include "platform/trusted_folders.h"

namespace {

using platform::Descriptor;

constexpr int kMaxFolderDepth = 8;
// A save takes milliseconds; a temporary file this old was left by a save that never ended.
constexpr long kStaleTemporarySeconds = 3600;

struct Queued_File {
  std::shared_ptr<Descriptor> folder;
  std::string name;
  std::string path;
};

bool Ends_With(const std::string& text, const std::string& end) {
  return text.size() >= end.size() && text.compare(text.size() - end.size(), end.size(), end) == 0;
}

// The queue folder, made private (0700) when missing and reached only through folders of the
// user's or root's; an invalid handle (and a log line) when it cannot be used.
Descriptor Open_Queue_Folder(const std::string& folder, const Queue_Log& log) {
  if (folder.empty()) {
    log("No folder for the report queue: the user has no home folder");
    return {};
  }
  platform::Trusted_Folder opened = platform::Open_Trusted_Folder(folder, 0700);
  if (!opened.folder.valid()) log("The report queue " + folder + " is left alone: " + opened.reason);
  return std::move(opened.folder);
}

// A temporary file of a save that was killed before its rename (".<name>.dat.<random>.tmp").
bool Is_Stale_Temporary(const Descriptor& folder, const std::string& name) {
  return name[0] == '.' && Ends_With(name, ".tmp") && name.find(".dat.") != std::string::npos &&
         platform::Changed_Before_At(folder, name, kStaleTemporarySeconds);
}

// The ".dat" files of folder in listing order, then those of its sub-folders, depth first.
// Temporary files that a killed save left behind are removed on the way.
void Collect(const std::shared_ptr<Descriptor>& folder, const std::string& path, int depth,
             std::vector<Queued_File>& files, const Queue_Log& log) {
  std::vector<platform::Folder_Entry> entries;
  int error = 0;
  if (!platform::List_Folder(*folder, entries, error))
    throw std::runtime_error("Cannot list " + path + ": " + platform::Error_Text(error));
  for (const auto& entry : entries) {
    if (entry.kind != platform::Entry_Kind::File) continue;
    if (Ends_With(entry.name, ".dat")) files.push_back({folder, entry.name, path + "/" + entry.name});
    if (Is_Stale_Temporary(*folder, entry.name) && platform::Remove_File_At(*folder, entry.name, error))
      log("Removed the unfinished queue file " + path + "/" + entry.name);
  }
  if (depth >= kMaxFolderDepth) return;
  for (const auto& entry : entries) {
    if (entry.kind != platform::Entry_Kind::Folder || entry.name[0] == '.') continue;
    auto sub = std::make_shared<Descriptor>(platform::Open_Folder_At(*folder, entry.name, error));
    if (sub->valid()) Collect(sub, path + "/" + entry.name, depth + 1, files, log);
  }
}

// Renames a file that can never be sent to a name beside it that ends in extension (".bad",
// ".refused") instead of ".dat", keeping its bytes.
Queue_Outcome Move_Aside(const Queued_File& file, const std::string& why, const std::string& extension,
                         Queue_Outcome::Kind kind, const Queue_Log& log) {
  const std::string stem = file.name.substr(0, file.name.size() - 4);
  int error = EEXIST;
  for (int n = 0; n < 100 && error == EEXIST; ++n) {
    std::string aside = stem;
    if (n > 0) aside.append(1, '-').append(std::to_string(n));
    aside += extension;
    if (platform::Rename_Keeping_At(*file.folder, file.name, aside, error)) {
      log("Queue file " + file.path + " moved aside to " + aside + ": " + why);
      return {file.path, kind, why + "; now " + aside};
    }
  }
  log("Cannot move queue file " + file.path + " aside (" + why + "): " + platform::Error_Text(error));
  return {file.path, Queue_Outcome::Kind::Kept, why + "; it could not be moved aside"};
}

// Whether the server's answer holds a verdict at all: "[RESULT]", then "[/RESULT]" (letter case
// aside), whatever stands between them.
bool Holds_Verdict(const std::string& answer) {
  std::string upper = answer;
  for (char& c : upper) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  const std::size_t open = upper.find("[RESULT]");
  const std::size_t close = upper.find("[/RESULT]");
  return open != std::string::npos && close != std::string::npos && close >= open + 8;
}

// Sends one queued record. go_on tells whether the replay may go on: not after a record the
// server did not answer. with_url tells whether the file held a record with a URL.
Queue_Outcome Replay_One(const Queued_File& file, const Record_Sender& send, const Queue_Log& log, bool& go_on,
                         bool& with_url) {
  go_on = false;
  with_url = false;
  std::string bytes;
  int error = 0;
  if (!platform::Read_File_At(*file.folder, file.name, bytes, error, kUploadRecordSize)) {
    log("Cannot read queue file " + file.path + ": " + platform::Error_Text(error));
    return {file.path, Queue_Outcome::Kind::Kept, "cannot be read: " + platform::Error_Text(error)};
  }
  auto record = std::make_unique<MY_UploadFileRecord>();
  go_on = true;  // a file that can never be sent does not hold up the rest
  if (!Record_From_Bytes(bytes, *record))
    return Move_Aside(file, "shorter than one record (" + std::to_string(bytes.size()) + " bytes)", ".bad",
                      Queue_Outcome::Kind::Moved_Aside, log);
  if (record->URL.Empty()) return Move_Aside(file, "its record has no URL", ".bad", Queue_Outcome::Kind::Moved_Aside, log);
  with_url = true;
  const std::string answer = send(*record);
  go_on = Holds_Verdict(answer);
  if (!go_on) return {file.path, Queue_Outcome::Kind::Kept, "no answer from the server"};
  const std::string verdict = Get_Tag_Value("[RESULT]", "[/RESULT]", answer);
  // A record the server refuses it will refuse again: it is kept aside, not sent for ever.
  if (verdict != "1")
    return Move_Aside(file, "refused by the server (its verdict: \"" + verdict + "\")", ".refused",
                      Queue_Outcome::Kind::Refused, log);
  if (!platform::Remove_File_At(*file.folder, file.name, error))
    log("Cannot delete sent queue file " + file.path + ": " + platform::Error_Text(error));
  return {file.path, Queue_Outcome::Kind::Sent, {}};
}

}  // namespace

std::string Queue_Folder() {
  std::string note;
  const std::string state = platform::User_State_Folder(&note);
  if (!note.empty()) Write_Log("Report queue: " + note);
  return state.empty() ? std::string() : state + "/Quillorane/QuilloraneQueue";
}

bool Save_Message_Queue(const MY_UploadFileRecord& record, const std::string& folder, const Queue_Log& log) {
  try {
    Descriptor handle = Open_Queue_Folder(folder, log);
    if (!handle.valid()) return false;
    std::string reason;
    for (int attempt = 0; attempt < 5; ++attempt) {
      const std::string path = Make_Unique_Name(folder, "", ".dat");
      const std::string name = path.substr(path.rfind('/') + 1);
      if (platform::Write_File_Atomically(handle, name, Record_Bytes(record), 0600, reason,
                                          platform::Existing_File::Keep))
        return true;
      if (errno != EEXIST) break;  // another process took the name: try a new one
    }
    log("Cannot queue the report in " + folder + ": " + reason);
  } catch (const std::exception& error) {
    log(Error_Line(error));
  }
  return false;
}

bool Process_Message_Queue(const std::string& folder, const Record_Sender& send, const Queue_Log& log,
                           std::vector<Queue_Outcome>* outcomes) {
  bool with_url = false;
  try {
    auto handle = std::make_shared<Descriptor>(Open_Queue_Folder(folder, log));
    if (!handle->valid()) return false;
    std::vector<Queued_File> files;
    Collect(handle, folder, 0, files, log);
    bool go_on = true;
    for (const Queued_File& file : files) {
      Queue_Outcome outcome{file.path, Queue_Outcome::Kind::Kept, "not tried: the server did not answer"};
      if (go_on) outcome = Replay_One(file, send, log, go_on, with_url);
      if (outcomes != nullptr) outcomes->push_back(outcome);
    }
  } catch (const std::exception& error) {
    log(Error_Line(error));
  }
  return with_url;
}
