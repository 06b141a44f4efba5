// The attacks of the server benchmark, on plain sockets: each attacker runs in its own thread
// (the slow connections in one) until the time is up, beside four honest clients.
#include "attacks.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

int Connect(const Attack_Options& options, const std::string& source) {
  const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in local{}, remote{};
  local.sin_family = remote.sin_family = AF_INET;
  ::inet_pton(AF_INET, source.c_str(), &local.sin_addr);
  ::inet_pton(AF_INET, options.address.c_str(), &remote.sin_addr);
  remote.sin_port = htons(static_cast<uint16_t>(options.port));
  timeval timeout{10, 0};
  ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof timeout);
  if ((source.empty() || ::bind(fd, reinterpret_cast<sockaddr*>(&local), sizeof local) == 0) &&
      ::connect(fd, reinterpret_cast<sockaddr*>(&remote), sizeof remote) == 0)
    return fd;
  ::close(fd);
  return -1;
}

bool Send(int fd, const std::string& bytes) {
  return ::send(fd, bytes.data(), bytes.size(), MSG_NOSIGNAL) == static_cast<ssize_t>(bytes.size());
}

// The loopback address of attacker n: attackers are other clients than the honest ones,
// which come from 127.0.0.1.
std::string Attacker_Address(int n) { return "127.0.1." + std::to_string(1 + n % 200); }

// Sends a request that asks the server to close, and reads the whole answer.
std::string Exchange(const Attack_Options& options, const std::string& request, const std::string& source = "") {
  const int fd = Connect(options, source);
  std::string answer;
  if (fd >= 0 && Send(fd, request)) {
    char buffer[65536];
    ssize_t got;
    while ((got = ::recv(fd, buffer, sizeof buffer, 0)) > 0) answer.append(buffer, static_cast<std::size_t>(got));
  }
  if (fd >= 0) ::close(fd);
  return answer;
}

std::string Get_Request(const std::string& path, const std::string& extra = "") {
  return "GET " + path + " HTTP/1.1\r\nHost: bench\r\n" + extra + "Connection: close\r\n\r\n";
}

// Keeps the connections open, reopening those the server closed; every second the even ones
// send one more header line, the odd ones nothing.
void Slow_Connections(const Attack_Options& options, Clock::time_point until, std::atomic<long>& reopened) {
  std::vector<int> fds(static_cast<std::size_t>(options.attackers), -1);
  auto source = [](std::size_t n) { return "127.0.0." + std::to_string(2 + n % 40); };
  while (Clock::now() < until) {
    for (std::size_t n = 0; n < fds.size(); ++n) {
      char byte;
      if (fds[n] >= 0 && ::recv(fds[n], &byte, 1, MSG_DONTWAIT) == 0) {
        ::close(fds[n]);
        fds[n] = -1;
        ++reopened;
      }
      if (fds[n] < 0 && (fds[n] = Connect(options, source(n))) >= 0 && n % 2 == 0) Send(fds[n], "GET / HTTP/1.1\r\n");
      else if (fds[n] >= 0 && n % 2 == 0) Send(fds[n], "X-Slow: 1\r\n");
    }
    std::this_thread::sleep_for(std::chrono::seconds(1));
  }
  for (int fd : fds)
    if (fd >= 0) ::close(fd);
}

void Flood(const Attack_Options& options, int n, Clock::time_point until, std::atomic<long>& refused) {
  const std::string line = "X-Flood: " + std::string(16 * 1024, 'h') + "\r\n";
  while (Clock::now() < until) {
    const int fd = Connect(options, Attacker_Address(n));
    if (fd < 0) continue;
    Send(fd, "GET / HTTP/1.1\r\n");
    while (Clock::now() < until && Send(fd, line)) {
    }
    if (Clock::now() < until) ++refused;  // the server ended it
    ::close(fd);
  }
}

void Ranges(const Attack_Options& options, int attacker, Clock::time_point until, std::atomic<long>& largest) {
  std::string ranges = "Range: bytes=0-";
  for (int n = 0; n < 2700; ++n) ranges += ",0-";
  ranges += "\r\n";
  for (int n = 0; Clock::now() < until; ++n) {
    const long size = static_cast<long>(Exchange(options, Get_Request(n % 2 ? "/" : "/news/index.html", ranges), Attacker_Address(attacker)).size());
    long before = largest.load();
    while (size > before && !largest.compare_exchange_weak(before, size)) {
    }
  }
}

// "{n}" in the path becomes a running number: made-up names that no cache can hold.
void Costly(const Attack_Options& options, int n, Clock::time_point until, std::atomic<long>& answered) {
  static std::atomic<long> number{0};
  const auto mark = options.path.find("{n}");
  while (Clock::now() < until) {
    std::string path = options.path;
    if (mark != std::string::npos) path.replace(mark, 3, std::to_string(number++));
    if (!Exchange(options, Get_Request(path), Attacker_Address(n)).empty()) ++answered;
  }
}

}  // namespace

bool Run_Attack(const Attack_Options& options) {
  const auto start = Clock::now();
  const auto until = start + std::chrono::seconds(options.seconds);
  std::atomic<long> count{0};
  std::vector<std::thread> attackers;
  if (options.kind == "slow") attackers.emplace_back(Slow_Connections, std::cref(options), until, std::ref(count));
  for (int n = 0; options.kind != "slow" && n < options.attackers; ++n) {
    if (options.kind == "flood") attackers.emplace_back(Flood, std::cref(options), n, until, std::ref(count));
    else if (options.kind == "range") attackers.emplace_back(Ranges, std::cref(options), n, until, std::ref(count));
    else attackers.emplace_back(Costly, std::cref(options), n, until, std::ref(count));
  }
  std::this_thread::sleep_for(std::chrono::seconds(2));  // the attack in place first
  std::mutex mutex;
  std::vector<double> latencies;
  long failed = 0;
  std::vector<std::thread> honest;
  for (int n = 0; n < 4; ++n) {
    honest.emplace_back([&] {
      while (Clock::now() < until) {
        const auto sent = Clock::now();
        const bool ok = Exchange(options, Get_Request(options.probe)).rfind("HTTP/1.1 200", 0) == 0;
        const double ms = std::chrono::duration<double, std::milli>(Clock::now() - sent).count();
        std::lock_guard lock(mutex);
        if (ok) latencies.push_back(ms);
        else ++failed;
      }
    });
  }
  for (auto& thread : honest) thread.join();
  for (auto& thread : attackers) thread.join();
  std::sort(latencies.begin(), latencies.end());
  auto at = [&](double p) { return latencies.empty() ? 0.0 : latencies[static_cast<std::size_t>(p * (latencies.size() - 1))]; };
  const double seconds = std::chrono::duration<double>(until - start).count() - 2;
  const char* what = options.kind == "slow"    ? "connections closed by the server"
                     : options.kind == "flood" ? "floods cut off"
                     : options.kind == "range" ? "bytes in the largest answer"
                                               : "costly answers";
  std::printf("%s, %d attackers: honest %s %.0f per second, p50 %.1f ms, p99 %.1f ms, %ld failed; %s: %ld\n",
              options.kind.c_str(), options.attackers, options.probe.c_str(), latencies.size() / seconds, at(0.5),
              at(0.99), failed, what, count.load());
  return failed == 0;
}
