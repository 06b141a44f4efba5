// What the update tests share: a host that records what the checker asks of the window, a key
// pair of the test's own that signs installers, answers of the version check put together
// from their tags, and the settings of a program that lives in a throw-away folder.
#pragma once

#include <sodium.h>
#include <sys/stat.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "loopback_server.h"
#include "platform/upgrade_files.h"
#include "reporting/installer_statement.h"
#include "reporting/report_codec.h"
#include "scratch_folder.h"
#include "updates/update_checker.h"

class Fake_Update_Host : public Update_Host {
 public:
  void Display_Loading_Panel(bool show, const std::string& text) override {
    loading = show ? text : "";
    if (show) loading_texts.push_back(text);
  }
  // As the window's panel: showing it disables the controls, hiding it enables them.
  void Display_Message_Panel(bool show, const std::string& page) override {
    if (show && !message_shown) {
      pages.push_back(page);
      enabled = false;
    } else if (!show && message_shown) {
      enabled = true;
    }
    message_shown = show;
  }
  bool Message_Panel_Shown() override { return message_shown; }
  void Set_Status_Text(const std::string& text) override { status = text; }
  void Enable_All_Buttons(bool status, bool sbutton) override { enabled = status && sbutton; }
  void Local_Writelog(const std::string& text) override { log.push_back(text); }
  // A banner "decodes" when its file starts as a GIF picture does (see Banner_Bytes).
  bool Show_Banner(const std::string& file, std::string& reason) override {
    std::ifstream in(file, std::ios::binary);
    std::string start(6, '\0');
    if (!in.read(start.data(), 6) || start != "GIF89a") {
      reason = "cannot decode " + file;
      return false;
    }
    shown.push_back(file);
    banner_visible = true;
    return true;
  }
  void Hide_Banner() override { banner_visible = false; }
  void Start_Ads_Timer() override { timer_started = true; }
  bool Open_URL(const std::string& url) override {
    opened.push_back(url);
    return open_succeeds;
  }

  bool Logged(const std::string& line) const { return std::find(log.begin(), log.end(), line) != log.end(); }

  std::string loading = "unset";
  std::vector<std::string> loading_texts;
  bool message_shown = false;
  std::vector<std::string> pages;
  std::string status = "unset";
  bool enabled = false;  // disabled since the window was created
  std::vector<std::string> log;
  std::vector<std::string> shown;
  bool banner_visible = true;
  bool timer_started = false;
  std::vector<std::string> opened;
  bool open_succeeds = true;
};

// The bytes of a test banner: a GIF's signature, which the check takes for a picture and the
// fake window decodes, then a name that tells banners apart.
inline std::string Banner_Bytes(const std::string& name) { return "GIF89a " + name; }

// What this machine's program takes installers for: "linux-" and uname -m.
inline std::string This_Platform() { return Installer_Platform(platform::Machine_Name()); }

// An Ed25519 key pair made for one test; installers signed with it verify against its public half.
class Test_Key {
 public:
  Test_Key() {
    if (sodium_init() < 0) throw std::runtime_error("libsodium cannot start");
    crypto_sign_keypair(public_key.data(), secret_.data());
  }
  std::string Sign(const std::string& bytes) const {
    std::array<unsigned char, crypto_sign_BYTES> signature{};
    crypto_sign_detached(signature.data(), nullptr, reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size(),
                         secret_.data());
    std::string hex(2 * signature.size() + 1, '\0');
    sodium_bin2hex(hex.data(), hex.size(), signature.data(), signature.size());
    hex.pop_back();
    return hex;
  }
  // The signature of the statement an installer of version for platform must carry.
  std::string Sign_Statement(const std::string& installer, const std::string& version,
                             const std::string& platform = This_Platform(),
                             const std::string& target = "platterscope") const {
    return Sign(Installer_Statement({version, platform, target, static_cast<std::int64_t>(installer.size()),
                                     Sha256_Hex(installer)}));
  }
  Public_Key public_key{};

 private:
  std::array<unsigned char, crypto_sign_SECRETKEYBYTES> secret_{};
};

// An installer entry of the answer; the signature and the digest are the test's to choose.
inline std::string Installer_Entry(const std::string& path, const std::string& bytes, const std::string& signature,
                                   const std::string& md5) {
  std::string entry = "[FILE]" + path + "[/FILE][SIZE]" + std::to_string(bytes.size()) + "[/SIZE][MD5]" + md5 +
                      "[/MD5][TARGETFILE]platterscope[/TARGETFILE]";
  if (!signature.empty()) entry += "[SIGNATURE]" + signature + "[/SIGNATURE]";
  return entry;
}

// A tiny installer: a shell script that writes its argument count and the path it was
// started by to marker.
inline std::string Marker_Installer(const std::string& marker) {
  return "#!/bin/sh\nprintf '%s|%s' \"$#\" \"$0\" > '" + marker + "'\n";
}

// The path a verified installer is started by: its own descriptor, whatever its name says.
inline bool Started_From_Descriptor(const std::string& marker_text) {
  return marker_text.rfind("0|/proc/self/fd/", 0) == 0;
}

// A program installed in "Program Files" (a blank in the path) of a throw-away folder, with
// its banner cache beside it, that talks to server and trusts key.
inline Update_Settings Test_Settings(const Scratch_Folder& scratch, const std::string& server_host,
                                     const Public_Key& key) {
  using namespace std::chrono_literals;
  Update_Settings settings;
  settings.server_host = server_host;
  settings.version = "1.3.0.26";
  settings.version3 = "1.3.0";
  settings.computer_id = "20230426153012345";
  settings.program_folder = scratch / "Program Files/";
  settings.program_file = scratch.Make_File("Program Files/platterscope");
  settings.platform = This_Platform();
  settings.ads_folder = scratch / "cache/Quillorane/ADS/";
  settings.public_key = key;
  settings.limits = {Transfer_Limits{2000ms, 2000ms}, Transfer_Limits{2000ms, 2000ms}, Transfer_Limits{2000ms, 2000ms}};
  ::chmod(settings.program_folder.c_str(), 0755);
  return settings;
}

inline Update_Settings Test_Settings(const Scratch_Folder& scratch, const Loopback_Server& server,
                                     const Public_Key& key) {
  return Test_Settings(scratch, server.host(), key);
}

// The names in folder that begin with prefix.
inline std::vector<std::string> Files_Beginning(const std::string& folder, const std::string& prefix) {
  std::vector<std::string> names;
  std::error_code ec;
  for (const auto& entry : std::filesystem::directory_iterator(folder, ec)) {
    const std::string name = entry.path().filename().string();
    if (name.rfind(prefix, 0) == 0) names.push_back(name);
  }
  return names;
}
