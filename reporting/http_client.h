// The program's traffic with the results server over HTTP or HTTPS: the form upload that
// carries a report and the fetch of a page as text. Synchronous and callable from any thread;
// a stop token ends a transfer within a fraction of a second. Failures end in an empty text,
// never in an error that reaches the caller.
#pragma once

#include <chrono>
#include <cstdint>
#include <stop_token>
#include <string>

#include "reporting/upload_record.h"

// How long a transfer may take to connect, how long it may go without a single byte moving,
// how long it may take in all, the least rate it must keep, and how many bytes a download may
// bring at most.
struct Transfer_Limits {
  std::chrono::milliseconds connect{60000};
  std::chrono::milliseconds idle{30000};
  std::chrono::milliseconds overall{0};          // 0: no overall limit
  std::int64_t minimum_rate = 0;                  // bytes per second over rate_window; 0: none
  std::chrono::milliseconds rate_window{30000};
  std::int64_t download_bytes = 0;                // 0: no limit
};

// The limits of each kind of transfer: 60 s connect and 30 s without a byte for all, and
// in all at most 60 s for the probe and the version answer, 120 s for a report's POST and
// 60 s for a banner; an installer ends when it brings less than 10 kB/s over 30 s.
Transfer_Limits Answer_Limits();
Transfer_Limits Report_Limits();
Transfer_Limits Banner_Limits();
Transfer_Limits Installer_Limits();

// Sends the record as a multipart/form-data POST after a probe GET of its URL and returns
// the answer's body. Empty when the server cannot be reached, the form cannot be built
// (logged), or the answer did not arrive whole with status 200 (logged).
std::string Post_Multipart_Form(const MY_UploadFileRecord& record, const Transfer_Limits& probe = Answer_Limits(),
                                const Transfer_Limits& post = Report_Limits(), std::stop_token stop = {});

// The body of a GET of URL ("Pragma: no-cache"); empty when the server cannot be reached or
// the answer did not arrive whole with status 200 (logged). host_name, user_name and password
// are not used by a GET (the connection takes the URL's host).
std::string Get_Url_Text(const std::string& URL, const std::string& proxy, const std::string& host_name,
                         const std::string& user_name, const std::string& password,
                         const Transfer_Limits& limits = Answer_Limits(), std::stop_token stop = {});
