// One libcurl easy transfer: shared options, the idle and connect time-outs, and callbacks
// that never let an error cross libcurl's C frames.
#include "reporting/curl_transfer.h"

#include <mutex>

namespace {

void Global_Init() {
  static std::once_flag once;
  std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

}  // namespace

Curl_Transfer::Curl_Transfer(const Transfer_Limits& limits) : limits_(limits) {
  Global_Init();
  handle_.reset(curl_easy_init());
  if (!handle_) return;
  CURL* h = handle_.get();
  curl_easy_setopt(h, CURLOPT_NOSIGNAL, 1L);
  curl_easy_setopt(h, CURLOPT_ERRORBUFFER, error_buffer_);
  curl_easy_setopt(h, CURLOPT_PROTOCOLS_STR, "http,https");
  curl_easy_setopt(h, CURLOPT_REDIR_PROTOCOLS_STR, "http,https");
  curl_easy_setopt(h, CURLOPT_HTTP_VERSION, static_cast<long>(CURL_HTTP_VERSION_1_1));
  // Answers are used as they arrive: no content decoding.
  curl_easy_setopt(h, CURLOPT_HTTP_CONTENT_DECODING, 0L);
  curl_easy_setopt(h, CURLOPT_CONNECTTIMEOUT_MS, static_cast<long>(limits_.connect.count()));
  curl_easy_setopt(h, CURLOPT_WRITEFUNCTION, &Curl_Transfer::Write);
  curl_easy_setopt(h, CURLOPT_WRITEDATA, this);
  curl_easy_setopt(h, CURLOPT_NOPROGRESS, 0L);
  curl_easy_setopt(h, CURLOPT_XFERINFOFUNCTION, &Curl_Transfer::Progress);
  curl_easy_setopt(h, CURLOPT_XFERINFODATA, this);
  curl_easy_setopt(h, CURLOPT_PREREQFUNCTION, &Curl_Transfer::Connected);
  curl_easy_setopt(h, CURLOPT_PREREQDATA, this);
}

void Curl_Transfer::Set_Url(const std::string& url) { curl_easy_setopt(handle_.get(), CURLOPT_URL, url.c_str()); }

void Curl_Transfer::Set_Proxy(const std::string& proxy) {
  if (!proxy.empty()) curl_easy_setopt(handle_.get(), CURLOPT_PROXY, proxy.c_str());
}

void Curl_Transfer::Set_Credentials(const std::string& user, const std::string& password) {
  if (user.empty() && password.empty()) return;
  // Offered only when the server asks for them, so no request carries them unasked.
  curl_easy_setopt(handle_.get(), CURLOPT_HTTPAUTH, static_cast<long>(CURLAUTH_ANY));
  curl_easy_setopt(handle_.get(), CURLOPT_USERNAME, user.c_str());
  curl_easy_setopt(handle_.get(), CURLOPT_PASSWORD, password.c_str());
}

void Curl_Transfer::Set_Headers(const std::vector<std::string>& lines) {
  curl_slist* list = nullptr;
  for (const std::string& line : lines) {
    curl_slist* longer = curl_slist_append(list, line.c_str());
    if (longer == nullptr) {
      curl_slist_free_all(list);
      throw std::bad_alloc();
    }
    list = longer;
  }
  headers_.reset(list);
  curl_easy_setopt(handle_.get(), CURLOPT_HTTPHEADER, list);
}

void Curl_Transfer::Set_Post_Body(const std::string& body) {
  body_ = body;
  curl_easy_setopt(handle_.get(), CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(body_.size()));
  curl_easy_setopt(handle_.get(), CURLOPT_POSTFIELDS, body_.data());
}

void Curl_Transfer::Follow_Redirects() {
  curl_easy_setopt(handle_.get(), CURLOPT_FOLLOWLOCATION, 1L);
  curl_easy_setopt(handle_.get(), CURLOPT_MAXREDIRS, 5L);
}

Curl_Transfer::Outcome Curl_Transfer::Perform() {
  connected_ = ended_on_purpose_ = timed_out_ = false;
  moved_ = 0;
  error_buffer_[0] = '\0';
  pending_ = nullptr;
  const CURLcode code = curl_easy_perform(handle_.get());
  if (pending_) std::rethrow_exception(pending_);
  if (code == CURLE_OK) return Outcome::Complete;
  if (ended_on_purpose_) return Outcome::Ended_On_Purpose;
  if (timed_out_) {
    failure_ = "no data for " + std::to_string(limits_.idle.count()) + " ms";
    return Outcome::Timed_Out;
  }
  failure_ = error_buffer_[0] != '\0' ? error_buffer_ : curl_easy_strerror(code);
  return code == CURLE_OPERATION_TIMEDOUT ? Outcome::Timed_Out : Outcome::Failed;
}

bool Curl_Transfer::Response_Began() const {
  long status = 0;
  curl_easy_getinfo(handle_.get(), CURLINFO_RESPONSE_CODE, &status);
  return status > 0;
}

template <typename Handler>
bool Curl_Transfer::Guarded(Handler&& handler) noexcept {
  try {
    if (handler()) return true;
    ended_on_purpose_ = true;
  } catch (...) {
    pending_ = std::current_exception();
  }
  return false;
}

std::size_t Curl_Transfer::Write(char* data, std::size_t size, std::size_t count, void* self) {
  auto* transfer = static_cast<Curl_Transfer*>(self);
  const std::size_t n = size * count;
  if (!transfer->on_data_) return n;
  // Any other count than n makes libcurl end the transfer.
  return transfer->Guarded([&] { return transfer->on_data_(data, n); }) ? n : 0;
}

int Curl_Transfer::Progress(void* self, curl_off_t, curl_off_t down_now, curl_off_t, curl_off_t up_now) {
  auto* transfer = static_cast<Curl_Transfer*>(self);
  if (transfer->Idle_Too_Long(down_now + up_now)) {
    transfer->timed_out_ = true;
    return 1;
  }
  if (!transfer->on_tick_) return 0;
  return transfer->Guarded([&] { return transfer->on_tick_(); }) ? 0 : 1;
}

int Curl_Transfer::Connected(void* self, char*, char*, int, int) {
  auto* transfer = static_cast<Curl_Transfer*>(self);
  transfer->connected_ = true;
  transfer->last_activity_ = std::chrono::steady_clock::now();
  return CURL_PREREQFUNC_OK;
}

bool Curl_Transfer::Idle_Too_Long(curl_off_t moved) {
  // The connection has its own limit; the quiet time counts from the moment it stands.
  if (!connected_) return false;
  const auto now = std::chrono::steady_clock::now();
  if (moved != moved_) {
    moved_ = moved;
    last_activity_ = now;
  }
  return now - last_activity_ > limits_.idle;
}
