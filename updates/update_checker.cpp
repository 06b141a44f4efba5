// Check_New_Version: the request, the tagged answer and the way the check always ends, with
// the panels put right and the controls back whenever nothing else claims them.
#include "updates/update_checker.h"

#include "common/global_functions.h"
#include "common/server.h"
#include "platform/folder_files.h"

Update_Settings Program_Update_Settings(const std::string& computer_id) {
  Update_Settings settings;
  settings.offline = Results_Server_Offline();
  settings.server_host = Results_Server_Host();
  settings.version = Get_File_Version(4, "");
  settings.version3 = Get_File_Version(3, "");
  settings.computer_id = computer_id;
  settings.program_folder = Get_Application_Folder();
  settings.ads_folder = Ads_Folder();
  settings.public_key = Program_Public_Key();
  return settings;
}

void Update_Checker::Check_New_Version(const Update_Settings& settings, Check_Report* report) {
  NEW_VERSION_AVAILABLE.clear();
  std::string messages;
  try {
    Read_Answer(settings, messages, report);
  } catch (...) {
    End_Check();
    throw;
  }
  End_Check();
  Display_Ads();
  host_.Start_Ads_Timer();
}

void Update_Checker::Read_Answer(const Update_Settings& settings, std::string& messages, Check_Report* report) {
  if (settings.offline) return;
  host_.Set_Status_Text("Looking for updates, please wait...");
  host_.Display_Loading_Panel(true, "Checking for new version...");
  const std::string url = "http://" + settings.server_host + "/program_version3.php?Id=1&Upgrade=1&Ver=" +
                          settings.version + "&CompId=" + settings.computer_id;
  const std::string answer = Get_Url_Text(url, "", "", "", "", settings.limits);
  if (answer.empty()) return;
  if (report != nullptr) report->answered = true;

  messages = Get_Tag_Value("[MESSAGES]", "[/MESSAGES]", answer);
  Get_Tag_Value("[RELEASENOTES]", "[/RELEASENOTES]", answer);  // read, not shown
  const std::string ads = Get_Tag_Value("[ADS]", "[/ADS]", answer);
  if (!ads.empty()) Fill_Ads(ads, settings, report);

  std::vector<std::string> pieces(kMaxAnswerPieces);
  const int last = Split_String(pieces, answer, "[BR]");
  const std::string version = Get_Tag_Value("[VERSION]", "[/VERSION]", answer);
  // Compared as texts, character code by character code: 1.10.0 is not newer than 1.3.0.
  const bool newer = version > settings.version3;
  if (report != nullptr) {
    report->messages = messages;
    report->version = version;
    report->newer = newer;
  }
  if (newer) {
    for (int k = 0; k <= last; ++k) Try_Installer(k, pieces[static_cast<std::size_t>(k)], version, settings, report);
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
  if (NEW_VERSION_AVAILABLE.empty()) return Upgrade::None;
  host_.Display_Loading_Panel(true, "Upgrading to version " + NEW_VERSION_AVAILABLE + ", please wait... ");
  Wait_With_Messages(2, [this] { host_.Process_Messages(); });
  if (update_program(application_file)) return Upgrade::Started;
  host_.Display_Loading_Panel(false, "");
  return Upgrade::Failed;
}
