// One libcurl transfer run on a multi handle of its own: the loop wakes at least ten times a
// second (and at once when stop is requested) to check the limits, so no transfer can outlast
// them; callbacks never let an error cross libcurl's C frames.
#include "reporting/curl_transfer.h"

#include <QString>

#include <mutex>

#include "common/server.h"

namespace {

constexpr int kMostRedirects = 5;
constexpr std::size_t kMostIgnoredBytes = 64 * 1024;
constexpr int kWakeMs = 100;

void Global_Init() {
  static std::once_flag once;
  std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

// A multi handle holding one easy handle for the length of one request.
class Multi_Run {
 public:
  explicit Multi_Run(CURL* easy) : multi_(curl_multi_init()), easy_(easy) {
    if (multi_ == nullptr || curl_multi_add_handle(multi_, easy_) != CURLM_OK) throw std::bad_alloc();
  }
  Multi_Run(const Multi_Run&) = delete;
  Multi_Run& operator=(const Multi_Run&) = delete;
  ~Multi_Run() {
    curl_multi_remove_handle(multi_, easy_);
    curl_multi_cleanup(multi_);
  }
  CURLM* get() const { return multi_; }

 private:
  CURLM* multi_;
  CURL* easy_;
};

// Scheme, host and port of a URL (the scheme's own port when it names none); false when it
// cannot be read.
bool Origin_Of(const std::string& url, std::string& origin) {
  CURLU* parsed = curl_url();
  if (parsed == nullptr) return false;
  char* parts[3] = {nullptr, nullptr, nullptr};
  const bool read = curl_url_set(parsed, CURLUPART_URL, url.c_str(), 0) == CURLUE_OK &&
                    curl_url_get(parsed, CURLUPART_SCHEME, &parts[0], 0) == CURLUE_OK &&
                    curl_url_get(parsed, CURLUPART_HOST, &parts[1], 0) == CURLUE_OK &&
                    curl_url_get(parsed, CURLUPART_PORT, &parts[2], CURLU_DEFAULT_PORT) == CURLUE_OK;
  if (read)
    origin = QString::fromUtf8(parts[0]).toLower().toStdString() + "://" +
             QString::fromUtf8(parts[1]).toLower().toStdString() + ":" + parts[2];
  for (char* part : parts) curl_free(part);
  curl_url_cleanup(parsed);
  return read;
}

bool Same_Origin(const std::string& a, const std::string& b) {
  std::string first, second;
  return Origin_Of(a, first) && Origin_Of(b, second) && first == second;
}

bool Is_Redirect(long status) {
  return status == 301 || status == 302 || status == 303 || status == 307 || status == 308;
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
  curl_easy_setopt(h, CURLOPT_HTTP_VERSION, static_cast<long>(CURL_HTTP_VERSION_1_1));
  // Answers are used as they arrive: no content decoding unless asked for.
  curl_easy_setopt(h, CURLOPT_HTTP_CONTENT_DECODING, 0L);
  // Certificates and host names are verified (libcurl's defaults); a private server's
  // authority may be named instead of the system's store.
  const std::string authorities = Results_Server_CA_File();
  if (!authorities.empty()) curl_easy_setopt(h, CURLOPT_CAINFO, authorities.c_str());
  curl_easy_setopt(h, CURLOPT_CONNECTTIMEOUT_MS, static_cast<long>(limits_.connect.count()));
  curl_easy_setopt(h, CURLOPT_WRITEFUNCTION, &Curl_Transfer::Write);
  curl_easy_setopt(h, CURLOPT_WRITEDATA, this);
  curl_easy_setopt(h, CURLOPT_PREREQFUNCTION, &Curl_Transfer::Connected);
  curl_easy_setopt(h, CURLOPT_PREREQDATA, this);
}

void Curl_Transfer::Set_Url(const std::string& url) {
  url_ = url;
  curl_easy_setopt(handle_.get(), CURLOPT_URL, url.c_str());
}

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

void Curl_Transfer::Decode_Compressed_Answers() {
  // A header line of the caller's that names Accept-Encoding is sent instead of libcurl's.
  curl_easy_setopt(handle_.get(), CURLOPT_ACCEPT_ENCODING, "gzip, deflate");
  curl_easy_setopt(handle_.get(), CURLOPT_HTTP_CONTENT_DECODING, 1L);
}

long Curl_Transfer::Status() const {
  long status = 0;
  curl_easy_getinfo(handle_.get(), CURLINFO_RESPONSE_CODE, &status);
  return status;
}

Curl_Transfer::Outcome Curl_Transfer::Perform(std::stop_token stop) {
  const Clock::time_point started = Clock::now();
  failure_.clear();
  for (int redirects = 0;; ++redirects) {
    const Outcome outcome = Perform_Once(stop, started);
    if (outcome != Outcome::Not_Ok || !follow_ || !Is_Redirect(Status())) return outcome;
    char* location = nullptr;
    curl_easy_getinfo(handle_.get(), CURLINFO_REDIRECT_URL, &location);
    const std::string next = location != nullptr ? location : "";
    if (next.empty()) return outcome;
    if (!Same_Origin(url_, next)) {
      failure_ = "redirected to another server: " + next;
      return outcome;
    }
    if (redirects == kMostRedirects) {
      failure_ = "more than " + std::to_string(kMostRedirects) + " redirects";
      return outcome;
    }
    curl_easy_setopt(handle_.get(), CURLOPT_URL, next.c_str());
  }
}

Curl_Transfer::Outcome Curl_Transfer::Perform_Once(const std::stop_token& stop, Clock::time_point started) {
  connected_ = ended_on_purpose_ = not_ok_ = false;
  moved_ = 0;
  ignored_ = 0;
  samples_.clear();
  error_buffer_[0] = '\0';
  pending_ = nullptr;
  if (stop.stop_requested()) {
    failure_ = "stopped";
    return Outcome::Cancelled;
  }
  Multi_Run run(handle_.get());
  // Declared after the run, so it is gone before the multi handle it wakes.
  std::stop_callback wake(stop, [&run] { curl_multi_wakeup(run.get()); });
  for (;;) {
    int running = 0;
    if (curl_multi_perform(run.get(), &running) != CURLM_OK) {
      failure_ = "the transfer library failed";
      return Outcome::Failed;
    }
    if (pending_) std::rethrow_exception(pending_);
    if (running == 0) {
      int left = 0;
      const CURLMsg* message = curl_multi_info_read(run.get(), &left);
      return Ended(message != nullptr && message->msg == CURLMSG_DONE ? message->data.result : CURLE_OK);
    }
    if (stop.stop_requested()) {
      failure_ = "stopped";
      return Outcome::Cancelled;
    }
    failure_ = Limit_Reached(started);
    if (!failure_.empty()) return Outcome::Timed_Out;
    if (on_tick_ && !on_tick_()) return Outcome::Ended_On_Purpose;
    curl_multi_poll(run.get(), nullptr, 0, kWakeMs, nullptr);
  }
}

Curl_Transfer::Outcome Curl_Transfer::Ended(CURLcode code) {
  const long status = Status();
  if (ended_on_purpose_) return Outcome::Ended_On_Purpose;
  if (not_ok_ || (code == CURLE_OK && status != 200)) {
    if (failure_.empty()) failure_ = "the server answered with status " + std::to_string(status);
    return Outcome::Not_Ok;
  }
  if (code == CURLE_OK) return Outcome::Complete;
  failure_ = error_buffer_[0] != '\0' ? error_buffer_ : curl_easy_strerror(code);
  return code == CURLE_OPERATION_TIMEDOUT ? Outcome::Timed_Out : Outcome::Failed;
}

std::string Curl_Transfer::Limit_Reached(Clock::time_point started) {
  const Clock::time_point now = Clock::now();
  const auto ms = [](std::chrono::milliseconds span) { return std::to_string(span.count()) + " ms"; };
  if (limits_.overall.count() > 0 && now - started > limits_.overall) return "not done within " + ms(limits_.overall);
  // The connection has its own limit; the quiet time and the rate count from the moment it stands.
  if (!connected_) return {};
  curl_off_t down = 0, up = 0;
  curl_easy_getinfo(handle_.get(), CURLINFO_SIZE_DOWNLOAD_T, &down);
  curl_easy_getinfo(handle_.get(), CURLINFO_SIZE_UPLOAD_T, &up);
  if (down + up != moved_) {
    moved_ = down + up;
    last_activity_ = now;
  }
  if (now - last_activity_ > limits_.idle) return "no data for " + ms(limits_.idle);
  if (limits_.minimum_rate <= 0) return {};
  // The bytes of the last window, measured from the newest sample at least a window old.
  samples_.emplace_back(now, moved_);
  while (samples_.size() >= 2 && samples_[1].first <= now - limits_.rate_window) samples_.pop_front();
  const auto& [then, bytes_then] = samples_.front();
  if (now - then < limits_.rate_window) return {};
  const double seconds = std::chrono::duration<double>(now - then).count();
  if (static_cast<double>(moved_ - bytes_then) >= static_cast<double>(limits_.minimum_rate) * seconds) return {};
  return "less than " + std::to_string(limits_.minimum_rate) + " bytes/s over " + ms(limits_.rate_window);
}

std::size_t Curl_Transfer::Write(char* data, std::size_t size, std::size_t count, void* self) {
  auto* transfer = static_cast<Curl_Transfer*>(self);
  const std::size_t n = size * count;
  // Any other count than n makes libcurl end the transfer. A body that will not be used (an
  // error page, a redirect's) is read to its end only when short, so that a redirect is known.
  if (transfer->Status() != 200) {
    transfer->not_ok_ = true;
    transfer->ignored_ += n;
    return transfer->ignored_ <= kMostIgnoredBytes ? n : 0;
  }
  if (!transfer->on_data_) return n;
  try {
    if (transfer->on_data_(data, n)) return n;
    transfer->ended_on_purpose_ = true;
  } catch (...) {
    transfer->pending_ = std::current_exception();
  }
  return 0;
}

int Curl_Transfer::Connected(void* self, char*, char*, int, int) {
  auto* transfer = static_cast<Curl_Transfer*>(self);
  transfer->connected_ = true;
  transfer->last_activity_ = Clock::now();
  return CURL_PREREQFUNC_OK;
}
