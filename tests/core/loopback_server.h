// An HTTP server on 127.0.0.1 for the transfer, update and window tests: it keeps the raw
// bytes of every request it receives and answers each one as the test's script says (an
// answer, a closed connection, or silence until the test ends), or serves bodies by path.
#pragma once

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <condition_variable>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

class Loopback_Server {
 public:
  enum class Mode { Answer, Close, Silent, Answer_Then_Silent };
  struct Reply {
    Mode mode = Mode::Answer;
    std::string bytes;  // sent as they are (status line, headers, body)
  };
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

  explicit Loopback_Server(Script script = [](const std::string&) { return Ok(""); }) : script_(std::move(script)) {
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
  static std::string Read_Request(int fd) {
    std::string bytes;
    char block[65536];
    std::size_t wanted = std::string::npos;
    while (bytes.size() < wanted) {
      const ssize_t n = ::recv(fd, block, sizeof block, 0);
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
    const std::string request = Read_Request(fd);
    Reply reply;
    {
      std::lock_guard<std::mutex> lock(mutex_);
      requests_.push_back(request);
      reply = script_(request);
    }
    if (reply.mode == Mode::Answer || reply.mode == Mode::Answer_Then_Silent)
      ::send(fd, reply.bytes.data(), reply.bytes.size(), MSG_NOSIGNAL);
    if (reply.mode == Mode::Silent || reply.mode == Mode::Answer_Then_Silent) {
      std::unique_lock<std::mutex> lock(mutex_);
      wake_.wait(lock, [this] { return stopping_; });
    }
    std::lock_guard<std::mutex> lock(mutex_);
    clients_.erase(std::find(clients_.begin(), clients_.end(), fd));
    ::close(fd);
  }

  Script script_;
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
