// One HTTP transfer through libcurl, owned by one object: the options every transfer of the
// program shares, its time limits, a stop token that ends it at once, redirects kept on the
// request's own server, and callbacks for the body and for the moments in between. Only the
// transfer routines of this folder use it.
#pragma once

#include <curl/curl.h>

#include <chrono>
#include <cstddef>
#include <deque>
#include <exception>
#include <functional>
#include <memory>
#include <stop_token>
#include <string>
#include <utility>
#include <vector>

#include "reporting/http_client.h"

class Curl_Transfer {
 public:
  // Receives body bytes of an answer with status 200; returning false ends the transfer on
  // purpose. The body of any other status is never handed on.
  using Data_Handler = std::function<bool(const char*, std::size_t)>;
  // Runs at least ten times a second while the transfer waits or moves; returning false ends
  // it on purpose.
  using Tick_Handler = std::function<bool()>;

  // Complete: the whole answer arrived with status 200. Not_Ok: an answer with another status
  // (or a redirect that was not followed) arrived; its body was not handed on.
  enum class Outcome { Complete, Not_Ok, Ended_On_Purpose, Timed_Out, Cancelled, Failed };

  explicit Curl_Transfer(const Transfer_Limits& limits);
  Curl_Transfer(const Curl_Transfer&) = delete;
  Curl_Transfer& operator=(const Curl_Transfer&) = delete;

  bool valid() const { return handle_ != nullptr; }
  void Set_Url(const std::string& url);
  // An empty proxy leaves the system's configuration (http_proxy, no_proxy) in force.
  void Set_Proxy(const std::string& proxy);
  void Set_Credentials(const std::string& user, const std::string& password);
  // Request headers exactly as given; libcurl adds none of its own but Host and
  // Content-Length where the lines do not name them.
  void Set_Headers(const std::vector<std::string>& lines);
  // The headers of every GET: no-cache, and none of libcurl's own but Host.
  void Set_Get_Headers() { Set_Headers({"Accept:", "Pragma: no-cache"}); }
  void Set_Post_Body(const std::string& body);
  // Follows up to 5 redirects that stay on the request's scheme, host and port; a redirect
  // anywhere else ends the transfer.
  void Follow_Redirects() { follow_ = true; }
  // Answers compressed with gzip or deflate (which the request announces itself) are decoded.
  void Decode_Compressed_Answers();
  void On_Data(Data_Handler handler) { on_data_ = std::move(handler); }
  void On_Tick(Tick_Handler handler) { on_tick_ = std::move(handler); }

  // Runs the transfer until it ends, a limit is reached or stop is requested. An error thrown
  // by a handler ends it and is thrown again from here.
  Outcome Perform(std::stop_token stop = {});
  // Whether a response (its status line) arrived.
  bool Response_Began() const { return Status() > 0; }
  long Status() const;
  // What went wrong, for the log.
  const std::string& Failure() const { return failure_; }

 private:
  using Clock = std::chrono::steady_clock;
  Outcome Perform_Once(const std::stop_token& stop, Clock::time_point started);
  // Why the transfer must end now (idle, overall, rate), or empty.
  std::string Limit_Reached(Clock::time_point started);
  Outcome Ended(CURLcode code);
  static std::size_t Write(char* data, std::size_t size, std::size_t count, void* self);
  static int Connected(void* self, char*, char*, int, int);

  struct Easy_Cleanup {
    void operator()(CURL* handle) const { curl_easy_cleanup(handle); }
  };
  struct List_Free {
    void operator()(curl_slist* list) const { curl_slist_free_all(list); }
  };

  std::unique_ptr<CURL, Easy_Cleanup> handle_;
  std::unique_ptr<curl_slist, List_Free> headers_;
  std::string url_;
  std::string body_;
  Transfer_Limits limits_;
  bool follow_ = false;
  Data_Handler on_data_;
  Tick_Handler on_tick_;
  // The state of one request.
  bool connected_ = false;
  bool ended_on_purpose_ = false;
  bool not_ok_ = false;
  curl_off_t moved_ = 0;
  std::size_t ignored_ = 0;  // body bytes of an answer that is not used
  Clock::time_point last_activity_{};
  std::deque<std::pair<Clock::time_point, curl_off_t>> samples_;  // bytes moved, for the rate
  char error_buffer_[CURL_ERROR_SIZE] = {};
  std::string failure_;
  std::exception_ptr pending_;
};
