// --check-updates of the headless runner, on the same update code as the window; its host
// prints instead of drawing and never opens a browser.
#include "bench/bench_updates.h"

#include <cstdio>
#include <exception>

#include "app/computer_id.h"
#include "bench/bench_reporting.h"
#include "common/global_functions.h"
#include "common/log.h"
#include "common/plain_text.h"
#include "common/server.h"
#include "updates/update_checker.h"

namespace {

class Console_Update_Host : public Update_Host {
 public:
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

// One line of output; whatever the server wrote in it is escaped, so that no answer can
// forge a line or send control sequences to the terminal.
void Print_Line(const std::string& line) { std::printf("%s\n", One_Line_Text(line).c_str()); }

void Print_Report(const Check_Report& report, const Update_Settings& settings) {
  if (report.version.empty()) Print_Line("version offered: none");
  else
    Print_Line("version offered: " + report.version + " (" + (report.newer ? "newer than " : "not newer than ") +
               settings.version3 + ")");
  if (!report.messages.empty()) Print_Line("news: " + report.messages);
  for (const std::string& line : report.ads) Print_Line(line);
  for (const std::string& line : report.installers) Print_Line(line);
}

}  // namespace

int Check_Updates(std::stop_token stop) {
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
    checker.Check_New_Version(settings, &report, stop);
  } catch (const std::exception& error) {
    Print_Report(report, settings);
    Print_Line(std::string("answer refused: ") + error.what());
    return 1;
  }
  if (!report.answered) {
    Print_Line(stop.stop_requested() ? "Not checked (stopped)" : "no answer from " + settings.server_host);
    return kExitNotConfirmed;
  }
  if (!report.refused.empty()) {
    Print_Line("answer refused: " + report.refused);
    return 1;
  }
  Print_Report(report, settings);
  return 0;
}
