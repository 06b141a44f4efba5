// A results server for the tests: a data folder made as --init makes it, a database (SQLite
// in the folder, or a fresh database of the throwaway PostgreSQL cluster), and the server
// listening on a loopback port in this process. The end-to-end tests of the program's own
// transfers start the same fixture.
#pragma once

#include "core/scratch_folder.h"
#include "postgres_cluster.h"
#include "report_composer.h"
#include "server/results_server.h"

#include <gtest/gtest.h>
#include <httplib.h>

#include <chrono>
#include <memory>
#include <string>
#include <thread>

enum class Backend { kSqlite, kPostgres };

std::string Backend_Name(const testing::TestParamInfo<Backend>& info);
void PrintTo(Backend backend, std::ostream* out);

class Test_Data_Folder {
 public:
  // Made by the --init routine for the public host 127.0.0.1, without the limits per
  // client address (every test client is 127.0.0.1); tests of the limits set their own.
  Test_Data_Folder();
  const std::string& path() const { return scratch_.path(); }
  // Writes a file below the data folder (folders made as needed).
  void Write(const std::string& relative, const std::string& content) const;
  // Adds lines at the end of the configuration.
  void Append_Config(const std::string& text) const;

 private:
  Scratch_Folder scratch_;
};

class Test_Server {
 public:
  // Serves data_folder from 127.0.0.1 on a free port; options.data_folder, listen and
  // database are filled in.
  Test_Server(const std::string& data_folder, const std::string& database, Server_Options options = {});
  ~Test_Server();
  Test_Server(const Test_Server&) = delete;
  Test_Server& operator=(const Test_Server&) = delete;

  int port() const { return port_; }
  // The host text the program addresses it by, port included: what reports are signed with.
  std::string host() const { return "127.0.0.1:" + std::to_string(port_); }
  std::unique_ptr<httplib::Client> Client() const;
  Results_Server& server() { return *server_; }

 private:
  std::unique_ptr<Results_Server> server_;
  int port_ = 0;
  std::thread thread_;
};

struct Answer {
  int status = 0;  // 0 when no answer came
  std::string body;
};

// host_header replaces the Host header the client would send (a load balancer's public name).
Answer Post_Upload(httplib::Client& client, const Upload& upload, const std::string& host_header = "");
Answer Get(httplib::Client& client, const std::string& path);
// The view key an upload's answer carries after its verdict; empty when it carries none.
std::string View_Key_Of(const Answer& answer);
// Whether the answer confirms the report: "[RESULT]1[/RESULT]", with or without a view key.
bool Confirmed(const std::string& body);

// Sends bytes on a new connection and reads until the server closes it or wait has passed.
struct Raw_Answer {
  std::string text;
  bool closed = false;  // the server closed the connection
  std::chrono::milliseconds took{0};
};
Raw_Answer Raw_Exchange(int port, const std::string& request, std::chrono::milliseconds wait,
                        const std::string& from = "127.0.0.1");
// Reads what a connection gets until the server closes it or wait has passed.
Raw_Answer Raw_Read(int fd, std::chrono::milliseconds wait);

// A TCP connection to 127.0.0.1:port from a loopback address of its own (127.0.0.N: one
// client address per N), closed with its owner; fd() is -1 when it failed.
class Loopback_Connection {
 public:
  Loopback_Connection(int port, const std::string& source = "127.0.0.1");
  ~Loopback_Connection();
  Loopback_Connection(Loopback_Connection&& other) noexcept : fd_(other.fd_) { other.fd_ = -1; }
  Loopback_Connection(const Loopback_Connection&) = delete;
  Loopback_Connection& operator=(const Loopback_Connection&) = delete;
  int fd() const { return fd_; }
  bool Send(const std::string& bytes) const;

 private:
  int fd_ = -1;
};
// A GET from another loopback address (127.0.0.2, ...), as another client would make it.
Answer Get_From(int port, const std::string& path, const std::string& from);

// The test case for both databases: SetUp gets a database (or skips without PostgreSQL).
class Server_Test : public testing::TestWithParam<Backend> {
 protected:
  void SetUp() override;
  Test_Server& Start(Server_Options options = {});
  // The stored reports, counted in the database itself.
  std::int64_t Stored_Reports();

  Test_Data_Folder data_;
  std::string database_;  // empty for SQLite
  std::unique_ptr<Test_Server> server_;
};

#define PS_BOTH_DATABASES(suite) \
  INSTANTIATE_TEST_SUITE_P(Databases, suite, testing::Values(Backend::kSqlite, Backend::kPostgres), Backend_Name)
