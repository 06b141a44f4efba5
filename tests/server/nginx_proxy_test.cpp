// The server as deployed: Debian's nginx with server/deploy/nginx.conf in front of it (its
// ports, certificate and upstream put in for the test), a self-signed certificate, the
// program reporting over https to the proxy and browsers reading pages through it.
#include "server_fixture.h"
#include "server_process.h"

#include "common/server.h"
#include "reporting/result_report.h"
#include "reporting/view_key.h"

#include <curl/curl.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>

namespace {

using namespace std::chrono_literals;

constexpr const char* kNginx = "/usr/sbin/nginx";

int Free_Port() {
  const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t size = sizeof address;
  ::bind(fd, reinterpret_cast<sockaddr*>(&address), size);
  ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &size);
  ::close(fd);
  return ntohs(address.sin_port);
}

// Replaces the one place of a text in the shipped configuration; a failure says the shipped
// file no longer has what the test expects.
void Put_In(std::string& text, const std::string& what, const std::string& by) {
  const auto at = text.find(what);
  ASSERT_NE(at, std::string::npos) << "server/deploy/nginx.conf has no \"" << what << "\"";
  text.replace(at, what.size(), by);
}

class Nginx_Proxy {
 public:
  explicit Nginx_Proxy(int server_port) : https_port_(Free_Port()) { Start(server_port); }
  int https_port() const { return https_port_; }
  // The certificate, the configuration made from the shipped one, and nginx until it listens.
  void Start(int server_port) {
    const std::string dir = folder_.path();
    std::string output;
    ASSERT_EQ(Run_Program({"/usr/bin/openssl", "req", "-x509", "-newkey", "rsa:2048", "-nodes", "-days", "2", "-subj",
                           "/CN=127.0.0.1", "-addext", "subjectAltName=IP:127.0.0.1", "-keyout", dir + "/key.pem",
                           "-out", dir + "/cert.pem"},
                          60, output),
              0)
        << output;
    std::stringstream shipped;
    shipped << std::ifstream(PS_SOURCE_DIR "/server/deploy/nginx.conf").rdbuf();
    std::string site = shipped.str();
    Put_In(site, "listen 80;", "listen 127.0.0.1:" + std::to_string(Free_Port()) + ";");
    Put_In(site, "listen [::]:80;", "");
    Put_In(site, "listen 443 ssl http2;", "listen 127.0.0.1:" + std::to_string(https_port_) + " ssl http2;");
    Put_In(site, "listen [::]:443 ssl http2;", "");
    Put_In(site, "/etc/ssl/certs/platterscope.pem", dir + "/cert.pem");
    Put_In(site, "/etc/ssl/private/platterscope.key", dir + "/key.pem");
    Put_In(site, "server 127.0.0.1:8080;", "server 127.0.0.1:" + std::to_string(server_port) + ";");
    std::ofstream(dir + "/site.conf") << site;
    std::ofstream(dir + "/nginx.conf")
        << "daemon off;\nuser root;\nworker_processes 1;\npid " << dir << "/nginx.pid;\nerror_log " << dir
        << "/error.log;\nevents { worker_connections 4096; }\nhttp {\n  access_log off;\n  client_body_temp_path "
        << dir << "/body;\n  proxy_temp_path " << dir << "/proxy;\n  fastcgi_temp_path " << dir
        << "/fastcgi;\n  uwsgi_temp_path " << dir << "/uwsgi;\n  scgi_temp_path " << dir << "/scgi;\n  include "
        << dir << "/site.conf;\n}\n";
    nginx_ = std::make_unique<Background_Program>(
        std::vector<std::string>{kNginx, "-p", dir, "-e", dir + "/error.log", "-c", dir + "/nginx.conf"},
        dir + "/output.log");
    for (int attempt = 0; attempt < 200 && !Loopback_Connection(https_port_).Send(""); ++attempt)
      std::this_thread::sleep_for(25ms);
  }
  std::string host() const { return "127.0.0.1:" + std::to_string(https_port_); }
  std::string ca_file() const { return folder_.path() + "/cert.pem"; }
  std::string log() const {
    std::stringstream text;
    text << std::ifstream(folder_.path() + "/error.log").rdbuf();
    return text.str();
  }

 private:
  Scratch_Folder folder_;
  int https_port_;
  std::unique_ptr<Background_Program> nginx_;
};

struct Https_Answer {
  long status = 0;
  long http_version = 0;
  std::string body;
};

