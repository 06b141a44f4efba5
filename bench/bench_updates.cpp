// --check-updates of the headless runner, on the same update code as the window; its host
// prints instead of drawing and never opens a browser.
#include "bench/bench_updates.h"

#include <cstdio>
#include <exception>

#include "app/computer_id.h"
#include "bench/bench_reporting.h"
#include "common/global_functions.h"
#include "common/log.h"
#include "common/server.h"
#include "updates/update_checker.h"

namespace {

class Console_Update_Host : public Update_Host {
 public:
  void Process_Messages() override {}
  void Display_Loading_Panel(bool show, const std::string& text) override {
    if (show) std::fprintf(stderr, "%s\n", text.c_str());
  }
  void Display_Message_Panel(bool, const std::string&) override {}
  bool Message_Panel_Shown() override { return false; }
  void Set_Status_Text(const std::string&) override {}
  void Enable_All_Buttons(bool, bool) override {}
  void Local_Writelog(const std::string& text) override { Write_Log(text); }
  bool Show_Banner(const std::string&, std::string&) override { return true; }
  void Hide_Banner() override {}
  void Start_Ads_Timer() override {}
  bool Open_URL(const std::string&) override { return false; }
};

void Print_Report(const Check_Report& report, const Update_Settings& settings) {
  if (report.version.empty()) std::printf("version offered: none\n");
  else
    std::printf("version offered: %s (%s %s)\n", report.version.c_str(), report.newer ? "newer than" : "not newer than",
                settings.version3.c_str());
  if (!report.messages.empty()) std::printf("news: %s\n", report.messages.c_str());
  for (const std::string& line : report.ads) std::printf("%s\n", line.c_str());
  for (const std::string& line : report.installers) std::printf("%s\n", line.c_str());
}

}  // namespace

int Check_Updates() {
  if (Results_Server_Offline()) {
    std::printf("Not checked (offline)\n");
    return kExitNotConfirmed;
  }
  Console_Update_Host host;
  Update_Checker checker(host);
  Check_Report report;
  Update_Settings settings;
  try {
    settings = Program_Update_Settings(Load_Computer_Id(Get_Application_File(), Get_Application_Folder()));
    checker.Check_New_Version(settings, &report);
  } catch (const std::exception& error) {
    Print_Report(report, settings);
    std::printf("answer refused: %s\n", error.what());
    return 1;
  }
  if (!report.answered) {
    std::printf("no answer from %s\n", settings.server_host.c_str());
    return kExitNotConfirmed;
  }
  Print_Report(report, settings);
  return 0;
}
