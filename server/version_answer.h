// The tagged answer of program_version3.php, made from the configuration and the files
// under www/: version, news page, release notes, the ad list with each banner's MD5, and
// one installer entry per installer with size, MD5 and the Ed25519 signature of the statement
// that binds it to the version, its platform and its target.
#pragma once

#include "server/server_config.h"
#include "server/server_keys.h"
#include "server/static_files.h"

#include <mutex>
#include <optional>
#include <string>
#include <vector>

class Version_Answer {
 public:
  Version_Answer(const Server_Config& config, const Server_Keys& keys, const Static_Root& www);

  // The answer as it stands; made again when a banner or installer changed on disk since.
  std::string Text();

  // Where a click on the ad with this number leads; nothing for an unknown number.
  std::optional<std::string> Ad_Target(const std::string& number) const;
  bool Is_Ad(const std::string& number) const { return Ad_Target(number).has_value(); }

 private:
  struct File_Stamp {
    bool present = false;
    off_t size = 0;
    long long modified_ns = 0;
    bool operator==(const File_Stamp&) const = default;
  };

  std::vector<File_Stamp> Stamps() const;
  std::string Build(std::vector<File_Stamp>& stamps) const;

  const Server_Config& config_;
  const Server_Keys& keys_;
  const Static_Root& www_;
  std::mutex mutex_;
  std::vector<File_Stamp> stamps_;
  std::string text_;
};
