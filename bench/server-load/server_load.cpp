// Load generator for the results server: many clients posting real report bodies (composed
// by the program's own code), reading /compare pages, or asking for one path; reports the
// rate and latency.
//   platterscope-server-load upload  --server HOST:PORT [--clients 64] [--seconds 20 | --count N]
//                                    [--first N] [--models 200] [--program-like] [--keys FILE]
//   platterscope-server-load compare --server HOST:PORT [--clients 16] [--seconds 20] --keys FILE
//   platterscope-server-load get     --server HOST:PORT --path PATH [--clients 16] [--seconds 20]
// --keys: upload writes the view keys the server answers to FILE, compare opens the pages of
// those keys. --from ADDRESS: the clients' own address (127.0.0.2 and up for another client).
// A 429 is counted as "limited", not as a failure.
//   platterscope-server-load attack  --server HOST:PORT --kind slow|flood|range|costly --attackers N
//                                    [--seconds 20] [--path P] [--probe P]   (see attacks.h)
#include "attacks.h"
#include "report_composer.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QLocale>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <mutex>
#include <random>
#include <string>
#include <thread>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

struct Options {
  std::string mode, address = "127.0.0.1", host, keys_file, from, path;
  int port = 0, clients = 0, seconds = 20, models = 200;
  long count = 0, first = 0;
  bool program_like = false;
  std::vector<std::string> keys;  // the pages compare opens
};

// One keep-alive connection; false from Exchange when it broke (it is then reopened). Each
// client has a loopback address of its own, as many clients would (the server caps the
// connections of one address), unless --from names one address for them all.
class Connection {
 public:
  Connection(const Options& options, int client)
      : options_(options),
        source_(options.from.empty() ? "127.0.0." + std::to_string(2 + client % 200) : options.from) {}
  ~Connection() { Close(); }
  // A kept-alive connection that the server closed in between is opened again once.
  bool Exchange(const std::string& request, int& status, std::string& body) {
    for (int attempt = 0; attempt < 2; ++attempt) {
      const bool reused = fd_ >= 0;
      if (!reused && !Open()) return false;
      if (::send(fd_, request.data(), request.size(), MSG_NOSIGNAL) == static_cast<ssize_t>(request.size()) &&
          Read_Answer(status, body))
        return true;
      const bool nothing_read = buffer_.empty();
      Close();
      if (!reused || !nothing_read) return false;
    }
    return false;
  }
  void Close() {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
    buffer_.clear();
  }

