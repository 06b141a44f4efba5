// Composition of test reports by the program's rules, with the program's own rate text.
#include "report_composer.h"

#include "common/result_text.h"
#include "server/report_codec.h"

#include <QDate>

namespace {

const char* const kProfileKeys[] = {"ID", "SIG", "TT", "PV", "OS", "OSA", "OSN", "SM", "SS", "ST", "SSE",
                                    "SFST", "MA", "CS", "PN", "PT", "CN", "CM", "CMO", "CME", "SF"};
const char* const kRateKeys[] = {"WRITE", "READ", "512BW", "512BR", "1KW", "1KR", "4KW", "4KR", "64KW",
                                 "64KR", "128KW", "128KR", "512KW", "512KR", "1MBW", "1MBR", "4MBW", "4MBR"};

std::string Entry(const std::string& key, const std::string& value) {
  return report_codec::Cut_Entry(key + "=" + report_codec::Hex_Encode(value, 1));
}

}  // namespace

Sample_Report Varied_Report(int n, int models) {
  Sample_Report report;
  char id[32];
  std::snprintf(id, sizeof id, "%017d", 10000000 + n);
  report.computer_id = id;
  const int model = n % models;
  report.profile[5] = "Test Drive Model " + std::to_string(model);
  report.profile[8] = "SERIAL-" + std::to_string(n);
  const double speed = 100.0 * (model + 1);
  for (int t = 0; t < 18; ++t) report.rates[t] = speed * (1.0 + 0.01 * ((n * 7 + t * 13) % 50)) / (1 + t / 2);
  return report;
}

std::vector<std::string> Compose_Entries(const Sample_Report& report, const std::string& host) {
  std::vector<std::string> entries;
  entries.push_back(Entry("ID", report.computer_id));
  entries.push_back(Entry("SIG", report_codec::Report_Signature(report.computer_id, host)));
  for (std::size_t i = 0; i < report.profile.size(); ++i) entries.push_back(Entry(kProfileKeys[i + 2], report.profile[i]));
  for (std::size_t t = 0; t < report.rates.size(); ++t)
    if (report.rates[t] && *report.rates[t] > 0) entries.push_back(Entry(kRateKeys[t], Result_Text(*report.rates[t])));
  entries.push_back("MD5=" + report_codec::Check_Value(entries));
  return entries;
}

std::string Todays_Boundary() {
  return std::string(24, '-') + std::to_string(QDate::currentDate().toJulianDay());
}

std::string Multipart_Body(const std::vector<std::string>& entries, const std::string& boundary) {
  std::string body;
  for (const std::string& entry : entries) {
    const auto equals = entry.find('=');
    const std::string name = entry.substr(0, equals);
    const std::string value = equals == std::string::npos ? "" : entry.substr(equals + 1);
    if (name.empty()) continue;
    body += "--" + boundary + "\r\nContent-Disposition: form-data; name=\"" + name + "\"\r\n\r\n" + value + "\r\n";
  }
  body += "--" + boundary + "--\r\n";
  body.push_back('\0');
  return body;
}

Upload Compose_Upload(const Sample_Report& report, const std::string& host) {
  const std::string boundary = Todays_Boundary();
  return {"multipart/form-data; boundary=" + boundary, Multipart_Body(Compose_Entries(report, host), boundary)};
}
