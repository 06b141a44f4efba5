// Set-up of the results server and the routes the program itself uses: the report upload,
// the version check and the ad counters.
#include "server/results_server.h"

#include "server/postgres_session.h"
#include "server/sqlite_session.h"

namespace {

constexpr const char* kUploadPath = "/uploadresults2.php";
constexpr const char* kVersionPath = "/program_version3.php";
constexpr std::size_t kReaders = 8;
constexpr std::size_t kCachedModels = 512;

const std::string kRefused = "[RESULT]0[/RESULT]";

bool Is_Postgres(const std::string& address) {
  return address.rfind("postgresql://", 0) == 0 || address.rfind("postgres://", 0) == 0;
}

// What the program's upload reads as a refusal; a short text for anything else.
void Refusal_Body(const Http_Request& request, Http_Response& response) {
  if (request.path == kUploadPath) response.Set_Content(kRefused, "text/html");
  else response.Set_Content(std::to_string(response.status) + "\n", "text/plain");
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
  Http_Setup setup;
  setup.limits = options_.limits;
  setup.limits.connections_per_address = static_cast<std::size_t>(config_.connections_per_address);
  setup.workers = options_.threads > 0 ? options_.threads : config_.threads;
  setup.trusted_proxies = config_.trusted_proxies;
  setup.handler = [this](const Http_Request& request, Http_Response& response) { Route(request, response); };
  setup.refusal = Refusal_Body;
  http_ = std::make_unique<Http_Server>(std::move(setup));
}

// GET routes answer HEAD too; any other GET path is a file under www/.
void Results_Server::Route(const Http_Request& request, Http_Response& response) const {
  const bool post = request.method == "POST";
  const auto& routes = post ? post_routes_ : get_routes_;
  const auto route = routes.find(request.path);
  if (route != routes.end()) route->second(request, response);
  else if (!post) Static_File(request, response);
  else response.status = 404;
}

Results_Server::~Results_Server() = default;

int Results_Server::Bind() {
  std::string host;
  int port = 0;
  const std::string& listen = options_.listen.empty() ? config_.listen : options_.listen;
  if (!Split_Listen_Address(listen, host, port)) throw std::runtime_error("Listen address " + listen + " is not ADDRESS:PORT");
  return http_->Bind(host, port);
}

void Results_Server::Run() { http_->Run(); }

void Results_Server::Stop() { http_->Stop(); }

bool Results_Server::Is_Serving() const { return http_->Is_Serving(); }

void Results_Server::Add_Report_Routes() {
  Get(kUploadPath, [](const Http_Request&, Http_Response& response) {
    response.Set_Content("Platterscope results server\n", "text/plain");
  });
  Post(kUploadPath, [this](const Http_Request& request, Http_Response& response) {
    Send_Answer(response, intake_->Take(request.client_address, request.Header("Host"), request.Header("Content-Type"),
                                        request.body, Now_Ms()));
  });
  Get(kVersionPath, [this](const Http_Request&, Http_Response& response) {
    response.Set_Header("Cache-Control", "no-cache");
    response.Set_Content(version_->Text(), "text/plain");
  });
  for (const bool click : {true, false}) {
    Get(click ? "/adclick.php" : "/adview.php", [this, click](const Http_Request& request, Http_Response& response) {
      const std::string number = request.Param("Id");
      Send_Answer(response, ads_->Visit(number, version_->Ad_Target(number), click, request.client_address, Now_Ms()));
    });
  }
}
