// The listening side of the HTTP layer: accepting within the connection caps, the event
// loop's threads (as many as routes may run at once: a waiting connection holds none), and
// a stop that lets every request already taken be answered.
#include "server/http_core.h"

#include "server/client_address.h"

#include <sys/resource.h>

#include <algorithm>
#include <cstring>
#include <iostream>
#include <stdexcept>
#include <thread>

namespace {

// File descriptors kept free of connections: the database, the files under www/, logs.
constexpr std::size_t kSpareDescriptors = 64;

std::size_t Connections_Allowed(std::size_t wanted) {
  rlimit limit{};
  if (::getrlimit(RLIMIT_NOFILE, &limit) != 0 || limit.rlim_cur == RLIM_INFINITY) return wanted;
  const std::size_t files = static_cast<std::size_t>(limit.rlim_cur);
  return std::min(wanted, files > 2 * kSpareDescriptors ? files - kSpareDescriptors : files / 2);
}

}  // namespace

Http_Server::Core::Core(Http_Setup setup_in)
    : setup(std::move(setup_in)),
      io(std::max(1, setup.workers)),
      acceptor(io),
      accept_pause(io),
      sweep_timer(io) {
  setup.limits.max_connections = Connections_Allowed(setup.limits.max_connections);
  for (std::string& address : setup.trusted_proxies) address = Address_Text(address);
}

void Http_Server::Core::Accept() {
  acceptor.async_accept(net::make_strand(io), [self = shared_from_this()](beast::error_code error, tcp::socket socket) {
    if (error == net::error::operation_aborted || !self->acceptor.is_open()) return;
    if (error) {  // out of descriptors, say: try again shortly rather than spin
      self->accept_pause.expires_after(std::chrono::milliseconds(50));
      self->accept_pause.async_wait([self](beast::error_code) {
        if (self->acceptor.is_open()) self->Accept();
      });
      return;
    }
    self->Admit(std::move(socket));
    self->Accept();
  });
}

// Over a cap, the connection is closed at once: it costs nothing while the others are served.
void Http_Server::Core::Admit(tcp::socket socket) {
  beast::error_code error;
  const tcp::endpoint remote = socket.remote_endpoint(error);
  if (error) return;
  const std::string peer = Address_Text(remote.address().to_string());
  const bool trusted = std::find(setup.trusted_proxies.begin(), setup.trusted_proxies.end(), peer) !=
                       setup.trusted_proxies.end();
  {
    std::lock_guard lock(mutex_);
    if (open_ >= setup.limits.max_connections) return;
    if (!trusted && per_address_[peer] >= setup.limits.connections_per_address) return;
    ++open_;
    if (!trusted) ++per_address_[peer];
  }
  socket.set_option(tcp::no_delay(true), error);
  auto connection = std::make_shared<Http_Connection>(shared_from_this(), std::move(socket), peer, trusted, !trusted);
  {
    std::lock_guard lock(mutex_);
    connections_.emplace(connection.get(), connection);
  }
  connection->Start();
}

// One timer for all deadlines: a read or write costs no timer of its own. It goes on while
// stopping until the last connection has ended.
void Http_Server::Core::Sweep() {
  sweep_timer.expires_after(std::chrono::milliseconds(100));
  sweep_timer.async_wait([self = shared_from_this()](beast::error_code error) {
    if (error) return;
    const std::int64_t now = std::chrono::duration_cast<std::chrono::nanoseconds>(
                                 std::chrono::steady_clock::now().time_since_epoch()).count();
    std::vector<std::shared_ptr<Http_Connection>> late;
    {
      std::lock_guard lock(self->mutex_);
      for (auto& [key, weak] : self->connections_) {
        const std::int64_t deadline = key->Deadline_Ns();
        if (deadline != 0 && deadline <= now)
          if (auto connection = weak.lock()) late.push_back(std::move(connection));
      }
    }
    for (auto& connection : late)
      net::post(connection->Executor(), [connection, now] { connection->Check_Deadline(now); });
    bool done = false;
    {
      std::lock_guard lock(self->mutex_);
      done = self->Stopping() && self->connections_.empty();  // the loop may end now
    }
    if (!done) self->Sweep();
  });
}

void Http_Server::Core::Forget(const Http_Connection* connection, const std::string& peer, bool counted_for_address) {
  std::lock_guard lock(mutex_);
  connections_.erase(connection);
  --open_;
  if (!counted_for_address) return;
  const auto found = per_address_.find(peer);
  if (found != per_address_.end() && --found->second == 0) per_address_.erase(found);
}

void Http_Server::Core::Stop() {
  net::post(io, [self = shared_from_this()] {
    self->stopping = true;
    beast::error_code ignored;
    self->acceptor.close(ignored);
    self->accept_pause.cancel();
    std::vector<std::shared_ptr<Http_Connection>> open;
    {
      std::lock_guard lock(self->mutex_);
      for (auto& [key, weak] : self->connections_)
        if (auto connection = weak.lock()) open.push_back(std::move(connection));
    }
    for (auto& connection : open) net::post(connection->Executor(), [connection] { connection->Stop(); });
  });
}

void Http_Server::Core::Handle(const Http_Request& request, Http_Response& response) const {
  try {
    setup.handler(request, response);
  } catch (const std::exception& error) {
    std::cerr << "platterscope-server: " << request.path << ": " << error.what() << "\n";
    response = Http_Response{};
    Refuse(request, response, 500);
  }
}

void Http_Server::Core::Refuse(const Http_Request& request, Http_Response& response, int status) const {
  response.status = status;
  response.body.clear();
  response.file.reset();
  if (setup.refusal) setup.refusal(request, response);
}

Http_Server::Http_Server(Http_Setup setup) : core_(std::make_shared<Core>(std::move(setup))) {}

Http_Server::~Http_Server() = default;

int Http_Server::Bind(const std::string& host, int port) {
  beast::error_code error;
  const net::ip::address address = net::ip::make_address(host, error);
  if (error) throw std::runtime_error("Cannot listen on " + host + ": not an IP address");
  const tcp::endpoint endpoint(address, static_cast<unsigned short>(port));
  auto& acceptor = core_->acceptor;
  acceptor.open(endpoint.protocol(), error);
  if (!error) acceptor.set_option(net::socket_base::reuse_address(true), error);
  if (!error) acceptor.bind(endpoint, error);
  if (!error) acceptor.listen(1024, error);
  if (error)
    throw std::runtime_error("Cannot listen on " + host + ":" + std::to_string(port) + ": " + error.message());
  core_->Accept();
  core_->Sweep();
  return acceptor.local_endpoint().port();
}

void Http_Server::Run() {
  core_->serving = true;
  std::vector<std::thread> threads;
  for (int i = 1; i < core_->setup.workers; ++i) threads.emplace_back([this] { core_->io.run(); });
  core_->io.run();
  for (std::thread& thread : threads) thread.join();
  core_->serving = false;
}

void Http_Server::Stop() { core_->Stop(); }

bool Http_Server::Is_Serving() const { return core_->serving && !core_->Stopping(); }
