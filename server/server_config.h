// The server's configuration file in its data folder: host name, listen address, the
// version on offer, news page, ads and installers.
#pragma once

#include <string>
#include <vector>

struct Ad_Config {
  std::string number;  // the ad's number, a plain name: it becomes part of a file name on the program's side
  std::string image;   // banner path under the data folder's www/
  std::string target;  // where a click on the banner leads
};

struct Installer_Config {
  std::string file;    // installer path under www/
  std::string target = "platterscope";  // the installer entry's target text
  std::string platform;  // what it is built for, "linux-<uname -m>"; this machine's by default
};

struct Server_Config {
  std::string public_host;
  std::string listen = "0.0.0.0:80";
  std::string database;  // empty: the SQLite file reports.sqlite in the data folder
  std::string version;
  std::string news_page;
  std::string release_notes;
  int threads = 64;                      // requests handled at once
  int connections_per_address = 32;      // open connections from one address
  std::vector<std::string> trusted_proxies;  // peers whose X-Forwarded-For names the client
  int reports_per_hour = 30;   // reports one client address may send in an hour; 0: no limit
  int pages_per_minute = 60;   // the pages read from the database, per client address; 0: no limit
  std::vector<Ad_Config> ads;
  std::vector<Installer_Config> installers;
};

// The configuration file's name inside the data folder.
constexpr const char* kConfigFileName = "platterscope-server.conf";

// Reads and checks a configuration; throws std::runtime_error with "file:line: reason".
Server_Config Load_Config(const std::string& path);

// The configuration --init writes: every setting with a comment, ads and installers as
// commented examples.
std::string Default_Config_Text(const std::string& public_host);

// True for a path under www/ that stays there: relative, segments that are plain names
// (not empty, not starting with ".", no "\" or NUL).
bool Is_Plain_Relative_Path(const std::string& path);
