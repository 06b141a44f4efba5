// Check_New_Version: the request, the tagged answer with its version read as numbers, and the
// way the check always ends, with the panels put right and the controls back whenever nothing
// else claims them.
#include "updates/update_checker.h"

#include <charconv>

#include "common/global_functions.h"
#include "common/server.h"
#include "platform/folder_files.h"
#include "platform/upgrade_files.h"
#include "protocol/version_answer_format.h"
#include "reporting/installer_statement.h"

namespace {

constexpr std::size_t kMostVersionParts = 4;
constexpr std::size_t kMostVersionDigits = 9;

}  // namespace

Update_Settings Program_Update_Settings(const std::string& computer_id) {
  Update_Settings settings;
  settings.offline = Results_Server_Offline();
  settings.server_host = Results_Server_Base();
  settings.version = Get_File_Version(4, "");
  settings.version3 = Get_File_Version(3, "");
  settings.computer_id = computer_id;
  settings.program_file = Get_Application_File();
  settings.program_folder = Get_Application_Folder();
  settings.platform = Installer_Platform(platform::Machine_Name());
  settings.ads_folder = Ads_Folder();
  settings.public_key = Program_Public_Key();
  return settings;
}

bool Parse_Version(const std::string& text, std::vector<std::uint32_t>& parts) {
  parts.clear();
  std::size_t from = 0;
  for (;;) {
    const std::size_t dot = std::min(text.find('.', from), text.size());
    const std::size_t digits = dot - from;
    std::uint32_t value = 0;
    const char* first = text.data() + from;
    // from_chars takes digits only: no blank, sign or other byte passes.
    if (digits == 0 || digits > kMostVersionDigits || parts.size() == kMostVersionParts ||
        std::from_chars(first, first + digits, value).ptr != first + digits)
      return false;
    parts.push_back(value);
    if (dot == text.size()) return true;
    from = dot + 1;
  }
}

bool Newer_Version(const std::string& offered, const std::string& own) {
  std::vector<std::uint32_t> a, b;
  if (!Parse_Version(offered, a) || !Parse_Version(own, b)) return false;
  a.resize(kMostVersionParts);
  b.resize(kMostVersionParts);
  return a > b;
}

void Update_Checker::Check_New_Version(const Update_Settings& settings, Check_Report* report, std::stop_token stop) {
  Fetch_Updates(settings, report, std::move(stop));
  Show_Updates();
}

void Update_Checker::Fetch_Updates(const Update_Settings& settings, Check_Report* report, std::stop_token stop) {
  NEW_VERSION_AVAILABLE.clear();
  installer_ = platform::Descriptor();
  std::string messages;
  try {
    Read_Answer(settings, messages, report, stop);
  } catch (...) {
    End_Check();
    throw;
  }
  End_Check();
}

void Update_Checker::Show_Updates() {
  Display_Ads();
  host_.Start_Ads_Timer();
}

void Update_Checker::Take_Check(Update_Checker& fetched) {
  NEW_VERSION_AVAILABLE = fetched.NEW_VERSION_AVAILABLE;
  NEW_UPGRADE_MD5 = fetched.NEW_UPGRADE_MD5;
  NEW_UPGRADE_FILE = fetched.NEW_UPGRADE_FILE;
  installer_ = std::move(fetched.installer_);
  for (std::size_t k = 0; k < MyAds.size(); ++k) {
    TMyAds taken = fetched.MyAds[k];
    taken.Impressions = MyAds[k].Impressions;
    taken.Clicks = MyAds[k].Clicks;
    taken.Displayed = MyAds[k].Displayed;
    MyAds[k] = std::move(taken);
  }
}

void Update_Checker::Read_Answer(const Update_Settings& settings, std::string& messages, Check_Report* report,
                                 const std::stop_token& stop) {
  if (settings.offline) return;
  host_.Set_Status_Text("Looking for updates, please wait...");
  host_.Display_Loading_Panel(true, "Checking for new version...");
  const std::string url = Server_Base(settings.server_host) + "/program_version3.php?Id=1&Upgrade=1&Ver=" +
                          Query_Value(settings.version) + "&CompId=" + Query_Value(settings.computer_id);
  const std::string answer = Get_Url_Text(url, "", "", "", "", settings.limits.answer, stop);
  if (answer.empty()) return;
  if (report != nullptr) report->answered = true;

  // A [VERSION] that is not a version (a blank, a nested tag, text) makes the whole answer
  // suspect: nothing of it is used.
  const std::string version = Read_Answer_Tag(Answer_Tag::Version, answer);
  std::vector<std::uint32_t> parts;
  if (!version.empty() && !Parse_Version(version, parts)) {
    const std::string why = "[VERSION] \"" + version + "\" is not a version";
    Log("Version answer refused: " + why);
    if (report != nullptr) report->refused = why;
    return;
  }
  messages = Read_Answer_Tag(Answer_Tag::Messages, answer);
  Read_Answer_Tag(Answer_Tag::Release_Notes, answer);  // read, not shown
  const std::string ads = Read_Answer_Tag(Answer_Tag::Ads, answer);
  if (!ads.empty()) Fill_Ads(ads, settings, report, stop);

  std::vector<std::string> pieces(kMaxAnswerPieces);
  const int last = Split_String(pieces, answer, std::string(kAnswerBreak));
  const bool newer = Newer_Version(version, settings.version3);
  if (report != nullptr) {
    report->messages = messages;
    report->version = version;
    report->newer = newer;
  }
  if (newer) {
    for (int k = 0; k <= last; ++k)
      Try_Installer(k, pieces[static_cast<std::size_t>(k)], version, settings, report, stop);
  } else if (!messages.empty()) {
    host_.Display_Message_Panel(true, messages);
  }
}

void Update_Checker::End_Check() {
  host_.Set_Status_Text("");
  host_.Display_Loading_Panel(false, "");
  // The user can always benchmark unless an upgrade is about to run or the news is up (its
  // close brings the controls back).
  if (NEW_VERSION_AVAILABLE.empty() && !host_.Message_Panel_Shown()) host_.Enable_All_Buttons(true, true);
}

Update_Checker::Upgrade Update_Checker::Start_Upgrade(const std::string& application_file) {
  return Announce_Upgrade() ? Finish_Upgrade(application_file) : Upgrade::None;
}

bool Update_Checker::Announce_Upgrade() {
  if (NEW_VERSION_AVAILABLE.empty()) return false;
  host_.Display_Loading_Panel(true, "Upgrading to version " + NEW_VERSION_AVAILABLE + ", please wait... ");
  return true;
}

Update_Checker::Upgrade Update_Checker::Finish_Upgrade(const std::string& application_file) {
  if (update_program(application_file)) return Upgrade::Started;
  host_.Display_Loading_Panel(false, "");
  return Upgrade::Failed;
}