 private:
  bool Open() {
    fd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<uint16_t>(options_.port));
    ::inet_pton(AF_INET, options_.address.c_str(), &address.sin_addr);
    sockaddr_in local{};
    local.sin_family = AF_INET;
    ::inet_pton(AF_INET, source_.c_str(), &local.sin_addr);
    if (options_.address.rfind("127.", 0) == 0) ::bind(fd_, reinterpret_cast<sockaddr*>(&local), sizeof local);
    const int on = 1;
    ::setsockopt(fd_, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
    timeval timeout{30, 0};
    ::setsockopt(fd_, SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof timeout);
    if (::connect(fd_, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0) return true;
    Close();
    return false;
  }
  // Status line, headers up to the blank line, then Content-Length bytes of body.
  bool Read_Answer(int& status, std::string& body) {
    std::size_t end;
    while ((end = buffer_.find("\r\n\r\n")) == std::string::npos)
      if (!Fill()) return false;
    status = std::atoi(buffer_.c_str() + 9);
    std::string head = buffer_.substr(0, end);
    for (char& c : head) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    const auto at = head.find("content-length:");
    const std::size_t length = at == std::string::npos ? 0 : std::stoul(head.substr(at + 15));
    while (buffer_.size() < end + 4 + length)
      if (!Fill()) return false;
    body = buffer_.substr(end + 4, length);
    buffer_.erase(0, end + 4 + length);
    if (head.find("connection: close") != std::string::npos) Close();
    return true;
  }
  bool Fill() {
    char chunk[65536];
    const ssize_t got = ::recv(fd_, chunk, sizeof chunk, 0);
    if (got <= 0) return false;
    buffer_.append(chunk, static_cast<std::size_t>(got));
    return true;
  }

  const Options& options_;
  std::string source_;
  int fd_ = -1;
  std::string buffer_;
};

// Report n of the run: its own computer, one of the models, drawn so that a few models
// have most reports, as with real drives (Zipf-like).
Sample_Report Bench_Report(long n, int models) {
  Sample_Report report = Varied_Report(static_cast<int>(n), 1);
  const double u = (static_cast<double>((n * 2654435761L) % 1000003) + 0.5) / 1000003.0;
  const int model = static_cast<int>(std::pow(static_cast<double>(models), u)) - 1;
  report.drive.Model = "Bench Drive " + std::to_string(model);
  return report;
}

std::string Upload_Request(const Options& options, long n) {
  const Upload upload = Compose_Upload(Bench_Report(n, options.models), options.host);
  return "POST /uploadresults2.php?Ver=1.0.0.1&CompId=" + Bench_Report(n, options.models).computer_id +
         " HTTP/1.1\r\nHost: " + options.host + "\r\nContent-Type: " + upload.content_type +
         "\r\nContent-Length: " + std::to_string(upload.body.size()) + "\r\n\r\n" + upload.body;
}

struct Totals {
  std::mutex mutex;
  std::vector<double> latencies_ms;
  std::vector<std::string> keys;
  long done = 0, failed = 0, limited = 0;
};

// The view key after the verdict of an upload's answer; empty when there is none.
std::string View_Key(const std::string& body) {
  const std::string open = "[RESULT]1[/RESULT][VIEW]";
  return body.rfind(open, 0) == 0 && body.size() >= open.size() + 32 ? body.substr(open.size(), 32) : std::string();
}

void Client(const Options& options, int index, std::atomic<long>& next, Clock::time_point until, Totals& totals) {
  Connection connection(options, index);
  std::vector<double> latencies;
  std::vector<std::string> keys;
  long done = 0, failed = 0, limited = 0;
  std::mt19937 random(static_cast<unsigned>(next.load() + reinterpret_cast<std::uintptr_t>(&latencies)));
  while (Clock::now() < until) {
    std::string request, body;
    int status = 0;
    if (options.mode == "upload") {
      const long n = next++;
      if (options.count > 0 && n >= options.first + options.count) break;
      request = Upload_Request(options, n);
    } else if (options.mode == "compare") {
      const auto n = std::uniform_int_distribution<std::size_t>(0, options.keys.size() - 1)(random);
      request = "GET /compare?key=" + options.keys[n] + " HTTP/1.1\r\nHost: " + options.host + "\r\n\r\n";
    } else {
      request = "GET " + options.path + " HTTP/1.1\r\nHost: " + options.host + "\r\n\r\n";
    }
    const auto start = Clock::now();
    bool ok = true;
    if (options.program_like) {  // the program's way: a new connection, the probe, then the POST
      connection.Close();
      ok = connection.Exchange("GET /uploadresults2.php HTTP/1.1\r\nHost: " + options.host + "\r\n\r\n", status, body);
    }
    ok = ok && connection.Exchange(request, status, body);
    const double ms = std::chrono::duration<double, std::milli>(Clock::now() - start).count();
    const bool good = ok && status == 200 && (options.mode != "upload" || body.rfind("[RESULT]1[/RESULT]", 0) == 0);
    if (good) {
      ++done;
      latencies.push_back(ms);
      if (options.mode == "upload" && !View_Key(body).empty()) keys.push_back(View_Key(body));
    } else if (ok && status == 429) {
      ++limited;
      latencies.push_back(ms);
    } else {
      ++failed;
    }
  }
  std::lock_guard lock(totals.mutex);
  totals.done += done;
  totals.failed += failed;
  totals.limited += limited;
  totals.keys.insert(totals.keys.end(), keys.begin(), keys.end());
  totals.latencies_ms.insert(totals.latencies_ms.end(), latencies.begin(), latencies.end());
}

bool Parse(int argc, char** argv, Options& options) {
  if (argc < 2) return false;
  options.mode = argv[1];
  for (int i = 2; i < argc; ++i) {
    const std::string key = argv[i];
    if (key == "--program-like") {
      options.program_like = true;
      continue;
    }
    if (i + 1 == argc) return false;
    const std::string value = argv[++i];
    if (key == "--server") {
      options.host = value;
      options.address = value.substr(0, value.find(':'));
      options.port = std::atoi(value.substr(value.find(':') + 1).c_str());
    } else if (key == "--public-host") options.host = value;
    else if (key == "--clients") options.clients = std::atoi(value.c_str());
    else if (key == "--seconds") options.seconds = std::atoi(value.c_str());
    else if (key == "--count") options.count = std::atol(value.c_str());
    else if (key == "--first") options.first = std::atol(value.c_str());
    else if (key == "--models") options.models = std::atoi(value.c_str());
    else if (key == "--keys") options.keys_file = value;
    else if (key == "--from") options.from = value;
    else if (key == "--path") options.path = value;
    else return false;
  }
  if (options.clients == 0) options.clients = options.mode == "upload" ? 64 : 16;
  if (options.mode == "compare") {
    std::ifstream in(options.keys_file);
    for (std::string key; std::getline(in, key);)
      if (!key.empty()) options.keys.push_back(key);
  }
  const bool known = options.mode == "upload" || (options.mode == "compare" && !options.keys.empty()) ||
                     (options.mode == "get" && !options.path.empty());
  return known && options.port > 0;
}

bool Parse_Attack(int argc, char** argv, Attack_Options& options) {
  for (int i = 2; i + 1 < argc; i += 2) {
    const std::string key = argv[i], value = argv[i + 1];
    if (key == "--server") {
      options.address = value.substr(0, value.find(':'));
      options.port = std::atoi(value.substr(value.find(':') + 1).c_str());
    } else if (key == "--kind") options.kind = value;
    else if (key == "--attackers") options.attackers = std::atoi(value.c_str());
    else if (key == "--seconds") options.seconds = std::atoi(value.c_str());
    else if (key == "--path") options.path = value;
    else if (key == "--probe") options.probe = value;
    else return false;
  }
  const bool known = options.kind == "slow" || options.kind == "flood" || options.kind == "range" ||
                     (options.kind == "costly" && !options.path.empty());
  return known && argc % 2 == 0 && options.port > 0 && options.attackers > 0 && options.seconds > 2;
}

}  // namespace

