// The version check at start-up with its news and advertisements, the banner rotation, and the
// upgrade that hands over to a verified installer. The window keeps one checker and calls it
// from its entry points; the headless runner and the tests keep their own.
#pragma once

#include <array>
#include <cstdint>
#include <stop_token>
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
// No installer is larger; a bigger [SIZE] is refused before anything is fetched.
inline constexpr std::int64_t kMaxInstallerBytes = 512 * 1024 * 1024;

// The limits of the check's transfers: the answer, each banner, each installer.
struct Update_Limits {
  Transfer_Limits answer = Answer_Limits();
  Transfer_Limits banner = Banner_Limits();
  Transfer_Limits installer = Installer_Limits();
};

// Where the check goes, what it tells the server, where it keeps files and whom it trusts.
struct Update_Settings {
  bool offline = false;         // no traffic with the server at all
  std::string server_host;      // the server: [http:// or https://]host[:port]
  std::string version;          // the program's four-part version
  std::string version3;         // its three-part version, compared with the offered one
  std::string computer_id;
  std::string program_file;     // the running program; its owner and root may own the folders above
  std::string program_folder;   // where installers are stored, with a trailing "/"
  std::string platform;         // what installers must be built for: "linux-x86_64"
  std::string ads_folder;       // the banner cache, with a trailing "/"; empty when there is none
  Public_Key public_key{};      // installers must be signed by its private half
  Update_Limits limits;
};

// The running program's settings: PLATTERSCOPE_SERVER, its own version, file and folder, the
// machine, the user's banner cache and the built-in key.
Update_Settings Program_Update_Settings(const std::string& computer_id);

// Whether text is a version: one to four numbers of at most nine digits, separated by ".",
// nothing else (no blank, no sign). parts gets the numbers.
bool Parse_Version(const std::string& text, std::vector<std::uint32_t>& parts);

// Whether offered is a greater version than own, number by number (1.10 > 1.9; a missing
// number counts as 0, so 1.3.0.1 > 1.3.0 and 1.3 = 1.3.0). False unless both are versions.
bool Newer_Version(const std::string& offered, const std::string& own);

// $XDG_CACHE_HOME/Quillorane/ADS/ (~/.cache/... by default); empty without a home folder.
std::string Ads_Folder();

// Whether name can be a file of the banner folder: not empty, not "." or "..", no "/", no NUL.
bool Plain_File_Name(const std::string& name);

// The path on the results server that path names, "/" first: a path without it is taken from
// the server's root. Empty when it could lead elsewhere or break the address: "//" first
// (another host), a backslash anywhere, a blank or a control character.
std::string Results_Server_Path(const std::string& path);

// Whether the first bytes of a file are those of a PNG, JPEG, GIF or BMP picture.
bool Banner_Picture(const std::string& first_bytes);

// What one check did, line by line, for the headless runner.
struct Check_Report {
  bool answered = false;
  std::string refused;                   // why the answer was not used, when it was not
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
  // pieces, a [SIZE] that is no number) ends it with an error after the panels are put right;
  // one whose [VERSION] is not a version is not used at all (logged). Every transfer ends
  // within a second once stop is requested.
  void Check_New_Version(const Update_Settings& settings, Check_Report* report = nullptr, std::stop_token stop = {});
  // The check's transfers and panels without the banner: the part a worker can do. The
  // window's own checker then takes the outcome (Take_Check) and shows it (Show_Updates).
  void Fetch_Updates(const Update_Settings& settings, Check_Report* report = nullptr, std::stop_token stop = {});
  // Shows a banner and starts the banner timer.
  void Show_Updates();
  // Takes what a check made with another checker found: the upgrade state, the verified
  // installer and the advertisements, keeping the impressions and clicks counted here
  // meanwhile.
  void Take_Check(Update_Checker& fetched);
  // Shows the active ad with the fewest impressions (the lowest index on a tie); an ad whose
  // banner cannot be shown becomes inactive and the next is tried; none hides the banner.
  void Display_Ads();
  // Opens the shown ad's Link and counts the click.
  void Image1Click();
  // Moves application_file aside and starts the recorded installer: the very file that was
  // verified, through the descriptor kept since its creation. True when it runs.
  bool update_program(const std::string& application_file);
  // The start-up's branch after the check: with an upgrade recorded, says so and runs
  // update_program.
  Upgrade Start_Upgrade(const std::string& application_file);
  // Its two halves, for a caller that holds a pause between them: says that an upgrade is
  // due (false when none is), and then starts it (the panel goes when it cannot start).
  bool Announce_Upgrade();
  Upgrade Finish_Upgrade(const std::string& application_file);

  std::string NEW_VERSION_AVAILABLE;
  std::string NEW_UPGRADE_MD5;
  std::string NEW_UPGRADE_FILE;
  std::array<TMyAds, kLastAd + 1> MyAds{};

 private:
  void Read_Answer(const Update_Settings& settings, std::string& messages, Check_Report* report,
                   const std::stop_token& stop);
  void End_Check();
  void Fill_Ads(const std::string& list, const Update_Settings& settings, Check_Report* report,
                const std::stop_token& stop);
  void Fill_Ad(int index, const std::string& entry, const Update_Settings& settings,
               const platform::Descriptor& folder, Check_Report* report, const std::stop_token& stop);
  bool Download_Banner(const TMyAds& ad, const std::string& name, const Update_Settings& settings,
                       const platform::Descriptor& folder, std::string& why, const std::stop_token& stop);
  void Try_Installer(int piece_index, const std::string& piece, const std::string& version,
                     const Update_Settings& settings, Check_Report* report, const std::stop_token& stop);
  struct Installer_Entry;
  bool Fetch_Installer(const Installer_Entry& entry, const Update_Settings& settings, std::string& path,
                       std::string& why, const std::stop_token& stop);
  // Downloads the entry's installer into file and checks its size, MD5 and signed statement;
  // makes it executable when they hold.
  bool Verified_Installer(const Installer_Entry& entry, const Update_Settings& settings,
                          const platform::Descriptor& file, std::string& why, const std::stop_token& stop);
  void Log(const std::string& text) { host_.Local_Writelog(text); }

  Update_Host& host_;
  // The verified installer, open for reading only, from its creation to its start.
  platform::Descriptor installer_;
};
