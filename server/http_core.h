// Inside the HTTP layer: what every connection shares (the event loop and its threads, the
// limits and the count of connections per address) and one connection's state machine.
#pragma once

#include "server/http_server.h"

#include <boost/asio.hpp>
#include <boost/beast/core.hpp>
#include <boost/beast/http.hpp>

#include <atomic>
#include <mutex>
#include <optional>
#include <unordered_map>

namespace net = boost::asio;
namespace beast = boost::beast;
namespace bhttp = boost::beast::http;
using tcp = net::ip::tcp;

class Http_Connection;

class Http_Server::Core : public std::enable_shared_from_this<Http_Server::Core> {
 public:
  explicit Core(Http_Setup setup_in);

  void Accept();
  // Every tenth of a second: connections past their deadline are closed.
  void Sweep();
  void Stop();
  // Runs the route on the calling thread; an exception becomes a 500.
  void Handle(const Http_Request& request, Http_Response& response) const;
  // The body of an answer the layer gives itself.
  void Refuse(const Http_Request& request, Http_Response& response, int status) const;
  void Forget(const Http_Connection* connection, const std::string& peer, bool counted_for_address);
  bool Stopping() const { return stopping.load(); }

  Http_Setup setup;
  std::atomic<bool> stopping{false};
  std::atomic<bool> serving{false};

 private:
  void Admit(tcp::socket socket);

  std::mutex mutex_;  // guards what follows
  std::size_t open_ = 0;
  std::unordered_map<std::string, std::size_t> per_address_;
  std::unordered_map<const Http_Connection*, std::weak_ptr<Http_Connection>> connections_;

 public:
  // Declared last: destroyed first, while the count above is still there for connections
  // that the loop's destruction ends.
  net::io_context io;
  tcp::acceptor acceptor;
  net::steady_timer accept_pause;
  net::steady_timer sweep_timer;
};

class Http_Connection : public std::enable_shared_from_this<Http_Connection> {
 public:
  Http_Connection(std::shared_ptr<Http_Server::Core> core, tcp::socket socket, std::string peer, bool trusted,
                  bool counted_for_address);
  ~Http_Connection();
  void Start();
  // On the connection's strand: ends it unless a request is being answered.
  void Stop();
  net::any_io_executor Executor() { return stream_.get_executor(); }
  // Closes the connection when its deadline has passed.
  void Check_Deadline(std::int64_t now_ns);
  std::int64_t Deadline_Ns() const { return deadline_ns_; }

 private:
  enum class Phase { kWaiting, kBody, kHandling, kSending, kLingering, kClosed };

  void Read_Header();
  void Read_Head_Bytes();
  void On_Header(beast::error_code error, std::size_t length);
  int Check_Header(std::size_t length);
  void Read_Body();
  void Dispatch();
  void Send(Http_Response response);
  void Send_Next();
  void Finish();
  void Refuse(int status);
  void Linger();
  void Drain();
  void Close();
  // From now on; zero: none. The core's sweep enforces it.
  void Set_Deadline(std::chrono::milliseconds time);

  std::shared_ptr<Http_Server::Core> core_;
  const Http_Limits& limits_;
  tcp::socket stream_;
  std::atomic<std::int64_t> deadline_ns_{0};  // steady clock; 0: none
  beast::flat_buffer buffer_;
  std::optional<bhttp::request_parser<bhttp::dynamic_body>> parser_;
  std::string peer_;
  bool trusted_;
  bool counted_for_address_;
  Phase phase_ = Phase::kWaiting;
  bool keep_alive_ = false;
  bool http_1_0_ = false;
  bool head_only_ = false;
  Http_Request request_;
  Http_Response response_;
  std::string head_;
  bool head_sent_ = false;
  std::uint64_t body_sent_ = 0;
  std::vector<char> piece_;
  std::size_t searched_ = 0;  // the head's end is not before this offset of buffer_
  std::size_t drained_ = 0;
};
