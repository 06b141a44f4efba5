// Reader and writer of the configuration: "key = value" lines, "#" comments, and repeated
// [ad] and [installer] sections.
#include "server/server_config.h"

#include "platform/upgrade_files.h"
#include "reporting/installer_statement.h"
#include "server/client_address.h"

#include <algorithm>
#include <charconv>
#include <fstream>
#include <regex>
#include <sstream>
#include <stdexcept>

namespace {

std::string Trim(const std::string& text) {
  const auto first = text.find_first_not_of(" \t\r");
  if (first == std::string::npos) return {};
  return text.substr(first, text.find_last_not_of(" \t\r") - first + 1);
}

// Texts that go into the tagged version answer must not open or close a tag there.
bool Fits_Answer(const std::string& text) { return text.find_first_of("[]") == std::string::npos; }

int Whole_Number(const std::string& text) {
  int value = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (error != std::errc() || end != text.data() + text.size()) throw std::invalid_argument("not a number: " + text);
  return value;
}

void Set_Global(Server_Config& config, const std::string& key, const std::string& value) {
  if (key == "public_host") config.public_host = value;
  else if (key == "listen") config.listen = value;
  else if (key == "database") config.database = value;
  else if (key == "version") config.version = value;
  else if (key == "news_page") config.news_page = value;
  else if (key == "release_notes") config.release_notes = value;
  else if (key == "threads") config.threads = Whole_Number(value);
  else if (key == "connections_per_address") config.connections_per_address = Whole_Number(value);
  else if (key == "trusted_proxies") config.trusted_proxies = Parse_Address_List(value);
  else if (key == "reports_per_hour") config.reports_per_hour = Whole_Number(value);
  else if (key == "pages_per_minute") config.pages_per_minute = Whole_Number(value);
  else throw std::invalid_argument("unknown setting " + key);
}

void Set_Ad(Ad_Config& ad, const std::string& key, const std::string& value) {
  if (key == "number") ad.number = value;
  else if (key == "image") ad.image = value;
  else if (key == "target") ad.target = value;
  else throw std::invalid_argument("unknown ad setting " + key);
}

void Set_Installer(Installer_Config& installer, const std::string& key, const std::string& value) {
  if (key == "file") installer.file = value;
  else if (key == "target") installer.target = value;
  else if (key == "platform") installer.platform = value;
  else throw std::invalid_argument("unknown installer setting " + key);
}

// The program reads at most 11 ads, 51 pieces between "[BR]"s, and takes each ad's
// number into a file name.
std::string Check(const Server_Config& config) {
  static const std::regex kNumber("[A-Za-z0-9_-]{1,32}");
  if (config.ads.size() > 11) return "more than 11 ads";
  const std::size_t separators = (config.ads.empty() ? 0 : config.ads.size() - 1) + config.installers.size();
  if (separators > 50) return "too many ads and installers for one answer";
  if (config.threads < 4 || config.threads > 1024) return "threads must be 4 to 1024";
  if (config.connections_per_address < 1) return "connections_per_address must be at least 1";
  if (config.reports_per_hour < 0 || config.pages_per_minute < 0) return "limits must be 0 or more";
  for (const std::string* text : {&config.version, &config.news_page, &config.release_notes})
    if (!Fits_Answer(*text)) return "\"[\" or \"]\" in " + *text;
  for (const Ad_Config& ad : config.ads) {
    if (!std::regex_match(ad.number, kNumber)) return "ad number must be a plain name: " + ad.number;
    if (!Is_Plain_Relative_Path(ad.image) || ad.image.find(',') != std::string::npos)
      return "ad image must be a path under www/ without \",\": " + ad.image;
    if (ad.target.empty()) return "ad " + ad.number + " has no target";
  }
  for (const Installer_Config& installer : config.installers) {
    if (!Is_Plain_Relative_Path(installer.file) || !Fits_Answer(installer.file))
      return "installer must be a path under www/: " + installer.file;
    if (installer.target.empty() || !Fits_Answer(installer.target)) return "installer target must be a plain text";
    if (installer.platform.empty() || !Fits_Answer(installer.platform))
      return "installer platform must be a plain text";
  }
  return {};
}

}  // namespace

bool Is_Plain_Relative_Path(const std::string& path) {
  if (path.empty() || path.front() == '/' || path.find_first_of(std::string("\\\0", 2)) != std::string::npos)
    return false;
  std::istringstream segments(path);
  std::string segment;
  while (std::getline(segments, segment, '/'))
    if (segment.empty() || segment.front() == '.') return false;
  return path.back() != '/';
}

