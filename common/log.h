// The daily diagnostic log: one plain-text file a day in the temporary folder, one line
// per event. The folder (<exe>-logs-<uid>) is the user's own; where it cannot be, or cannot
// be written, the log goes to $XDG_STATE_HOME/Quillorane/logs (~/.local/state/Quillorane/logs),
// or to the effective user's own home when that state folder is another user's.
#pragma once

#include <string>

#include "common/global_functions.h"

// Appends one line; an empty text writes nothing. Control characters in the text are
// written as escapes, so that a line is always one line. A line that cannot be written
// whole is dropped. The first time the temporary folder cannot take the log, stderr says so;
// when it is another user's, only the log itself says so, once.
void Write_Log(const std::string& text);

// The file that Write_Log writes today: in the temporary folder when that can take it,
// otherwise in the state folder.
std::string Log_File_Path();

// The text of a caught error's log line: "<class> error raised, with message : <message>".
std::string Error_Line(const std::string& class_name, const std::string& message);
std::string Error_Line(const std::exception& error);

// The main window's way into the log: waits (pumping messages) while another write is in
// progress, then writes, so that two lines never interleave.
class Guarded_Log {
 public:
  explicit Guarded_Log(Message_Pump pump) : pump_(std::move(pump)) {}
  void Local_Writelog(const std::string& text);
  bool USING_WRITE_LOG = false;

 private:
  Message_Pump pump_;
};
