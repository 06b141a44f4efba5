// A host that records what the engine asks of the window, and a file system the test
// mounts itself, so that the engine runs on a real disk without a window.
#pragma once

#include <gtest/gtest.h>
#include <sys/mount.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "engine/benchmark.h"
#include "engine/host.h"
#include "scratch_folder.h"

class Fake_Host : public Engine_Host {
 public:
  void Process_Messages() override {
    ++pumps;
    if (on_pump) on_pump();
  }
  void Display_Loading_Panel(bool show, const std::string& text) override {
    panel_visible = show;
    panel_text = show ? text : "";
    if (show) panel_texts.push_back(text);
    Process_Messages();
  }
  void DrawGraph(int column, double value) override { drawn.emplace_back(column, value); }
  void Redraw_Graph() override { ++redraws; }
  void Set_Label_Text(const std::string& label, const std::string& text) override { labels[label] = text; }
  void Set_Status_Text(const std::string& text) override { status = text; }
  void Show_Progress(int done, int total, std::int64_t seconds_left) override {
    progress.push_back({done, total, seconds_left});
  }
  void Show_Error(const std::string& text) override { errors.push_back(text); }
  void Local_Writelog(const std::string& text) override {
    Process_Messages();
    log.push_back(text);
  }
  void Show_Run_State(Run_State state) override {
    run_state = state;
    states.push_back(state);
  }
  void Enable_Start_Button(bool enabled) override { start_enabled = enabled; }
  void Enable_All_Buttons(bool status_, bool sbutton) override {
    controls_enabled = status_;
    start_enabled = sbutton;
  }
  void Send_Result_To_Database() override { ++reports; }
  void Send_Result_to_Grid() override { ++grid_rows; }
  void Show_Device_Check(const std::string& label, const Device_Check& check) override { checks[label] = check; }

  // Presses the Start/Stop button the way a user can: only while it is enabled and reads "Stop".
  bool Press_Stop(Benchmark_Engine& engine) {
    if (!start_enabled || run_state != Run_State::Running) return false;
    engine.Request_Stop();
    return true;
  }
  bool Logged(const std::string& line) const { return std::find(log.begin(), log.end(), line) != log.end(); }
  bool Logged_Prefix(const std::string& prefix) const {
    return std::any_of(log.begin(), log.end(), [&](const std::string& l) { return l.rfind(prefix, 0) == 0; });
  }

  struct Progress {
    int done, total;
    std::int64_t seconds_left;
    bool operator==(const Progress&) const = default;
  };

  std::function<void()> on_pump;
  std::vector<Progress> progress;
  long pumps = 0;
  bool panel_visible = false;
  std::string panel_text;
  std::vector<std::string> panel_texts;
  std::vector<std::pair<int, double>> drawn;
  int redraws = 0;
  std::map<std::string, std::string> labels;
  std::map<std::string, Device_Check> checks;  // the marks of the labels
  std::string status = "unset";
  std::vector<std::string> errors;
  std::vector<std::string> log;
  Run_State run_state = Run_State::Idle;
  std::vector<Run_State> states;
  bool start_enabled = true;
  bool controls_enabled = true;
  int reports = 0;
  int grid_rows = 0;
};

// The lines must appear in the log in this order (other lines may come between).
inline ::testing::AssertionResult Logged_In_Order(const Fake_Host& host, const std::vector<std::string>& lines) {
  std::size_t at = 0;
  for (const std::string& line : lines) {
    while (at < host.log.size() && host.log[at] != line) ++at;
    if (at == host.log.size()) return ::testing::AssertionFailure() << "missing or out of order: " << line;
    ++at;
  }
  return ::testing::AssertionSuccess();
}

// A small file system mounted for one test: tmpfs with a size limit, or ext4 on a loop
// file (Ext4_Data_Journal: with its data journalled, which keeps even "direct" transfers in
// the page cache). Needs root; unmounted and removed afterwards.
class Mounted_File_System {
 public:
  enum class Kind { Tmpfs, Ext4, Ext4_Data_Journal };
  Mounted_File_System(Kind kind, int size_mib) : point_(scratch_.path() + "/mnt") {
    std::filesystem::create_directory(point_);
    if (kind == Kind::Tmpfs) {
      std::string options = "size=" + std::to_string(size_mib) + "m,nr_inodes=1m";
      mounted_ = ::mount("tmpfs", point_.c_str(), "tmpfs", 0, options.c_str()) == 0;
    } else {
      std::string image = scratch_.path() + "/disk.img";
      std::string command = "truncate -s " + std::to_string(size_mib) + "M " + image + " && mkfs.ext4 -q -F " + image +
                            " && mount -o loop" + (kind == Kind::Ext4_Data_Journal ? ",data=journal " : " ") + image +
                            " " + point_ + " 2>/dev/null";
      mounted_ = std::system(command.c_str()) == 0;
    }
  }
  ~Mounted_File_System() {
    if (mounted_ && ::umount2(point_.c_str(), 0) != 0) ::umount2(point_.c_str(), MNT_DETACH);
  }
  bool mounted() const { return mounted_; }
  const std::string& path() const { return point_; }

 private:
  Scratch_Folder scratch_;
  std::string point_;
  bool mounted_ = false;
};
