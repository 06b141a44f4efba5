// The runner's printed output.
#include "bench/runner_output.h"

#include <array>
#include <cstdio>
#include <vector>

#include "common/log.h"
#include "common/plain_text.h"
#include "common/result_text.h"
#include "common/results_export.h"
#include "inventory/drive_info.h"
#include "inventory/inventory_output.h"
#include "inventory/machine_profile.h"

namespace {

std::string Printf(const char* format, auto... values) {
  char line[256];
  std::snprintf(line, sizeof line, format, values...);
  return line;
}

// The drive list and its records as the window builds them.
bool List_Drives(std::ostream& err, platform::Inventory_Provider& inventory, std::vector<std::string>& entries,
                 std::array<TMyLogicalDisks, 31>& drives) {
  try {
    Get_All_Local_Drives(entries, drives, inventory, Write_Log);
    return true;
  } catch (const std::exception& error) {
    err << "platterscope-bench: " << error.what() << "\n";
    return false;
  }
}

}  // namespace

void Print_Results(std::ostream& out, const Runner_Options& options, const Run_Result& result) {
  if (!options.json) {
    for (std::size_t i = 0; i < result.tests.size(); ++i) {
      const Test_Result& test = result.tests[i];
      if (test.Measured())
        out << Printf("%-6s %-18s %10s MB/s  ", test.key.c_str(), kPlannedTests[i].Description,
                      Result_Text(test.rate).c_str())
            << One_Line_Text(Device_Check_Brief(test.check)) << "\n";
    }
    if (result.Stopped()) out << "stopped\n";
    out.flush();
    return;
  }
  out << "{\"target\":" << Json_String(options.target) << ",\"seconds\":" << options.seconds << ",\"tests\":[";
  bool first = true;
  for (std::size_t i = 0; i < result.tests.size(); ++i) {
    const Test_Result& test = result.tests[i];
    if (!test.Measured()) continue;
    out << (first ? "" : ",") << "{\"key\":" << Json_String(test.key)
        << ",\"description\":" << Json_String(kPlannedTests[i].Description) << Printf(",\"mbps\":%.2f", test.rate)
        << (test.note.empty() ? std::string() : ",\"note\":" + Json_String(test.note)) << Device_Check_Json_Fields(test.check)
        << "}";
    first = false;
  }
  out << "],\"stopped\":" << (result.Stopped() ? "true" : "false") << "}\n";
  out.flush();
}

void Print_Csv(std::ostream& out, const Runner_Options& options, const Run_Result& result, TDateTime ended) {
  out << Results_Csv({Run_Record{options.target, Date_Text(ended), result}});
  out.flush();
}

int Print_Drive_List(std::ostream& out, std::ostream& err, platform::Inventory_Provider& inventory) {
  std::vector<std::string> entries;
  std::array<TMyLogicalDisks, 31> drives{};
  if (!List_Drives(err, inventory, entries, drives)) return 1;
  out << Drive_List_Text(entries);
  out.flush();
  return 0;
}

int Print_Profile(std::ostream& out, std::ostream& err, const Runner_Options& options,
                  platform::Inventory_Provider& inventory) {
  Machine_Profile profile;
  try {
    Fill_Machine_Profile(profile, inventory);
  } catch (const std::exception& error) {
    err << "platterscope-bench: " << error.what() << "\n";
    return 1;
  }
  std::vector<std::string> entries;
  std::array<TMyLogicalDisks, 31> drives{};
  if (!List_Drives(err, inventory, entries, drives)) return 1;
  // The window reports the selected drive, entry 0 unless the user picks another.
  std::size_t chosen = 0;
  if (!options.target.empty()) {
    chosen = entries.size();
    for (std::size_t k = 0; k < entries.size(); ++k)
      if (Drive_Mount_Point(drives[k]) == options.target) chosen = k;
    if (chosen == entries.size()) {
      err << "platterscope-bench: " << options.target << " is not a listed drive (see --list-drives)\n";
      return 1;
    }
  }
  const TMyLogicalDisks drive = chosen < entries.size() ? drives[chosen] : TMyLogicalDisks{};
  const auto items = Profile_Report_Items(profile, drive);
  out << (options.json ? Profile_Json(items) : Profile_Text(items));
  out.flush();
  return 0;
}
