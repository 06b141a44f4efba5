// The version check at start-up with its news and advertisements, the banner rotation, and the
// upgrade that hands over to a verified installer. The window keeps one checker and calls it
// from its entry points; the headless runner and the tests keep their own.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "platform/descriptor.h"
#include "reporting/http_client.h"
#include "updates/signature.h"
#include "updates/update_host.h"

// One advertisement.
struct TMyAds {
  std::string Number;        // first field of its entry
  std::string ImageLink;     // path of the banner on the results server, second field
  std::string Link;          // the click-report address opened when the banner is clicked
  std::string MD5;           // the banner's digest, third field
  std::string PhysicalFile;  // the cached banner: ads folder + Number + last four of ImageLink
  std::string Active;        // "1" cached and showable, "0" not, empty for an entry never filled
  std::int32_t Impressions = 0;
  std::string Displayed;     // "1" for the banner on screen
  std::int32_t Clicks = 0;
  std::string View;          // the view-report address (composed, never requested)
};

inline constexpr int kLastAd = 200;
inline constexpr std::size_t kMaxAdEntries = 11;
inline constexpr std::size_t kMaxAdFields = 11;
inline constexpr std::size_t kMaxAnswerPieces = 51;
// No banner is larger; a bigger download is a failed one.
inline constexpr std::int64_t kMaxBannerBytes = 8 * 1024 * 1024;

// Where the check goes, what it tells the server, where it keeps files and whom it trusts.
struct Update_Settings {
  bool offline = false;         // no traffic with the server at all
  std::string server_host;      // host, ":port" included
  std::string version;          // the program's four-part version
  std::string version3;         // its three-part version, compared with the offered one
  std::string computer_id;
  std::string program_folder;   // where installers are stored, with a trailing "/"
  std::string ads_folder;       // the banner cache, with a trailing "/"; empty when there is none
  Public_Key public_key{};      // installers must be signed by its private half
  Transfer_Limits limits;
};

// The running program's settings: PLATTERSCOPE_SERVER, its own version and folder, the
// user's banner cache and the built-in key.
Update_Settings Program_Update_Settings(const std::string& computer_id);

// $XDG_CACHE_HOME/Quillorane/ADS/ (~/.cache/... by default); empty without a home folder.
std::string Ads_Folder();

// Creates path and its missing parents (mode 0700), reached only through folders of the user's
// or root's; true when it exists as a folder of the user afterwards.
// A path shorter than three characters counts as present.
bool Force_Folder(std::string path, std::string* reason = nullptr);

// Whether name can be a file of the banner folder: not empty, not "." or "..", no "/", no NUL.
bool Plain_File_Name(const std::string& name);

// Whether path names something on the results server once appended to its address: it starts
// with "/" (otherwise "@elsewhere/x" would change the host) and holds no blank or control.
bool Results_Server_Path(const std::string& path);

// What one check did, line by line, for the headless runner.
struct Check_Report {
  bool answered = false;
  std::string version;                   // the version offered, as the server wrote it
  bool newer = false;
  std::string messages;                  // the news page
  std::vector<std::string> ads;          // "ad K: ..." per entry filled
  std::vector<std::string> installers;   // "installer in piece K: ..." per installer entry
};

class Update_Checker {
 public:
  // How the start-up's upgrade branch ended.
  enum class Upgrade { None, Started, Failed };

  explicit Update_Checker(Update_Host& host) : host_(host) {}

  // Asks the server for the latest version, the news and the advertisements; fills MyAds,
  // downloads and verifies an installer for a newer version, shows the news otherwise, then
  // shows a banner and starts the banner timer. An answer beyond the limits (ads, fields,
  // pieces, a [SIZE] that is no number) ends it with an error after the panels are put right.
  void Check_New_Version(const Update_Settings& settings, Check_Report* report = nullptr);
  // Shows the active ad with the fewest impressions (the lowest index on a tie); an ad whose
  // banner cannot be shown becomes inactive and the next is tried; none hides the banner.
  void Display_Ads();
  // Opens the shown ad's Link and counts the click.
  void Image1Click();
  // Moves application_file aside and starts the recorded installer. True when it runs.
  bool update_program(const std::string& application_file);
  // The start-up's branch after the check: with an upgrade recorded, says so for 2 seconds
  // and runs update_program.
  Upgrade Start_Upgrade(const std::string& application_file);

  std::string NEW_VERSION_AVAILABLE;
  std::string NEW_UPGRADE_MD5;
  std::string NEW_UPGRADE_FILE;
  std::array<TMyAds, kLastAd + 1> MyAds{};

 private:
  void Read_Answer(const Update_Settings& settings, std::string& messages, Check_Report* report);
  void End_Check();
  void Fill_Ads(const std::string& list, const Update_Settings& settings, Check_Report* report);
  void Fill_Ad(int index, const std::string& entry, const Update_Settings& settings,
               const platform::Descriptor& folder, Check_Report* report);
  bool Download_Banner(const TMyAds& ad, const std::string& name, const Update_Settings& settings,
                       const platform::Descriptor& folder, std::string& why);
  void Try_Installer(int piece_index, const std::string& piece, const std::string& version,
                     const Update_Settings& settings, Check_Report* report);
  struct Installer_Entry;
  bool Fetch_Installer(const Installer_Entry& entry, const Update_Settings& settings, std::string& path,
                       std::string& why);
  void Log(const std::string& text) { host_.Local_Writelog(text); }

  Update_Host& host_;
};
