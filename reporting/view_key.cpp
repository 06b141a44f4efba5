// The view keys' file: small, read whole, replaced whole; never through a link.
#include "reporting/view_key.h"

#include <algorithm>
#include <cctype>
#include <sstream>

#include "common/global_functions.h"
#include "platform/files.h"
#include "platform/folder_files.h"
#include "platform/safe_files.h"
#include "platform/trusted_folders.h"

namespace {

constexpr const char* kFileName = "view-keys";
constexpr std::size_t kLargestFile = 64 * 1024;

bool Is_Key(const std::string& text) {
  return text.size() == 32 && std::all_of(text.begin(), text.end(), [](unsigned char c) { return std::isxdigit(c); });
}

// The lines of the file but the one of host.
std::string Other_Servers(const platform::Descriptor& folder, const std::string& host) {
  std::string data, kept, line;
  int error = 0;
  if (!platform::Read_File_At(folder, kFileName, data, error, kLargestFile)) return {};
  std::istringstream lines(data);
  while (std::getline(lines, line))
    if (!line.empty() && line.substr(0, line.find(' ')) != host) kept += line + "\n";
  return kept;
}

}  // namespace

std::string View_Key_Of_Answer(const std::string& answer) {
  if (Get_Tag_Value("[RESULT]", "[/RESULT]", answer) != "1") return {};
  std::string key = Get_Tag_Value("[VIEW]", "[/VIEW]", answer);
  if (!Is_Key(key)) return {};
  std::transform(key.begin(), key.end(), key.begin(), [](unsigned char c) { return std::tolower(c); });
  return key;
}

std::string View_Key_Folder() {
  const std::string state = platform::User_State_Folder();
  return state.empty() ? std::string() : state + "/Quillorane";
}

bool Save_View_Key(const std::string& folder, const std::string& host, const std::string& key, const Queue_Log& log) {
  if (folder.empty()) {
    log("The view key is not kept: the user has no home folder");
    return false;
  }
  if (host.find_first_of(" \n") != std::string::npos || !Is_Key(key)) return false;
  platform::Trusted_Folder opened = platform::Open_Trusted_Folder(folder, 0700);
  if (!opened.folder.valid()) {
    log("The view key is not kept: " + folder + ": " + opened.reason);
    return false;
  }
  std::string reason;
  if (!platform::Write_File_Atomically(opened.folder, kFileName, Other_Servers(opened.folder, host) + host + " " + key + "\n",
                                       0600, reason)) {
    log("The view key is not kept: " + reason);
    return false;
  }
  log("Kept the key of this computer's comparison page on " + host);
  return true;
}

std::string Load_View_Key(const std::string& folder, const std::string& host) {
  int error = 0;
  platform::Descriptor handle = platform::Open_Folder(folder, error);
  if (!handle.valid() || !platform::Folder_Is_Private(handle)) return {};
  std::string data, line;
  if (!platform::Read_File_At(handle, kFileName, data, error, kLargestFile)) return {};
  std::istringstream lines(data);
  while (std::getline(lines, line)) {
    const auto blank = line.find(' ');
    if (blank != std::string::npos && line.substr(0, blank) == host && Is_Key(line.substr(blank + 1)))
      return line.substr(blank + 1);
  }
  return {};
}

Record_Sender Keeping_View_Keys(Record_Sender send, std::string folder, Queue_Log log) {
  return [send = std::move(send), folder = std::move(folder), log = std::move(log)](const MY_UploadFileRecord& record) {
    std::string answer = send(record);
    if (const std::string key = View_Key_Of_Answer(answer); !key.empty())
      Save_View_Key(folder, record.HostName.Text(), key, log);
    return answer;
  };
}
