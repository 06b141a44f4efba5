// A host for the graph and the grid without a main window: it keeps the label texts, the
// status text and the log lines that they write.
#pragma once

#include <map>
#include <string>
#include <vector>

#include "engine/host.h"

class Recording_Host : public Engine_Host {
 public:
  void Process_Messages() override {}
  void Display_Loading_Panel(bool, const std::string&) override {}
  void DrawGraph(int, double) override {}
  void Redraw_Graph() override {}
  void Set_Label_Text(const std::string& label, const std::string& text) override { labels[label] = text; }
  void Set_Status_Text(const std::string& text) override { status = text; }
  void Show_Progress(int, int, std::int64_t) override {}
  void Show_Error(const std::string&) override {}
  void Local_Writelog(const std::string& text) override { log.push_back(text); }
  void Show_Run_State(Run_State) override {}
  void Enable_Start_Button(bool) override {}
  void Enable_All_Buttons(bool, bool) override {}
  void Send_Result_To_Database() override {}
  void Send_Result_to_Grid() override {}
  void Show_Device_Check(const std::string& label, const Device_Check& check) override { checks[label] = check; }

  std::map<std::string, std::string> labels;
  std::map<std::string, Device_Check> checks;
  std::string status = "unset";
  std::vector<std::string> log;
};

// A read of 4 GB that the device "vda" moved only `device_bytes` of: a cache answered it.
inline Device_Check Cached_Read(std::int64_t device_bytes) {
  Device_Check cached;
  cached.verdict = Device_Verdict::Cache;
  cached.read = true;
  cached.device = "vda";
  cached.device_bytes = device_bytes;
  cached.counted_bytes = 4'000'000'000;
  return cached;
}
