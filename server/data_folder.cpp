// --init: a data folder ready to serve, whose public key the program is then built with.
#include "server/data_folder.h"

#include "server/server_config.h"
#include "server/server_keys.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstring>
#include <stdexcept>

namespace {

void Make_Folder(const std::string& path, mode_t mode) {
  if (::mkdir(path.c_str(), mode) != 0 && errno != EEXIST)
    throw std::runtime_error("Cannot create folder " + path + ": " + std::strerror(errno));
  struct stat info;
  if (::lstat(path.c_str(), &info) != 0 || !S_ISDIR(info.st_mode))
    throw std::runtime_error("Cannot use " + path + ": not a folder");
}

constexpr const char* kNewsPage =
    "<!DOCTYPE html>\n<html lang=\"en\"><head><meta charset=\"utf-8\"><title>Platterscope news</title></head>\n"
    "<body style=\"font-family:sans-serif\"><h1>Platterscope</h1>\n"
    "<p>Thank you for reporting your results. Compare your drive with the others of its model\n"
    "from the Help menu.</p></body></html>\n";

}  // namespace

std::string Init_Data_Folder(const std::string& folder, const std::string& public_host) {
  Make_Folder(folder, 0750);
  const std::string config = folder + "/" + kConfigFileName;
  struct stat info;
  if (::lstat(config.c_str(), &info) == 0) throw std::runtime_error("Configuration " + config + " exists already");
  const std::string public_key = Create_Keys(folder).Public_Key_Hex();
  for (const char* sub : {"/www", "/www/ads", "/www/installers", "/www/news"}) Make_Folder(folder + sub, 0755);
  Write_Private_File(folder + "/www/news/index.html", kNewsPage);
  ::chmod((folder + "/www/news/index.html").c_str(), 0644);
  Write_Private_File(config, Default_Config_Text(public_host));
  return public_key;
}