int main(int argc, char** argv) {
  QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
  if (argc > 1 && std::string(argv[1]) == "attack") {
    Attack_Options attack;
    if (!Parse_Attack(argc, argv, attack)) {
      std::fprintf(stderr, "usage: see the opening comment of bench/server-load/server_load.cpp\n");
      return 2;
    }
    return Run_Attack(attack) ? 0 : 1;
  }
  Options options;
  if (!Parse(argc, argv, options)) {
    std::fprintf(stderr, "usage: see the opening comment of bench/server-load/server_load.cpp\n");
    return 2;
  }
  std::atomic<long> next{options.first};
  Totals totals;
  const auto start = Clock::now();
  const auto until = options.count > 0 ? Clock::time_point::max() : start + std::chrono::seconds(options.seconds);
  std::vector<std::thread> clients;
  for (int c = 0; c < options.clients; ++c) clients.emplace_back([&, c] { Client(options, c, next, until, totals); });
  for (auto& client : clients) client.join();
  const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
  std::sort(totals.latencies_ms.begin(), totals.latencies_ms.end());
  auto at = [&](double p) {
    return totals.latencies_ms.empty() ? 0.0 : totals.latencies_ms[static_cast<std::size_t>(p * (totals.latencies_ms.size() - 1))];
  };
  std::printf("%s: %d clients, %.1f s: %ld ok, %ld failed, %.0f per second, latency p50 %.1f ms, p99 %.1f ms",
              options.mode.c_str(), options.clients, seconds, totals.done, totals.failed, totals.done / seconds,
              at(0.5), at(0.99));
  if (totals.limited > 0) std::printf(", %ld limited (429, %.0f per second)", totals.limited, totals.limited / seconds);
  std::printf("\n");
  if (options.mode == "upload" && !options.keys_file.empty()) {
    std::ofstream out(options.keys_file, std::ios::app);
    for (const std::string& key : totals.keys) out << key << "\n";
  }
  return totals.failed == 0 ? 0 : 1;
}
