#include "common/log.h"

#include <cxxabi.h>
#include <fcntl.h>
#include <unistd.h>

#include <QDate>
#include <QDateTime>
#include <QLocale>
#include <QTime>

#include <cstdlib>
#include <filesystem>
#include <memory>
#include <typeinfo>

namespace {

std::string Executable_Name() {
  const std::string file = Get_Application_File();
  return file.substr(file.rfind('/') + 1);  // npos + 1 == 0: the whole text
}

std::string Log_File_Path_For(const QDate& date) {
  const std::string name = Executable_Name();
  std::string day = QLocale().toString(date, QLocale::ShortFormat).toStdString();
  day = Replace_Text(day, "/", "-");
  return Get_Temp_Folder() + name + "-logs/" + day + "(" + name + ").txt";
}

bool Append_To_File(const std::string& path, const std::string& line) {
  const int fd = ::open(path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0644);
  if (fd < 0) return false;
  const bool written = ::write(fd, line.data(), line.size()) == static_cast<ssize_t>(line.size());
  return ::close(fd) == 0 && written;
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

std::string Log_File_Path() { return Log_File_Path_For(QDate::currentDate()); }

void Write_Log(const std::string& text) {
  if (text.empty()) return;
  try {
    const QDateTime now = QDateTime::currentDateTime();
    const QLocale locale;
    const std::string line = locale.toString(now.date(), QLocale::ShortFormat).toStdString() + " " +
                             locale.toString(now.time(), QLocale::LongFormat).toStdString() + " (" +
                             Get_Computer_Name() + ")(" + Get_User_Name() + ")  " + text + "\r\n";
    const std::filesystem::path path = Log_File_Path_For(now.date());
    std::error_code ec;
    std::filesystem::create_directories(path.parent_path(), ec);
    if (ec) return;
    Append_To_File(path.string(), line);
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
