// Fetching a URL into a file (banners, installers): with a progress display, a time limit for
// the first data, a stop flag the window can set, and a check of the finished file's MD5.
#pragma once

#include <cstdint>
#include <string>

#include "common/global_functions.h"
#include "reporting/http_client.h"
#include "reporting/transfer_helpers.h"

// A progress bar the download moves; the window's bar implements it.
class Progress_Bar {
 public:
  virtual ~Progress_Bar() = default;
  virtual void Set_Range(int minimum, int maximum) = 0;
  // Moves the bar and repaints it.
  virtual void Set_Position(int position) = 0;
};

struct MY_DownloadRecord {
  std::string URL;
  std::string FileName;             // the file to create; an existing file is replaced
  std::string MD5;                  // expected digest in hexadecimal, any letter case; empty: no check
  std::int64_t FileSize = 0;        // expected bytes; 0 or less: not known
  Progress_Bar* Progressbar = nullptr;
  const bool* ExitApp = nullptr;    // the download stops once this is true
  std::string Proxy;
  std::string HostName;
  std::string Username;
  std::string Password;
  MY_StringGridRecord StringGrid;   // a grid cell to paint the progress in
  std::int32_t Download_TimeOut = 0;  // seconds to wait for the first data; 0 means 10
};

// Fetches record.URL into record.FileName. The transfer ends when the body ends, when exactly
// FileSize bytes have arrived, when nothing has arrived within the time limit, when nothing
// moves for limits.idle after that, or when the stop flag is set; pump runs between reads and
// while waiting. True when the file exists and, if an MD5 was given, matches it; false when
// more than limits.download_bytes arrived. A partial, oversized or mismatching file stays on
// disk for the caller to judge.
bool Download_File(MY_DownloadRecord record, const Message_Pump& pump = {}, const Transfer_Limits& limits = {});
