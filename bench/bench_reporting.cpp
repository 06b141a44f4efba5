// --send and --replay-queue of the headless runner, on the same reporting code as the
// window.
#include "bench/bench_reporting.h"

#include <unistd.h>

#include <array>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "app/computer_id.h"
#include "common/global_functions.h"
#include "common/log.h"
#include "common/registry_functions.h"
#include "common/server.h"
#include "inventory/drive_info.h"
#include "inventory/machine_profile.h"
#include "reporting/result_report.h"

namespace {

// The report's wait message goes to stderr; its log lines to the daily log.
class Console_Report_Host : public Report_Host {
 public:
  void Display_Loading_Panel(bool show, const std::string& text) override {
    if (show) std::fprintf(stderr, "%s\n", text.c_str());
  }
  void Set_Status_Text(const std::string&) override {}
  void Local_Writelog(const std::string& text) override { Write_Log(text); }
};

// Whether folder is path itself or one of its parents.
bool Holds(const std::string& folder, const std::string& path) {
  if (folder == "/") return true;
  return path == folder || (path.size() > folder.size() && path.compare(0, folder.size(), folder) == 0 &&
                            path[folder.size()] == '/');
}

// The listed drive whose mount point holds target: the deepest one; none when no listed
// drive holds it.
bool Drive_Holding(const std::string& target, TMyLogicalDisks& drive) {
  std::vector<std::string> entries;
  std::array<TMyLogicalDisks, 31> drives{};
  Get_All_Local_Drives(entries, drives, platform::System_Inventory_Provider(), Write_Log);
  std::error_code ec;
  const std::string path = std::filesystem::weakly_canonical(target, ec).string();
  std::size_t best = 0;
  bool found = false;
  for (std::size_t k = 0; k < entries.size(); ++k) {
    const std::string mount = Drive_Mount_Point(drives[k]);
    if (Holds(mount, path) && (!found || mount.size() > best)) {
      drive = drives[k];
      best = mount.size();
      found = true;
    }
  }
  return found;
}

const char* Outcome_Word(Queue_Outcome::Kind kind) {
  switch (kind) {
    case Queue_Outcome::Kind::Sent: return "sent";
    case Queue_Outcome::Kind::Moved_Aside: return "moved aside";
    case Queue_Outcome::Kind::Refused: return "refused";
    default: return "kept";
  }
}

}  // namespace

int Send_Run_Report(const std::string& target, const Run_Result& result, std::stop_token stop) {
  if (result.Stopped()) {
    std::printf("Not sent (run stopped)\n");
    return kExitNotConfirmed;
  }
  Machine_Profile profile;
  TMyLogicalDisks drive;
  bool listed = false;
  try {
    Fill_Machine_Profile(profile, platform::System_Inventory_Provider());
    listed = Drive_Holding(target, drive);
  } catch (const std::exception& error) {
    std::fprintf(stderr, "platterscope-bench: %s\n", error.what());
  }
  const Report_Facts facts{Load_Computer_Id(Get_Application_File(), Get_Application_Folder()),
                           result.seconds,
                           Get_File_Version(4, ""),
                           Results_Server_Base(),
                           &profile,
                           listed ? &drive : nullptr,
                           &result};
  Console_Report_Host host;
  const std::string status = Send_Result_To_Database(host, facts, Program_Report_Channel(std::move(stop)));
  std::printf("%s\n", status.c_str());
  return status == "OK" ? 0 : kExitNotConfirmed;
}

int Replay_Queue(std::stop_token stop) {
  const Report_Channel channel = Program_Report_Channel(std::move(stop));
  if (channel.offline) {
    std::printf("%s\n", kStatusOffline);
    return kExitNotConfirmed;
  }
  std::vector<Queue_Outcome> outcomes;
  Replay_Message_Queue(channel, Write_Log, &outcomes);
  if (outcomes.empty()) std::printf("queue empty: %s\n", channel.queue_folder.c_str());
  bool kept = false;  // or refused: not every report reached the server's records
  for (const Queue_Outcome& outcome : outcomes) {
    std::printf("%s %s%s%s%s\n", Outcome_Word(outcome.kind), outcome.path.c_str(), outcome.note.empty() ? "" : " (",
                outcome.note.c_str(), outcome.note.empty() ? "" : ")");
    kept = kept || outcome.kind == Queue_Outcome::Kind::Kept || outcome.kind == Queue_Outcome::Kind::Refused;
  }
  return kept ? kExitNotConfirmed : 0;
}

// The package's installer runs this with administrative rights, so that every user of the
// machine reads one identifier.
int Print_Computer_Id() {
  const std::string id = Load_Computer_Id(Get_Application_File(), Get_Application_Folder());
  std::printf("%s\n", id.c_str());
  if (Reg_Value_Text(Reg_Read_Value(HKEY_LOCAL_MACHINE, kSettingsKey, "Computer_Id", "")) == id) return 0;
  const std::string why = Reg_Last_Write_Failure();
  std::string text = "platterscope-bench: Cannot store the computer identifier in " + Settings_File();
  if (!why.empty()) text += ": " + why;
  if (::geteuid() != 0) text += why.empty() ? ": the store is written only with administrative rights"
                                            : " (the store is written only with administrative rights)";
  std::fprintf(stderr, "%s\n", text.c_str());
  return 1;
}
