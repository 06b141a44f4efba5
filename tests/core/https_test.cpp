// HTTPS to the results server: PLATTERSCOPE_SERVER may name the scheme, certificates and host
// names are verified (a private authority through PLATTERSCOPE_CA_FILE), and the report and
// the version check go where the address says, against a loopback server speaking TLS.
#include <gtest/gtest.h>

#include "common/server.h"
#include "reporting/http_client.h"
#include "reporting/report_codec.h"
#include "reporting/result_report.h"
#include "scratch_folder.h"
#include "tls_stream.h"
#include "update_fixture.h"

TEST(ServerAddress, ASchemeMayBeNamedABareHostIsPlainHttp) {
  const struct {
    const char* text;
    const char* scheme;
    const char* host;
  } cases[] = {
      {"results.example", "http", "results.example"},       {"results.example:8080", "http", "results.example:8080"},
      {"https://results.example", "https", "results.example"}, {"https://127.0.0.1:8443/", "https", "127.0.0.1:8443"},
      {"HTTP://results.example:81", "http", "results.example:81"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    const Server_Address address = Parse_Server_Address(c.text);
    EXPECT_EQ(address.scheme, c.scheme);
    EXPECT_EQ(address.host, c.host);
    EXPECT_EQ(address.Base(), std::string(c.scheme) + "://" + c.host);
  }
  Env_Override server("PLATTERSCOPE_SERVER", "https://results.example:8443");
  EXPECT_EQ(Results_Server_Host(), "results.example:8443");
  EXPECT_EQ(Results_Server_Base(), "https://results.example:8443");
}

TEST(Https, TheCertificateAndTheHostNameAreVerified) {
  Tls_Context tls;
  Loopback_Server server([](const std::string&) { return Loopback_Server::Ok("[VERSION]1.0[/VERSION]"); },
                         tls.Streams());
  const std::string port = server.host().substr(server.host().find(':') + 1);
  const std::string url = "https://127.0.0.1:" + port + "/program_version3.php";
  EXPECT_EQ(Get_Url_Text(url, "", "", "", ""), "") << "the test authority is not in the system's store";
  Env_Override authority("PLATTERSCOPE_CA_FILE", kTlsFixtures + "ca.pem");
  EXPECT_EQ(Get_Url_Text(url, "", "", "", ""), "[VERSION]1.0[/VERSION]");
  EXPECT_EQ(Get_Url_Text("https://localhost:" + port + "/program_version3.php", "", "", "", ""), "")
      << "the certificate is for 127.0.0.1 only";
  EXPECT_EQ(Get_Url_Text("http://127.0.0.1:" + port + "/program_version3.php", "", "", "", ""), "");
}

TEST(Https, TheReportAndTheVersionCheckGoOverHttpsWhenTheAddressSaysSo) {
  Tls_Context tls;
  Loopback_Server server(
      [](const std::string& request) {
        if (request.rfind("POST", 0) == 0) return Loopback_Server::Ok("[RESULT]1[/RESULT]");
        if (request.find("/program_version3.php") != std::string::npos)
          return Loopback_Server::Ok("[VERSION]1.3.0[/VERSION]");
        return Loopback_Server::Ok("");
      },
      tls.Streams());
  Env_Override authority("PLATTERSCOPE_CA_FILE", kTlsFixtures + "ca.pem");
  const std::string base = "https://" + server.host();

  // The report: addressed with the scheme, signed and announced with the host and port alone.
  auto record = std::make_unique<MY_UploadFileRecord>();
  record->HostName.Assign(Parse_Server_Address(base).host);
  record->URL.Assign(base + "/uploadresults2.php?Ver=1.0.0.1&CompId=42");
  record->Variables[0].Assign("SIG=" + Report_Signature("42", server.host()));
  EXPECT_EQ(Post_Multipart_Form(*record), "[RESULT]1[/RESULT]");
  ASSERT_EQ(server.Requests().size(), 2u) << "probe and POST, both over TLS";
  EXPECT_NE(server.Requests()[1].find("\r\nHost: " + server.host() + "\r\n"), std::string::npos);
  EXPECT_EQ(Compare_Page_Url(base, "0123456789abcdef0123456789abcdef"), base + "/compare?key=0123456789abcdef0123456789abcdef");

  Scratch_Folder scratch;
  Test_Key key;
  Fake_Update_Host host;
  Update_Checker checker(host);
  Check_Report report;
  checker.Check_New_Version(Test_Settings(scratch, base, key.public_key), &report);
  EXPECT_TRUE(report.answered);
  EXPECT_EQ(report.version, "1.3.0");
}