Server_Config Load_Config(const std::string& path) {
  std::ifstream in(path);
  if (!in) throw std::runtime_error("Cannot read configuration " + path);
  Server_Config config;
  enum { kGlobal, kAd, kInstaller } section = kGlobal;
  std::string line;
  for (int number = 1; std::getline(in, line); ++number) {
    line = Trim(line);
    if (line.empty() || line.front() == '#') continue;
    try {
      if (line == "[ad]") {
        config.ads.emplace_back();
        section = kAd;
        continue;
      }
      if (line == "[installer]") {
        config.installers.emplace_back();
        config.installers.back().platform = Installer_Platform(platform::Machine_Name());
        section = kInstaller;
        continue;
      }
      const auto equals = line.find('=');
      if (equals == std::string::npos) throw std::invalid_argument("expected key = value");
      const std::string key = Trim(line.substr(0, equals));
      const std::string value = Trim(line.substr(equals + 1));
      if (section == kAd) Set_Ad(config.ads.back(), key, value);
      else if (section == kInstaller) Set_Installer(config.installers.back(), key, value);
      else Set_Global(config, key, value);
    } catch (const std::exception& error) {
      throw std::runtime_error(path + ":" + std::to_string(number) + ": " + error.what());
    }
  }
  if (const std::string problem = Check(config); !problem.empty()) throw std::runtime_error(path + ": " + problem);
  return config;
}

std::string Default_Config_Text(const std::string& public_host) {
  std::ostringstream text;
  text << "# Platterscope results server. Lines \"key = value\"; \"#\" starts a comment.\n"
          "# Files the program downloads (banners, installers, news pages) live under www/ in this\n"
          "# folder and are addressed by their path below www/.\n\n"
          "# The host name the program is built to report to (with :port when not 80). The\n"
          "# program signs its reports with it; it is its PLATTERSCOPE_SERVER.\n"
          "public_host = " << public_host << "\n\n"
          "# Address and port to listen on; the --listen option overrides it.\n"
          "listen = 0.0.0.0:80\n\n"
          "# Where reports are kept: empty for the SQLite file reports.sqlite in this folder, or a\n"
          "# PostgreSQL address (postgresql://user@host/database) shared by several servers.\n"
          "# The --database option overrides it.\n"
          "database =\n\n"
          "# Requests handled at once (waiting connections take none of them).\n"
          "threads = 64\n\n"
          "# Connections one address may keep open; more are closed at once. Trusted proxies\n"
          "# are not counted.\n"
          "connections_per_address = 32\n\n"
          "# Addresses of proxies in front of this server (\"127.0.0.1, ::1\"): for a request\n"
          "# from one of them, the client is the last address of its X-Forwarded-For header.\n"
          "trusted_proxies =\n\n"
          "# Reports one client address may send in an hour (0: no limit). A report beyond it is\n"
          "# answered 429 without a verdict, and the program keeps it queued for later. Each\n"
          "# server process counts on its own.\n"
          "reports_per_hour = 30\n\n"
          "# Requests per minute one client address may make of the pages read from the database\n"
          "# (/, /compare, /computer, /drive and their /api twins); 0: no limit.\n"
          "pages_per_minute = 60\n\n"
          "# The latest version (up to four numbers, compared number by number by the program). A\n"
          "# program with an older version downloads the installers below and checks their\n"
          "# signatures.\n"
          "version = 1.0.0\n\n"
          "# News page shown in the program's message panel, a path under www/; empty for none.\n"
          "news_page = news/index.html\n\n"
          "# Release notes sent with the version (no \"[\" or \"]\").\n"
          "release_notes =\n\n"
          "# One section per banner, at most 11. number: a plain name (letters, digits, \"_\", \"-\");\n"
          "# image: its path under www/; target: where a click on it leads.\n"
          "#[ad]\n#number = 1\n#image = ads/banner-1.png\n#target = https://www.example.org/\n\n"
          "# One section per installer offered with a newer version: its path under www/, the\n"
          "# target text of its entry and the platform it is built for (\"linux-\" and uname -m;\n"
          "# this machine's when not given). The server sends its size, MD5 and the Ed25519\n"
          "# signature of the statement that binds it to the version, platform and target.\n"
          "#[installer]\n#file = installers/platterscope-1.0.1.run\n#target = platterscope\n"
          "#platform = linux-x86_64\n";
  return text.str();
}
