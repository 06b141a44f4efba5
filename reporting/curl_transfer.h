// One HTTP transfer through libcurl's easy interface, owned by one object: the options every
// transfer of the program shares, the time-outs, and callbacks for the body and for the
// quiet moments in between. Only the transfer routines of this folder use it.
#pragma once

#include <curl/curl.h>

#include <chrono>
#include <exception>
#include <cstddef>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "reporting/http_client.h"

class Curl_Transfer {
 public:
  // Receives body bytes; returning false ends the transfer on purpose.
  using Data_Handler = std::function<bool(const char*, std::size_t)>;
  // Runs now and then while the transfer waits or moves; returning false ends it on purpose.
  using Tick_Handler = std::function<bool()>;

  enum class Outcome { Complete, Ended_On_Purpose, Timed_Out, Failed };

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
  void Follow_Redirects();
  void On_Data(Data_Handler handler) { on_data_ = std::move(handler); }
  void On_Tick(Tick_Handler handler) { on_tick_ = std::move(handler); }

  // Runs the transfer. An error thrown by a handler ends it and is thrown again from here.
  Outcome Perform();
  // Whether a response (its status line) arrived.
  bool Response_Began() const;
  // What went wrong, for the log.
  const std::string& Failure() const { return failure_; }

 private:
  static std::size_t Write(char* data, std::size_t size, std::size_t count, void* self);
  static int Progress(void* self, curl_off_t down_total, curl_off_t down_now, curl_off_t up_total, curl_off_t up_now);
  static int Connected(void* self, char*, char*, int, int);
  bool Idle_Too_Long(curl_off_t moved);
  // Runs a handler inside a libcurl callback, where no error may pass: one that is thrown is
  // kept for Perform. Returns false when the transfer must end.
  template <typename Handler>
  bool Guarded(Handler&& handler) noexcept;

  struct Easy_Cleanup {
    void operator()(CURL* handle) const { curl_easy_cleanup(handle); }
  };
  struct List_Free {
    void operator()(curl_slist* list) const { curl_slist_free_all(list); }
  };

  std::unique_ptr<CURL, Easy_Cleanup> handle_;
  std::unique_ptr<curl_slist, List_Free> headers_;
  std::string body_;
  Transfer_Limits limits_;
  Data_Handler on_data_;
  Tick_Handler on_tick_;
  bool connected_ = false;
  bool ended_on_purpose_ = false;
  bool timed_out_ = false;
  curl_off_t moved_ = 0;
  std::chrono::steady_clock::time_point last_activity_{};
  char error_buffer_[CURL_ERROR_SIZE] = {};
  std::string failure_;
  std::exception_ptr pending_;
};
