// The daily log: a private folder for the day's files, one whole line per call, and the
// user's state folder when the temporary folder cannot take the log.
#include "common/log.h"

#include <cxxabi.h>
#include <unistd.h>

#include <QDate>
#include <QDateTime>
#include <QLocale>
#include <QTime>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <mutex>
#include <set>
#include <typeinfo>

#include "common/plain_text.h"
#include "platform/files.h"
#include "platform/safe_files.h"
#include "platform/trusted_folders.h"
#include "platform/system.h"

namespace {

constexpr mode_t kFolderMode = 0700;
constexpr mode_t kFileMode = 0600;

std::string Executable_Name() {
  const std::string file = Get_Application_File();
  return file.substr(file.rfind('/') + 1);  // npos + 1 == 0: the whole text
}

std::string Day_File_Name(const QDate& date) {
  const std::string name = Executable_Name();
  std::string day = QLocale().toString(date, QLocale::ShortFormat).toStdString();
  return Replace_Text(day, "/", "-") + "(" + name + ").txt";
}

// The folder of the day's files in the temporary folder, which every user of the machine
// shares: one of each user's own.
std::string Temp_Log_Folder() {
  return Get_Temp_Folder() + Executable_Name() + "-logs-" + std::to_string(::geteuid());
}

// The user's own state folder, where the log goes when the temporary one cannot be used;
// note says why it is not the one the environment names.
std::string State_Log_Folder(std::string* note = nullptr) {
  const std::string state = platform::User_State_Folder(note);
  return state.empty() ? std::string() : state + "/Quillorane/logs";
}

// Whether text comes for the first time in this process (an empty one never does): what is
// told about where the lines go is told once.
bool First_Time(const std::string& note) {
  static std::mutex guard;
  static std::set<std::string> told;
  const std::lock_guard<std::mutex> lock(guard);
  return !note.empty() && told.insert(note).second;
}

bool Append_To_Log(const std::string& folder, const std::string& name, const std::string& line, std::string& reason,
                   bool& foreign) {
  platform::Trusted_Folder opened = platform::Open_Trusted_Folder(folder, kFolderMode);
  foreign = opened.foreign;
  if (!opened.folder.valid()) {
    reason = opened.reason;
    return false;
  }
  int error = 0;
  if (platform::Append_Line_At(opened.folder, name, line, kFileMode, error)) return true;
  reason = "Cannot write " + folder + "/" + name + ": " + platform::Error_Text(error);
  return false;
}

// Tells the user once per log folder that its lines go elsewhere, or nowhere.
void Say_Log_Moved(const std::string& folder, const std::string& reason, const std::string& fallback,
                   const std::string& fallback_reason) {
  if (!First_Time("moved " + folder)) return;
  const std::string where = fallback_reason.empty() ? "it is kept in " + fallback
                                                    : "nor in " + fallback + " (" + fallback_reason + "): lines are lost";
  std::fprintf(stderr, "%s\n", One_Line_Text(Executable_Name() + ": the log cannot be kept in " + folder + " (" + reason +
                                             "); " + where).c_str());
}

// Whether folder would take the log: what exists of it is the user's own.
bool Usable_Log_Folder(const std::string& folder) {
  std::string reason;
  bool foreign = false;
  return platform::Trusted_Folder_Path(folder, reason, foreign);
}

// Sets a flag for as long as it lives, then gives it back its former value.
class Flag_Holder {
 public:
  explicit Flag_Holder(bool& flag) : flag_(flag), previous_(flag) { flag_ = true; }
  Flag_Holder(const Flag_Holder&) = delete;
  Flag_Holder& operator=(const Flag_Holder&) = delete;
  ~Flag_Holder() { flag_ = previous_; }

 private:
  bool& flag_;
  bool previous_;
};

}  // namespace

std::string Log_File_Path() {
  const std::string folder = Usable_Log_Folder(Temp_Log_Folder()) ? Temp_Log_Folder() : State_Log_Folder();
  return folder + "/" + Day_File_Name(QDate::currentDate());
}

void Write_Log(const std::string& text) {
  if (text.empty()) return;
  try {
    const QDateTime now = QDateTime::currentDateTime();
    const QLocale locale;
    // Texts from outside (mount points, labels) are escaped, so that every call is one line.
    const std::string line =
        One_Line_Text(locale.toString(now.date(), QLocale::ShortFormat).toStdString() + " " +
                      locale.toString(now.time(), QLocale::LongFormat).toStdString() + " (" + Get_Computer_Name() +
                      ")(" + Get_User_Name() + ")  " + text) +
        "\r\n";
    const std::string name = Day_File_Name(now.date());
    const std::string folder = Temp_Log_Folder();
    std::string reason;
    bool foreign = false;
    if (Append_To_Log(folder, name, line, reason, foreign)) return;
    std::string note;
    const std::string fallback = State_Log_Folder(&note);
    std::string fallback_reason;
    bool fallback_foreign = false;
    const bool kept = Append_To_Log(fallback, name, line, fallback_reason, fallback_foreign);
    // A shared folder that another user holds (or made changeable) is not ours to complain
    // about: the lines go to the user's own folder, and the log itself says why, once.
    if (!foreign || !kept) Say_Log_Moved(folder, reason, fallback, kept ? "" : fallback_reason);
    if (kept && foreign && First_Time(reason)) Write_Log("The log is kept in " + fallback + ": " + reason);
    if (kept && First_Time(note)) Write_Log("The log is kept in " + fallback + ": " + note);
  } catch (...) {
    // The log must never take the program down.
  }
}

std::string Error_Line(const std::string& class_name, const std::string& message) {
  return class_name + " error raised, with message : " + message;
}

std::string Error_Line(const std::exception& error) {
  const char* raw = typeid(error).name();
  int status = 0;
  std::unique_ptr<char, void (*)(void*)> readable(abi::__cxa_demangle(raw, nullptr, nullptr, &status), std::free);
  return Error_Line(status == 0 && readable ? readable.get() : raw, error.what());
}

void Guarded_Log::Local_Writelog(const std::string& text) {
  if (pump_) {
    pump_();
    while (USING_WRITE_LOG) pump_();
  }
  Flag_Holder busy(USING_WRITE_LOG);
  Write_Log(text);
}