std::size_t Append(char* data, std::size_t size, std::size_t count, void* body) {
  static_cast<std::string*>(body)->append(data, size * count);
  return size * count;
}

// A GET verified against the test's certificate.
Https_Answer Https(const Nginx_Proxy& proxy, const std::string& path) {
  Https_Answer answer;
  CURL* curl = curl_easy_init();
  const std::string url = "https://" + proxy.host() + path, ca = proxy.ca_file();
  curl_easy_setopt(curl, CURLOPT_URL, url.c_str());
  curl_easy_setopt(curl, CURLOPT_CAINFO, ca.c_str());
  curl_easy_setopt(curl, CURLOPT_HTTP_VERSION, CURL_HTTP_VERSION_2TLS);
  curl_easy_setopt(curl, CURLOPT_TIMEOUT_MS, 3000L);
  curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, Append);
  curl_easy_setopt(curl, CURLOPT_WRITEDATA, &answer.body);
  if (curl_easy_perform(curl) == CURLE_OK) {
    curl_easy_getinfo(curl, CURLINFO_RESPONSE_CODE, &answer.status);
    curl_easy_getinfo(curl, CURLINFO_HTTP_VERSION, &answer.http_version);
  }
  curl_easy_cleanup(curl);
  return answer;
}

// The program's own reporting, as the window does it: Send_Result_To_Database through its
// channel, the server and the certificate authority taken from its environment, the queue
// and the view key kept in its state folder.
class Program_Client {
 public:
  Program_Client(const Nginx_Proxy& proxy)
      : server_("PLATTERSCOPE_SERVER", "https://" + proxy.host()),
        authority_("PLATTERSCOPE_CA_FILE", proxy.ca_file()),
        state_home_("XDG_STATE_HOME", state_.path()) {}
  std::string Send(const Sample_Report& report) {
    const Run_Result run = Plan_Of(report);
    Quiet_Host host;
    return Send_Result_To_Database(host, Facts_Of(report, Results_Server_Base(), run), Program_Report_Channel());
  }
  std::string View_Key() const { return Load_View_Key(View_Key_Folder(), Results_Server_Host()); }

 private:
  struct Quiet_Host : Report_Host {
    void Display_Loading_Panel(bool, const std::string&) override {}
    void Set_Status_Text(const std::string&) override {}
    void Local_Writelog(const std::string&) override {}
  };
  Scratch_Folder state_;
  Env_Override server_, authority_, state_home_;
};

}  // namespace

TEST(Nginx_Proxy_Test, ReportsAreConfirmedOverHttpsAndSlowClientsHoldNobodyUp) {
  if (!std::filesystem::exists(kNginx)) GTEST_SKIP() << "no " << kNginx << " (scripts/deps --test installs nginx)";
  Test_Data_Folder data;
  data.Append_Config("trusted_proxies = 127.0.0.1");
  Test_Server server(data.path(), "");
  Nginx_Proxy proxy(server.port());
  ASSERT_FALSE(HasFatalFailure());
  Program_Client program(proxy);

  EXPECT_EQ(program.Send(Varied_Report(1)), "OK") << proxy.log();
  EXPECT_EQ(server.server().Store().Report_Count(), 1);
  const std::string key = program.View_Key();
  ASSERT_EQ(key.size(), 32u) << "the program kept the key the server answered through the proxy";
  const Https_Answer page = Https(proxy, "/compare?key=" + key);
  EXPECT_EQ(page.status, 200);
  EXPECT_EQ(page.http_version, CURL_HTTP_VERSION_2_0);
  EXPECT_EQ(Https(proxy, "/compare?CompId=" + Varied_Report(1).computer_id).status, 404);

  // 1,000 connections to the proxy from 40 addresses, half of them stalled in a TLS hello.
  std::vector<Loopback_Connection> waiting;
  for (int n = 0; n < 1000; ++n) {
    waiting.emplace_back(proxy.https_port(), "127.0.0." + std::to_string(2 + n % 40));
    if (n % 2 == 0) waiting.back().Send(std::string("\x16\x03\x01\x02", 4));
  }
  for (int n = 0; n < 20; ++n) {
    const Https_Answer probe = Https(proxy, "/uploadresults2.php");
    EXPECT_EQ(probe.status, 200) << n;
  }
  EXPECT_EQ(program.Send(Varied_Report(2)), "OK");
  EXPECT_EQ(server.server().Store().Report_Count(), 2);
}
