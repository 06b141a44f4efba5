// Set-up of the results server and the routes the program itself uses: the report upload,
// the version check and the ad counters. HTTP itself is cpp-httplib's.
#include "server/results_server.h"

#include "server/httplib_answer.h"
#include "server/postgres_session.h"
#include "server/sqlite_session.h"

#include <httplib.h>

#include <atomic>
#include <cerrno>
#include <cstring>
#include <iostream>
#include <sys/socket.h>
#include <thread>

namespace {

constexpr const char* kFormTypeHeader = "X-Platterscope-Form-Type";
constexpr const char* kUploadPath = "/uploadresults2.php";
constexpr const char* kVersionPath = "/program_version3.php";
constexpr std::size_t kReaders = 8;
constexpr std::size_t kCachedModels = 512;
constexpr int kBacklog = 1024;

const std::string kRefused = "[RESULT]0[/RESULT]";

// The library listens with a backlog of 5, so a burst of new connections overflows it and
// the kernel drops their first packets, which costs those clients a retry a second later.
// Listening again on the bound socket only raises the backlog.
class Listening_Server : public httplib::Server {
 public:
  bool Raise_Backlog(int backlog) { return ::listen(svr_sock_, backlog) == 0; }
};

bool Is_Postgres(const std::string& address) {
  return address.rfind("postgresql://", 0) == 0 || address.rfind("postgres://", 0) == 0;
}

// The routes the program itself calls.
bool Is_Program_Route(const std::string& path) {
  return path == kUploadPath || path == kVersionPath || path == "/adclick.php" || path == "/adview.php";
}

httplib::Server::HandlerResponse Pre_Route(const httplib::Request& request, httplib::Response& response,
                                           std::size_t max_body) {
  auto& headers = const_cast<httplib::Request&>(request).headers;
  // The program's POST asks for gzip in its fixed header block, but the program reads every
  // answer as it arrives: a compressed "[RESULT]1[/RESULT]" would be no confirmation at all.
  if (Is_Program_Route(request.path)) headers.erase("Accept-Encoding");
  const bool has_body = request.has_header("Content-Length") || request.has_header("Transfer-Encoding");
  if (!has_body) return httplib::Server::HandlerResponse::Unhandled;
  // Refused before a byte of the body is read. The body may still be on its way, so the
  // connection is closed after the answer: a content provider that reports failure once it
  // has written everything is the library's one way to end a kept-alive connection.
  auto refuse = [&](int status) {
    response.status = status;
    response.set_header("Connection", "close");
    const std::string body = request.path == kUploadPath ? kRefused : std::to_string(status) + "\n";
    response.set_content_provider(body.size(), "text/html",
                                  [body](std::size_t offset, std::size_t length, httplib::DataSink& sink) {
                                    sink.write(body.data() + offset, length);
                                    return false;
                                  });
    return httplib::Server::HandlerResponse::Handled;
  };
  if (request.has_header("Transfer-Encoding")) return refuse(411);
  const std::string length = request.get_header_value("Content-Length");
  if (length.empty() || length.find_first_not_of("0123456789") != std::string::npos) return refuse(400);
  // A body up to four times the limit is read and dropped by the library, which answers 413
  // on a connection that stays usable: closing with the body unread would reset the
  // connection and could destroy the answer before the client reads it. A larger one is
  // not worth reading.
  if (length.size() > 12 || std::stoull(length) > 4 * max_body) return refuse(413);
  // The form is read by our own strict parser, not the library's lenient one.
  const auto type = headers.find("Content-Type");
  if (type != headers.end() && type->second.rfind("multipart/", 0) == 0) {
    std::string value = type->second;
    headers.erase(type);
    headers.emplace(kFormTypeHeader, std::move(value));
  }
  return httplib::Server::HandlerResponse::Unhandled;
}

}  // namespace

bool Split_Listen_Address(const std::string& text, std::string& host, int& port) {
  const auto colon = text.find_last_of(':');
  if (colon == std::string::npos || colon == 0 || colon + 1 == text.size() || text.size() - colon > 6) return false;
  host = text.substr(0, colon);
  if (host.front() == '[' && host.back() == ']') host = host.substr(1, host.size() - 2);
  const std::string digits = text.substr(colon + 1);
  if (digits.find_first_not_of("0123456789") != std::string::npos) return false;
  port = std::stoi(digits);
  return port <= 65535 && !host.empty();
}

Results_Server::Results_Server(Server_Options options)
    : options_(std::move(options)),
      config_(Load_Config(options_.data_folder + "/" + kConfigFileName)),
      keys_(Load_Keys(options_.data_folder)),
      www_(options_.data_folder + "/www") {
  store_ = std::make_unique<Report_Store>(Database_Factory(), kReaders);
  store_->Prepare_Schema();
  commits_ = std::make_unique<Commit_Queue>(*store_, options_.max_batch);
  stats_ = std::make_unique<Model_Stats>(*store_, kCachedModels, options_.bounds_age);
  intake_ = std::make_unique<Report_Intake>(
      *commits_, *stats_, [this](const std::string& serial) { return keys_.Serial_Hash(serial); },
      config_.reports_per_hour, options_.commit_wait);
  ads_ = std::make_unique<::Ad_Counter>(*store_);
  pages_ = std::make_unique<Page_Answers>(*store_, *stats_, config_.pages_per_minute);
  version_ = std::make_unique<Version_Answer>(config_, keys_, www_);
  version_->Text();  // banners and installers are hashed and signed before the first client
  Configure_Http();
  Add_Report_Routes();
  Add_Page_Routes();
}

