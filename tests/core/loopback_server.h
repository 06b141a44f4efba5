// An HTTP server on 127.0.0.1 for the transfer, update and window tests: it keeps the raw
// bytes of every request it receives and answers each one as the test's script says (an
// answer, a closed connection, silence until the test ends, or an answer dripped one byte at
// a time), or serves bodies by path. Its connections may be wrapped (in TLS, tls_stream.h).
#pragma once

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

// The bytes of one accepted connection.
class Loopback_Stream {
 public:
  virtual ~Loopback_Stream() = default;
  // Like recv: the count received, 0 at the end, less on an error.
  virtual long Receive(char* data, std::size_t size) = 0;
  // False when the peer is gone.
  virtual bool Send(const std::string& bytes) = 0;
};

class Plain_Stream : public Loopback_Stream {
 public:
  explicit Plain_Stream(int fd) : fd_(fd) {}
  long Receive(char* data, std::size_t size) override { return ::recv(fd_, data, size, 0); }
  bool Send(const std::string& bytes) override {
    return ::send(fd_, bytes.data(), bytes.size(), MSG_NOSIGNAL) == static_cast<ssize_t>(bytes.size());
  }

 private:
  int fd_;
};

class Loopback_Server {
 public:
  // Answer_Then_Drip: the bytes, then one more byte every drip until the test ends.
  enum class Mode { Answer, Close, Silent, Answer_Then_Silent, Answer_Then_Drip };
  struct Reply {
    Mode mode = Mode::Answer;
    std::string bytes;  // sent as they are (status line, headers, body)
    std::chrono::milliseconds drip{0};
  };
  // Makes the stream of an accepted connection.
  using Stream_Maker = std::function<std::unique_ptr<Loopback_Stream>(int fd)>;
  using Script = std::function<Reply(const std::string& request)>;

  // An answer with status 200 and body.
  static Reply Ok(const std::string& body) {
    return {Mode::Answer, "HTTP/1.1 200 OK\r\nContent-Length: " + std::to_string(body.size()) +
                              "\r\nConnection: close\r\n\r\n" + body};
  }

  static Reply Not_Found() {
    return {Mode::Answer, "HTTP/1.1 404 Not Found\r\nContent-Length: 0\r\nConnection: close\r\n\r\n"};
  }

  // The target of a request line ("/path?query").
  static std::string Target(const std::string& request) {
    const std::size_t from = request.find(' ');
    const std::size_t to = from == std::string::npos ? from : request.find(' ', from + 1);
    return to == std::string::npos ? std::string() : request.substr(from + 1, to - from - 1);
  }

  // A script that answers each path (the query aside) with its body, and anything else with 404.
  static Script Serve(std::map<std::string, std::string> bodies) {
    return [bodies = std::move(bodies)](const std::string& request) {
      const std::string target = Target(request);
      const auto found = bodies.find(target.substr(0, target.find('?')));
      return found == bodies.end() ? Not_Found() : Ok(found->second);
    };
  }

  explicit Loopback_Server(Script script = [](const std::string&) { return Ok(""); }, Stream_Maker streams = {})
      : script_(std::move(script)), streams_(std::move(streams)) {
    listener_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    ::bind(listener_, reinterpret_cast<sockaddr*>(&address), sizeof address);
    ::listen(listener_, 16);
    ::getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &length);
    port_ = ntohs(address.sin_port);
    acceptor_ = std::thread([this] { Accept_Loop(); });
  }
  Loopback_Server(const Loopback_Server&) = delete;
  Loopback_Server& operator=(const Loopback_Server&) = delete;
  ~Loopback_Server() {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      stopping_ = true;
      for (int fd : clients_) ::shutdown(fd, SHUT_RDWR);
    }
    wake_.notify_all();
    acceptor_.join();
    for (auto& worker : workers_) worker.join();
    ::close(listener_);
  }

  std::string host() const { return "127.0.0.1:" + std::to_string(port_); }
  std::string url(const std::string& path) const { return "http://" + host() + path; }
  void Set_Script(Script script) {
    std::lock_guard<std::mutex> lock(mutex_);
    script_ = std::move(script);
  }
  std::vector<std::string> Requests() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return requests_;
  }

 private:
  void Accept_Loop() {
    for (;;) {
      pollfd waiting{listener_, POLLIN, 0};
      ::poll(&waiting, 1, 20);
      std::lock_guard<std::mutex> lock(mutex_);
      if (stopping_) return;
      if ((waiting.revents & POLLIN) == 0) continue;
      const int client = ::accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
      if (client < 0) continue;
      clients_.push_back(client);
      workers_.emplace_back([this, client] { Serve(client); });
    }
  }

  // Reads one request: the header block, then as many body bytes as Content-Length says.
  static std::string Read_Request(Loopback_Stream& stream) {
    std::string bytes;
    char block[65536];
    std::size_t wanted = std::string::npos;
    while (bytes.size() < wanted) {
      const long n = stream.Receive(block, sizeof block);
      if (n <= 0) break;
      bytes.append(block, static_cast<std::size_t>(n));
      const std::size_t end = bytes.find("\r\n\r\n");
      if (end != std::string::npos && wanted == std::string::npos) wanted = end + 4 + Content_Length(bytes.substr(0, end));
    }
    return bytes;
  }

  static std::size_t Content_Length(std::string head) {
    std::transform(head.begin(), head.end(), head.begin(), [](unsigned char c) { return std::tolower(c); });
    const std::size_t at = head.find("\r\ncontent-length:");
    return at == std::string::npos ? 0 : std::stoul(head.substr(at + 17));
  }

  void Serve(int fd) {
    {
      std::unique_ptr<Loopback_Stream> stream = streams_ ? streams_(fd) : std::make_unique<Plain_Stream>(fd);
      Answer(*stream);
    }
    std::lock_guard<std::mutex> lock(mutex_);
    clients_.erase(std::find(clients_.begin(), clients_.end(), fd));
    ::close(fd);
  }

  void Answer(Loopback_Stream& stream) {
    const std::string request = Read_Request(stream);
    Reply reply;
    {
      std::lock_guard<std::mutex> lock(mutex_);
      requests_.push_back(request);
      reply = script_(request);
    }
    if (reply.mode != Mode::Close && reply.mode != Mode::Silent) stream.Send(reply.bytes);
    if (reply.mode == Mode::Answer || reply.mode == Mode::Close) return;
    std::unique_lock<std::mutex> lock(mutex_);
    const auto interval = reply.mode == Mode::Answer_Then_Drip ? reply.drip : std::chrono::hours(1);
    while (!wake_.wait_for(lock, interval, [this] { return stopping_; }))
      if (reply.mode == Mode::Answer_Then_Drip && !stream.Send("x")) return;
  }

  Script script_;
  Stream_Maker streams_;
  int listener_ = -1;
  int port_ = 0;
  mutable std::mutex mutex_;
  std::condition_variable wake_;
  bool stopping_ = false;
  std::vector<int> clients_;
  std::vector<std::string> requests_;
  std::thread acceptor_;
  std::vector<std::thread> workers_;
};
