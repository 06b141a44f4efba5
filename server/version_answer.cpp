// Builds the version answer. Banners and installers are hashed and signed when the answer
// is made, and the answer is made again whenever one of them changes size or time, so a
// replaced installer is never offered with the old one's MD5 or signature.
#include "server/version_answer.h"

#include "protocol/version_answer_format.h"
#include "reporting/installer_statement.h"
#include "reporting/report_codec.h"

#include <iostream>

Version_Answer::Version_Answer(const Server_Config& config, const Server_Keys& keys, const Static_Root& www)
    : config_(config), keys_(keys), www_(www) {}

std::vector<Version_Answer::File_Stamp> Version_Answer::Stamps() const {
  std::vector<File_Stamp> stamps;
  auto stamp = [&](const std::string& path) {
    struct stat info;
    File_Stamp entry;
    if (www_.Open(path, info).valid())
      entry = {true, info.st_size, static_cast<long long>(info.st_mtim.tv_sec) * 1000000000LL + info.st_mtim.tv_nsec};
    stamps.push_back(entry);
  };
  for (const Ad_Config& ad : config_.ads) stamp(ad.image);
  for (const Installer_Config& installer : config_.installers) stamp(installer.file);
  return stamps;
}

// A file missing or unreadable is left out of the answer (and logged), not offered broken.
// Banners and installers are named by their paths on this server, "/" first: the program
// puts the path right after the host, and takes nothing else.
std::string Version_Answer::Build(std::vector<File_Stamp>& stamps) const {
  Version_Answer_Text answer{config_.version, config_.news_page, config_.release_notes, {}, {}};
  std::size_t slot = 0;
  for (const Ad_Config& ad : config_.ads) {
    std::string image;
    struct stat info;
    if (www_.Read(ad.image, image, info)) {
      answer.ads.push_back({ad.number, "/" + ad.image, MD5_Of_Text(image)});
    } else {
      std::cerr << "platterscope-server: banner www/" << ad.image << " cannot be read; ad " << ad.number
                << " left out\n";
      stamps[slot].present = false;
    }
    ++slot;
  }
  for (const Installer_Config& installer : config_.installers) {
    std::string bytes;
    struct stat info;
    if (www_.Read(installer.file, bytes, info) && !bytes.empty()) {
      // The signature binds the bytes to the version offered, the platform and the target.
      const std::string statement = Installer_Statement({config_.version, installer.platform, installer.target,
                                                         static_cast<std::int64_t>(bytes.size()), Sha256_Hex(bytes)});
      answer.installers.push_back({"/" + installer.file, static_cast<std::int64_t>(bytes.size()), MD5_Of_Text(bytes),
                                   installer.target, keys_.Sign(statement)});
    } else {
      std::cerr << "platterscope-server: installer www/" << installer.file << " cannot be read; left out\n";
      stamps[slot].present = false;
    }
    ++slot;
  }
  return Write_Version_Answer(answer);
}

std::string Version_Answer::Text() {
  std::vector<File_Stamp> now = Stamps();
  std::lock_guard lock(mutex_);
  if (text_.empty() || now != stamps_) {
    text_ = Build(now);
    stamps_ = std::move(now);
  }
  return text_;
}

std::optional<std::string> Version_Answer::Ad_Target(const std::string& number) const {
  for (const Ad_Config& ad : config_.ads)
    if (ad.number == number) return ad.target;
  return std::nullopt;
}
