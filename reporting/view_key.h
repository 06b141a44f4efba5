// The key that opens this computer's comparison page on the results server. The server
// hands it out once, after the verdict of the computer's first confirmed report; the program
// keeps it for each server in the user's state folder, beside the report queue, and puts it
// into the page's address.
#pragma once

#include <string>

#include "reporting/message_queue.h"

// The key after a verdict of "1" ("[RESULT]1[/RESULT][VIEW]<32 hex digits>[/VIEW]"), in lower
// case; empty when the report was not confirmed or the answer holds no such key.
std::string View_Key_Of_Answer(const std::string& answer);

// $XDG_STATE_HOME/Quillorane (~/.local/state/Quillorane); empty when the user has no home.
std::string View_Key_Folder();

// Keeps key as the one of server host in folder's file "view-keys" (a line "host key" per
// server), written whole: a temporary file, forced to disk, renamed. The folder is made
// private (0700) when missing and must be the user's own. False, with a log line, when the
// key could not be kept.
bool Save_View_Key(const std::string& folder, const std::string& host, const std::string& key, const Queue_Log& log);

// The key kept for server host; empty when there is none.
std::string Load_View_Key(const std::string& folder, const std::string& host);

// A sender that keeps the view key of every answer that brings one, for the record's host.
Record_Sender Keeping_View_Keys(Record_Sender send, std::string folder, Queue_Log log);
