// One client connection: read a request's head within its deadline and size caps, then its
// body within its own deadline, run the route on a worker, send the answer piece by piece,
// and take the next request only after that (pipelined requests are answered in order).
#include "server/client_address.h"
#include "server/http_core.h"

#include <unistd.h>

#include <algorithm>
#include <limits>

namespace {

constexpr std::size_t kPiece = 64 * 1024;
// After a refusal the client may still be sending: what it sends is read and dropped for a
// while, so that closing does not reset the connection before the answer is read.
constexpr std::chrono::seconds kLingerTime{2};
constexpr std::size_t kLingerBytes = 4 << 20;

std::int64_t Steady_Ns() {
  return std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

bool Has_Body(int status) { return status >= 200 && status != 204 && status != 304; }

bool Is_Method_Taken(const std::string& method) { return method == "GET" || method == "HEAD" || method == "POST"; }

}  // namespace

Http_Connection::Http_Connection(std::shared_ptr<Http_Server::Core> core, tcp::socket socket, std::string peer,
                                 bool trusted, bool counted_for_address)
    : core_(std::move(core)),
      limits_(core_->setup.limits),
      stream_(std::move(socket)),
      buffer_(limits_.max_request_line + limits_.max_header_block + 4),
      peer_(std::move(peer)),
      trusted_(trusted),
      counted_for_address_(counted_for_address) {}

Http_Connection::~Http_Connection() { core_->Forget(this, peer_, counted_for_address_); }

void Http_Connection::Start() {
  net::dispatch(stream_.get_executor(), [self = shared_from_this()] { self->Read_Header(); });
}

// A file being downloaded is cut too: a download can be made again, unlike a report
// whose answer would be lost.
void Http_Connection::Stop() {
  if (phase_ == Phase::kWaiting || phase_ == Phase::kBody || phase_ == Phase::kLingering ||
      (phase_ == Phase::kSending && response_.file))
    Close();
  else keep_alive_ = false;
}

// The deadline counts from the moment the server waits: an idle kept-alive connection ends
// after it as well, and a client trickling bytes cannot stretch it.
void Http_Connection::Read_Header() {
  if (core_->Stopping()) return Close();
  phase_ = Phase::kWaiting;
  request_ = Http_Request{};
  if (buffer_.size() == 0) buffer_.shrink_to_fit();  // a waiting connection keeps no large buffer
  Set_Deadline(limits_.header_time);
  searched_ = 0;
  Read_Head_Bytes();
}

// Reads until the blank line ends the head; a pipelined request may have brought it already.
void Http_Connection::Read_Head_Bytes() {
  const std::string_view data(static_cast<const char*>(buffer_.data().data()), buffer_.size());
  const auto end = data.find("\r\n\r\n", searched_);
  if (end != std::string_view::npos) return On_Header({}, end + 4);
  if (buffer_.size() == buffer_.max_size()) return On_Header(net::error::not_found, 0);
  searched_ = data.size() < 3 ? 0 : data.size() - 3;
  const auto space = buffer_.prepare(std::min(kPiece, buffer_.max_size() - buffer_.size()));
  stream_.async_read_some(space, [self = shared_from_this()](beast::error_code error, std::size_t got) {
    self->buffer_.commit(got);
    if (error) return self->On_Header(error, 0);
    self->Read_Head_Bytes();
  });
}

void Http_Connection::On_Header(beast::error_code error, std::size_t length) {
  if (phase_ != Phase::kWaiting) return;
  if (error == net::error::not_found) {  // the buffer filled up without the blank line
    const auto data = static_cast<const char*>(buffer_.data().data());
    const std::string_view head(data, std::min(buffer_.size(), limits_.max_request_line + 2));
    return Refuse(head.find("\r\n") == std::string_view::npos ? 414 : 431);
  }
  if (error) return Close();
  if (const int status = Check_Header(length); status != 0) return Refuse(status);
  if (parser_->content_length().value_or(0) == 0) return Dispatch();
  if (Same_Name(request_.Header("Expect"), "100-continue")) {
    static const std::string kContinue = "HTTP/1.1 100 Continue\r\n\r\n";
    Set_Deadline(limits_.send_time);
    net::async_write(stream_, net::buffer(kContinue), [self = shared_from_this()](beast::error_code sent, std::size_t) {
      if (sent) self->Close();
      else self->Read_Body();
    });
    return;
  }
  Read_Body();
}

// The head's sizes, its syntax (Beast's parser) and what the request may carry; 0 when it
// is taken, else the status of the refusal.
int Http_Connection::Check_Header(std::size_t length) {
  const std::string_view head(static_cast<const char*>(buffer_.data().data()), length);
  const std::size_t line_end = head.find("\r\n");
  if (line_end > limits_.max_request_line) return 414;
  if (length - line_end - 4 > limits_.max_header_block) return 431;
  parser_.emplace();
  parser_->eager(false);
  parser_->header_limit(static_cast<std::uint32_t>(length + 1));
  // A declared length over the cap is answered below (413, not the parser's 400).
  parser_->body_limit(std::numeric_limits<std::uint64_t>::max());
  beast::error_code error;
  const std::size_t used = parser_->put(net::buffer(head), error);
  if (error || !parser_->is_header_done()) return 400;
  buffer_.consume(used);
  const auto& message = parser_->get();
  request_.method = std::string(message.method_string());
  request_.target = std::string(message.target());
  for (const auto& field : message) {
    if (request_.headers.size() == limits_.max_headers) return 431;
    request_.headers.emplace_back(std::string(field.name_string()), std::string(field.value()));
  }
  if (request_.target.empty() || request_.target.front() != '/') return 400;
  const auto question = request_.target.find('?');
  request_.path = Percent_Decode(std::string_view(request_.target).substr(0, question), false);
  if (question != std::string::npos) request_.params = Parse_Query(std::string_view(request_.target).substr(question + 1));
  request_.client_address = Client_Address(peer_, trusted_, request_.headers);
  if (!Is_Method_Taken(request_.method)) return 405;
  const bool declared = request_.Has_Header("Content-Length") || request_.Has_Header("Transfer-Encoding");
  if (request_.method != "POST") {
    // A body on GET or HEAD may hide a second request: refused, never read.
    if (request_.Has_Header("Transfer-Encoding") || parser_->content_length().value_or(0) > 0) return 400;
  } else if (!declared || request_.Has_Header("Transfer-Encoding")) {
    return 411;  // only a body of declared length is taken
  } else if (*parser_->content_length() > limits_.max_body) {
    return 413;
  }
  for (const auto& [name, value] : request_.params)
    if (!Is_Clean_Text(name) || !Is_Clean_Text(value)) return 400;
  keep_alive_ = message.keep_alive();
  http_1_0_ = message.version() == 10;
  head_only_ = request_.method == "HEAD";
  return 0;
}

void Http_Connection::Read_Body() {
  phase_ = Phase::kBody;
  Set_Deadline(limits_.body_time);
  bhttp::async_read(stream_, buffer_, *parser_, [self = shared_from_this()](beast::error_code error, std::size_t) {
    if (self->phase_ != Phase::kBody) return;
    if (error) return self->Close();
    self->request_.body = beast::buffers_to_string(self->parser_->get().body().data());
    self->parser_.reset();
    self->Dispatch();
  });
}

// The route runs here, on one of the loop's threads: the other threads go on serving the
// other connections meanwhile, and no hop to another thread delays the answer.
void Http_Connection::Dispatch() {
  phase_ = Phase::kHandling;
  Set_Deadline(std::chrono::milliseconds::zero());
  Http_Response response;
  core_->Handle(request_, response);
  Send(std::move(response));
}

void Http_Connection::Refuse(int status) {
  Http_Response response;
  core_->Refuse(request_, response, status);
  response.close = true;
  if (status == 405) response.Set_Header("Allow", "GET, HEAD, POST");
  head_only_ = request_.method == "HEAD";
  Send(std::move(response));
}

void Http_Connection::Send(Http_Response response) {
  if (phase_ == Phase::kClosed) return;
  phase_ = Phase::kSending;
  response_ = std::move(response);
  if (response_.status >= 400 && response_.body.empty() && !response_.file)
    core_->Refuse(request_, response_, response_.status);
  if (response_.close || core_->Stopping()) keep_alive_ = false;
  const std::uint64_t length = response_.file ? response_.file->length : response_.body.size();
  head_ = "HTTP/1.1 " + std::to_string(response_.status) + " " +
          std::string(bhttp::obsolete_reason(static_cast<bhttp::status>(response_.status))) + "\r\n";
  for (const auto& [name, value] : response_.headers) head_ += name + ": " + value + "\r\n";
  if (Has_Body(response_.status)) head_ += "Content-Length: " + std::to_string(length) + "\r\n";
  if (!keep_alive_) head_ += "Connection: close\r\n";
  else if (http_1_0_) head_ += "Connection: keep-alive\r\n";
  head_ += "\r\n";
  if (head_only_ || !Has_Body(response_.status)) {
    response_.body.clear();
    response_.file.reset();
  }
  head_sent_ = false;
  body_sent_ = 0;
  Send_Next();
}

// Each piece has its own deadline: a slow reader holds a connection and one piece, no thread.
void Http_Connection::Send_Next() {
  std::vector<net::const_buffer> buffers;
  if (!head_sent_) buffers.push_back(net::buffer(head_));
  if (response_.file) {
    const std::uint64_t left = response_.file->length - body_sent_;
    piece_.resize(static_cast<std::size_t>(std::min<std::uint64_t>(left, kPiece)));
    if (!piece_.empty()) {
      const ssize_t got = ::pread(response_.file->file->get(), piece_.data(), piece_.size(),
                                  static_cast<off_t>(response_.file->offset + body_sent_));
      if (got <= 0) return Close();  // the file shrank under us: the client sees a short answer
      piece_.resize(static_cast<std::size_t>(got));
      buffers.push_back(net::buffer(piece_));
    }
  } else if (body_sent_ < response_.body.size()) {
    const std::size_t size = std::min<std::size_t>(response_.body.size() - body_sent_, kPiece);
    buffers.push_back(net::buffer(response_.body.data() + body_sent_, size));
  }
  if (buffers.empty()) return Finish();
  const std::size_t body_bytes = net::buffer_size(buffers) - (head_sent_ ? 0 : head_.size());
  head_sent_ = true;
  Set_Deadline(limits_.send_time);
  net::async_write(stream_, buffers, [self = shared_from_this(), body_bytes](beast::error_code error, std::size_t) {
    if (error) return self->Close();
    self->body_sent_ += body_bytes;
    self->Send_Next();
  });
}

void Http_Connection::Finish() {
  response_ = Http_Response{};
  parser_.reset();
  if (keep_alive_ && !core_->Stopping()) Read_Header();
  else Linger();
}

void Http_Connection::Linger() {
  phase_ = Phase::kLingering;
  beast::error_code ignored;
  stream_.shutdown(tcp::socket::shutdown_send, ignored);
  Set_Deadline(kLingerTime);
  piece_.resize(kPiece);
  Drain();
}

void Http_Connection::Drain() {
  stream_.async_read_some(net::buffer(piece_), [self = shared_from_this()](beast::error_code error, std::size_t got) {
    self->drained_ += got;
    if (error || self->drained_ > kLingerBytes) return self->Close();
    self->Drain();
  });
}

void Http_Connection::Close() {
  if (phase_ == Phase::kClosed) return;
  phase_ = Phase::kClosed;
  beast::error_code ignored;
  stream_.shutdown(tcp::socket::shutdown_both, ignored);
  stream_.close(ignored);
}

void Http_Connection::Set_Deadline(std::chrono::milliseconds time) {
  deadline_ns_ = time.count() == 0 ? 0 : Steady_Ns() + std::chrono::nanoseconds(time).count();
}

// Called by the core's sweep, on this connection's strand.
void Http_Connection::Check_Deadline(std::int64_t now_ns) {
  const std::int64_t deadline = deadline_ns_;
  if (deadline != 0 && deadline <= now_ns) Close();
}
