// The results server: takes the program's reports, answers its version check, counts ad
// clicks and views, hands out files from www/ and shows the pages for people.
#pragma once

#include "server/commit_queue.h"
#include "server/http_server.h"
#include "server/http_types.h"
#include "server/model_stats.h"
#include "server/page_answers.h"
#include "server/program_routes.h"
#include "server/report_store.h"
#include "server/server_config.h"
#include "server/server_keys.h"
#include "server/static_files.h"
#include "server/version_answer.h"

#include <chrono>
#include <map>
#include <memory>
#include <string>

struct Server_Options {
  std::string data_folder;
  std::string listen;    // ADDRESS:PORT; empty for the configuration's
  std::string database;  // postgresql://...; empty for the configuration's (or SQLite)
  Http_Limits limits;                       // deadlines and size caps of requests
  std::size_t max_batch = 256;              // reports sharing one commit at most
  std::chrono::milliseconds commit_wait{20000};  // longer waits for the database answer "0"
  int threads = 0;                          // 0: the configuration's
  std::chrono::milliseconds bounds_age{10000};  // a model's outlier bounds are read afresh after this
};

class Results_Server {
 public:
  // Reads the data folder (configuration, keys, www/) and opens the database, creating its
  // tables when missing. Throws std::runtime_error saying what is wrong.
  explicit Results_Server(Server_Options options);
  ~Results_Server();
  Results_Server(const Results_Server&) = delete;
  Results_Server& operator=(const Results_Server&) = delete;

  // Binds the listen address (port 0: any free port) and returns the port. Throws.
  int Bind();
  // Serves until Stop() (also one called before Run); every report taken is answered.
  void Run();
  void Stop();
  bool Is_Serving() const;

  const Server_Config& Config() const { return config_; }
  const std::string& Database_Name() const { return database_name_; }
  Report_Store& Store() { return *store_; }

 private:
  Session_Factory Database_Factory();
  void Configure_Http();
  void Add_Report_Routes();
  void Add_Page_Routes();
  void Get(const std::string& path, Http_Handler handler) { get_routes_[path] = std::move(handler); }
  void Post(const std::string& path, Http_Handler handler) { post_routes_[path] = std::move(handler); }
  void Route(const Http_Request& request, Http_Response& response) const;
  void Static_File(const Http_Request& request, Http_Response& response) const;

  Server_Options options_;
  Server_Config config_;
  Server_Keys keys_;
  Static_Root www_;
  std::string database_name_;
  std::unique_ptr<Report_Store> store_;
  std::unique_ptr<Commit_Queue> commits_;
  std::unique_ptr<Model_Stats> stats_;
  std::unique_ptr<Report_Intake> intake_;
  std::unique_ptr<Ad_Counter> ads_;
  std::unique_ptr<Page_Answers> pages_;
  std::unique_ptr<Version_Answer> version_;
  std::map<std::string, Http_Handler> get_routes_;  // HEAD as well
  std::map<std::string, Http_Handler> post_routes_;
  std::unique_ptr<Http_Server> http_;
};

// Splits "ADDRESS:PORT" ("[::1]:80" for IPv6); false when it is not one.
bool Split_Listen_Address(const std::string& text, std::string& host, int& port);
