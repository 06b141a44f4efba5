// The test server and its data folder.
#include "server_fixture.h"

#include "server/data_folder.h"
#include "server/sqlite_session.h"
#include "server/postgres_session.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>

std::string Backend_Name(const testing::TestParamInfo<Backend>& info) {
  return info.param == Backend::kSqlite ? "SQLite" : "PostgreSQL";
}

void PrintTo(Backend backend, std::ostream* out) { *out << (backend == Backend::kSqlite ? "SQLite" : "PostgreSQL"); }

Test_Data_Folder::Test_Data_Folder() {
  Init_Data_Folder(scratch_.path(), "127.0.0.1");
  Append_Config("reports_per_hour = 0\npages_per_minute = 0");
}

void Test_Data_Folder::Write(const std::string& relative, const std::string& content) const {
  const std::filesystem::path full = scratch_ / relative;
  std::filesystem::create_directories(full.parent_path());
  std::ofstream(full, std::ios::binary) << content;
}

void Test_Data_Folder::Append_Config(const std::string& text) const {
  std::ofstream(scratch_ / kConfigFileName, std::ios::app) << "\n" << text << "\n";
}

Test_Server::Test_Server(const std::string& data_folder, const std::string& database, Server_Options options) {
  options.data_folder = data_folder;
  options.database = database;
  options.listen = "127.0.0.1:0";
  server_ = std::make_unique<Results_Server>(std::move(options));
  port_ = server_->Bind();
  thread_ = std::thread([this] { server_->Run(); });
  while (!server_->Is_Serving()) std::this_thread::sleep_for(std::chrono::milliseconds(1));
}

Test_Server::~Test_Server() {
  server_->Stop();
  thread_.join();
}

std::unique_ptr<httplib::Client> Test_Server::Client() const {
  auto client = std::make_unique<httplib::Client>("127.0.0.1", port_);
  client->set_connection_timeout(5);
  client->set_read_timeout(30);
  client->set_keep_alive(true);
  client->set_tcp_nodelay(true);  // as the program's HTTP client does
  return client;
}

Answer Post_Upload(httplib::Client& client, const Upload& upload, const std::string& host_header) {
  httplib::Headers headers;
  if (!host_header.empty()) headers.emplace("Host", host_header);
  auto result = client.Post("/uploadresults2.php?Ver=1.0.0.1&CompId=1", headers, upload.body, upload.content_type.c_str());
  return result ? Answer{result->status, result->body} : Answer{};
}

Answer Get(httplib::Client& client, const std::string& path) {
  auto result = client.Get(path.c_str());
  return result ? Answer{result->status, result->body} : Answer{};
}

std::string View_Key_Of(const Answer& answer) {
  const std::string open = "[RESULT]1[/RESULT][VIEW]";
  if (answer.body.rfind(open, 0) != 0 || answer.body.size() != open.size() + 32 + 7) return {};
  return answer.body.substr(open.size(), 32);
}

bool Confirmed(const std::string& body) {
  return body == "[RESULT]1[/RESULT]" || !View_Key_Of(Answer{200, body}).empty();
}

Loopback_Connection::Loopback_Connection(int port, const std::string& source)
    : fd_(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0)) {
  sockaddr_in local{};
  local.sin_family = AF_INET;
  ::inet_pton(AF_INET, source.c_str(), &local.sin_addr);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(static_cast<uint16_t>(port));
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  if (::bind(fd_, reinterpret_cast<sockaddr*>(&local), sizeof local) != 0 ||
      ::connect(fd_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
    ::close(fd_);
    fd_ = -1;
  }
}

Loopback_Connection::~Loopback_Connection() {
  if (fd_ >= 0) ::close(fd_);
}

bool Loopback_Connection::Send(const std::string& bytes) const {
  return fd_ >= 0 && ::send(fd_, bytes.data(), bytes.size(), MSG_NOSIGNAL) == static_cast<ssize_t>(bytes.size());
}

Raw_Answer Raw_Read(int fd, std::chrono::milliseconds wait) {
  using Clock = std::chrono::steady_clock;
  const auto start = Clock::now();
  Raw_Answer answer;
  while (fd >= 0 && Clock::now() - start < wait) {
    pollfd ready{fd, POLLIN, 0};
    if (::poll(&ready, 1, 20) <= 0) continue;
    char buffer[65536];
    const ssize_t got = ::recv(fd, buffer, sizeof buffer, 0);
    if (got <= 0) {
      answer.closed = true;
      break;
    }
    answer.text.append(buffer, static_cast<std::size_t>(got));
  }
  answer.took = std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start);
  return answer;
}

Raw_Answer Raw_Exchange(int port, const std::string& request, std::chrono::milliseconds wait, const std::string& from) {
  const auto start = std::chrono::steady_clock::now();
  const Loopback_Connection connection(port, from);
  if (!connection.Send(request)) return {};
  Raw_Answer answer = Raw_Read(connection.fd(), wait);
  answer.took = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start);
  return answer;
}

Answer Get_From(int port, const std::string& path, const std::string& from) {
  const Raw_Answer raw = Raw_Exchange(port, "GET " + path + " HTTP/1.1\r\nHost: 127.0.0.1\r\nConnection: close\r\n\r\n",
                                      std::chrono::seconds(10), from);
  const auto body = raw.text.find("\r\n\r\n");
  if (raw.text.rfind("HTTP/1.1 ", 0) != 0 || body == std::string::npos) return {};
  return {std::atoi(raw.text.c_str() + 9), raw.text.substr(body + 4)};
}

void Server_Test::SetUp() {
  if (GetParam() == Backend::kPostgres) PS_POSTGRES_DATABASE_OR_SKIP(database_);
}

Test_Server& Server_Test::Start(Server_Options options) {
  server_ = std::make_unique<Test_Server>(data_.path(), database_, std::move(options));
  return *server_;
}

std::int64_t Server_Test::Stored_Reports() {
  std::unique_ptr<Sql_Session> session = database_.empty() ? Open_Sqlite_Session(data_.path() + "/reports.sqlite")
                                                           : Open_Postgres_Session(database_);
  return Sql_Int(session->Query("SELECT COUNT(*) FROM reports", {}).at(0).at(0));
}