// SQLite in the data folder unless a PostgreSQL address is given (the option first).
Session_Factory Results_Server::Database_Factory() {
  const std::string address = options_.database.empty() ? config_.database : options_.database;
  if (address.empty()) {
    database_name_ = options_.data_folder + "/reports.sqlite";
    return [path = database_name_] { return Open_Sqlite_Session(path); };
  }
  if (!Is_Postgres(address)) throw std::runtime_error("Database " + address + " is not a postgresql:// address");
  database_name_ = "PostgreSQL";  // the address may hold a password
  return [address] { return Open_Postgres_Session(address); };
}

void Results_Server::Configure_Http() {
  http_ = std::make_unique<Listening_Server>();
  const int threads = options_.threads > 0 ? options_.threads : config_.threads;
  http_->new_task_queue = [threads] { return new httplib::ThreadPool(static_cast<std::size_t>(threads)); };
  const auto timeout = static_cast<time_t>(options_.read_timeout.count());
  http_->set_read_timeout(timeout, 0).set_keep_alive_timeout(timeout).set_write_timeout(timeout, 0);
  http_->set_keep_alive_max_count(1000).set_payload_max_length(options_.max_body).set_tcp_nodelay(true);
  http_->set_pre_routing_handler([max = options_.max_body](const httplib::Request& request, httplib::Response& response) {
    return Pre_Route(request, response, max);
  });
  http_->set_exception_handler([](const httplib::Request& request, httplib::Response& response, std::exception_ptr error) {
    try {
      if (error) std::rethrow_exception(error);
    } catch (const std::exception& e) {
      std::cerr << "platterscope-server: " << request.path << ": " << e.what() << "\n";
    } catch (...) {
    }
    response.status = 500;
    response.set_content(request.path == kUploadPath ? kRefused : "Internal error", "text/plain");
  });
  http_->set_error_handler([](const httplib::Request& request, httplib::Response& response) {
    if (response.has_header("Connection")) return;  // answered and closed by the pre-routing
    if (!response.body.empty()) return;              // a route's own answer
    if (request.path == kUploadPath) response.set_content(kRefused, "text/html");
    else response.set_content(std::to_string(response.status) + "\n", "text/plain");
  });
}

Results_Server::~Results_Server() = default;

int Results_Server::Bind() {
  std::string host;
  int port = 0;
  const std::string& listen = options_.listen.empty() ? config_.listen : options_.listen;
  if (!Split_Listen_Address(listen, host, port)) throw std::runtime_error("Listen address " + listen + " is not ADDRESS:PORT");
  if (port == 0) port = http_->bind_to_any_port(host);
  else if (!http_->bind_to_port(host, port)) port = -1;
  if (port <= 0) throw std::runtime_error("Cannot listen on " + listen + ": " + std::strerror(errno));
  static_cast<Listening_Server&>(*http_).Raise_Backlog(kBacklog);
  return port;
}

void Results_Server::Run() {
  {
    std::lock_guard lock(run_mutex_);
    if (stopping_) return;
    running_ = true;
  }
  http_->listen_after_bind();
  std::lock_guard lock(run_mutex_);
  running_ = false;
}

// The library's stop only acts on a server that is listening already, so a stop that
// comes while Run is starting waits for the listening to begin.
void Results_Server::Stop() {
  while (true) {
    {
      std::lock_guard lock(run_mutex_);
      stopping_ = true;
      if (!running_) return;
    }
    if (http_->is_running()) break;
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  http_->stop();
}

bool Results_Server::Is_Serving() const { return http_->is_running(); }

void Results_Server::Add_Report_Routes() {
  http_->Get(kUploadPath, [](const httplib::Request&, httplib::Response& response) {
    response.set_content("Platterscope results server\n", "text/plain");
  });
  http_->Post(kUploadPath, [this](const httplib::Request& request, httplib::Response& response) {
    Upload(request, response);
  });
  http_->Get(kVersionPath, [this](const httplib::Request&, httplib::Response& response) {
    response.set_header("Cache-Control", "no-cache");
    response.set_content(version_->Text(), "text/plain");
  });
  http_->Get("/adclick.php", [this](const httplib::Request& request, httplib::Response& response) {
    Ad_Counter(request, response, true);
  });
  http_->Get("/adview.php", [this](const httplib::Request& request, httplib::Response& response) {
    Ad_Counter(request, response, false);
  });
}

void Results_Server::Upload(const httplib::Request& request, httplib::Response& response) {
  Send_Answer(response, intake_->Take(request.remote_addr, request.get_header_value("Host"),
                                      request.get_header_value(kFormTypeHeader), request.body, Now_Ms()));
}

void Results_Server::Ad_Counter(const httplib::Request& request, httplib::Response& response, bool click) {
  const std::string number = request.get_param_value("Id");
  Send_Answer(response, ads_->Visit(number, version_->Ad_Target(number), click, request.remote_addr, Now_Ms()));
}
