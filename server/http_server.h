// The results server's HTTP/1.1 layer: event-driven connections (a waiting or slow client
// costs no thread), absolute deadlines, size caps and connections per address; the loop's
// threads run the routes, one request at a time per connection.
#pragma once

#include "server/http_types.h"

#include <chrono>
#include <cstddef>
#include <memory>
#include <string>
#include <vector>

struct Http_Limits {
  std::chrono::milliseconds header_time{10000};  // from waiting for a request to its blank line
  std::chrono::milliseconds body_time{60000};    // for the whole body after that
  std::chrono::milliseconds send_time{30000};    // for each 64 KiB of an answer to be taken
  std::size_t max_request_line = 8 * 1024;       // longer: 414
  std::size_t max_header_block = 32 * 1024;      // larger, or more headers: 431
  std::size_t max_headers = 100;
  std::size_t max_body = 1 << 20;                // larger: 413
  std::size_t max_connections = 10000;           // lowered to what the open-file limit allows
  std::size_t connections_per_address = 32;      // not counted for trusted proxies
};

struct Http_Setup {
  Http_Limits limits;
  int workers = 64;                          // the loop's threads: routes running at once
  std::vector<std::string> trusted_proxies;  // addresses whose X-Forwarded-For is believed
  Http_Handler handler;                      // every request that passed the checks
  // Fills the body of an answer the layer gives itself (status set: 400, 404, 411, 413, 414,
  // 431, 500, ...); the request may have only its path.
  Http_Handler refusal;
};

class Http_Server {
 public:
  explicit Http_Server(Http_Setup setup);
  ~Http_Server();
  Http_Server(const Http_Server&) = delete;
  Http_Server& operator=(const Http_Server&) = delete;

  // Listens on host:port (port 0: any free port) and returns the port. Throws
  // std::runtime_error naming the address and the reason.
  int Bind(const std::string& host, int port);
  // Serves until Stop(), also one called before: stops taking connections, closes those
  // waiting for a request or sending one, and answers every request already taken.
  void Run();
  void Stop();
  bool Is_Serving() const;

  class Core;

 private:
  std::shared_ptr<Core> core_;
};
