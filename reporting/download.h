// Fetching a URL into a file (banners) or into any sink (installers): a time limit for the
// first data, a stop flag the window can set, a stop token, progress displays, and the check
// of the finished file's MD5. Only an answer that arrived whole with status 200 counts.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <stop_token>
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

// Receives body bytes as they arrive; returning false ends the download (not whole).
using Body_Sink = std::function<bool(const char*, std::size_t)>;

// One GET whose body goes to a sink.
struct Body_Download {
  std::string url;
  std::string proxy;
  std::int64_t expected_bytes = 0;               // > 0: whole once exactly this many arrived
  std::chrono::milliseconds first_data{10000};   // ended when nothing arrived within it
  std::function<bool()> between;                 // runs between reads; false ends it (not whole)
};

// Hands the body of download.url to sink as it arrives, following redirects on the same
// server. True when it arrived whole: status 200 and the end of the body, or exactly
// expected_bytes. More than limits.download_bytes, a time limit, a failure, the sink's or
// between's refusal, or stop end it with false, and why says what ended it. An error thrown
// by sink passes on.
bool Download_Into(const Body_Download& download, const Body_Sink& sink, const Transfer_Limits& limits,
                   std::stop_token stop, std::string& why);

// Fetches record.URL into record.FileName (created with the first bytes of a 200 answer, or
// empty when that answer is empty). The transfer
// ends when the body ends, when exactly FileSize bytes have arrived, when nothing has arrived
// within the time limit, when a limit of limits is reached, or when the stop flag or stop is
// set; pump runs between reads and while waiting. True when the answer arrived whole and, if
// an MD5 was given, matches it. A partial or mismatching file stays on disk for the caller to
// judge.
bool Download_File(MY_DownloadRecord record, const Message_Pump& pump = {}, const Transfer_Limits& limits = {},
                   std::stop_token stop = {});
