// The program's traffic with the results server over HTTP: the form upload that carries a
// report and the fetch of a page as text. Synchronous; failures end in an empty text, never
// in an error that reaches the caller.
#pragma once

#include <chrono>
#include <cstdint>
#include <string>

#include "reporting/upload_record.h"

// How long a transfer may take to connect, how long it may go without a single byte moving
// before it counts as failed, and how many bytes a download may bring at most.
struct Transfer_Limits {
  std::chrono::milliseconds connect{60000};
  std::chrono::milliseconds idle{30000};
  std::int64_t download_bytes = 0;  // 0: no limit
};

// Sends the record as a multipart/form-data POST after a probe GET of its URL and returns
// the answer's body: empty when the server cannot be reached or the form cannot be built
// (logged), what arrived when the answer breaks off.
std::string Post_Multipart_Form(const MY_UploadFileRecord& record, const Transfer_Limits& limits = {});

// The body of a GET of URL ("Pragma: no-cache"), or what arrived of it before a failure;
// empty when the server cannot be reached. host_name, user_name and password are not used
// by a GET (the connection takes the URL's host).
std::string Get_Url_Text(const std::string& URL, const std::string& proxy, const std::string& host_name,
                         const std::string& user_name, const std::string& password,
                         const Transfer_Limits& limits = {});
