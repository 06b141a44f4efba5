// A network share whose server is gone: asking it hangs, and the program must not hang with
// it. A stand-in for the file system blocks on the share until the test lets it go.
#include <gtest/gtest.h>

#include <array>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "common/log.h"
#include "fake_machine.h"
#include "inventory/drive_info.h"
#include "inventory/wmi_functions.h"
#include "platform/bounded_call.h"
#include "platform/posix_platform.h"
#include "platform/volumes.h"

namespace {

using namespace std::chrono_literals;

// Answers every path at once, except those under the dead share: those block until the test
// ends (or, so that a hanging program still ends, for 20 seconds).
class Dead_Share {
 public:
  explicit Dead_Share(std::string share) : share_(std::move(share)) {}
  // Lets the helpers go and waits until none is inside any more.
  ~Dead_Share() {
    Release();
    while (inside_ > 0) std::this_thread::sleep_for(1ms);
  }

  std::function<bool(const std::string&, platform::Path_Answer&)> Ask() {
    return [this](const std::string& path, platform::Path_Answer& answer) {
      if (path.rfind(share_, 0) == 0) {
        ++inside_;
        ++asked;
        {
          std::unique_lock<std::mutex> lock(mutex_);
          if (!changed_.wait_for(lock, 20s, [this] { return released_; })) ++waited_out;
        }
        --inside_;
        return false;
      }
      return platform::Ask_File_System(path, answer);
    };
  }
  void Release() {
    const std::lock_guard<std::mutex> lock(mutex_);
    released_ = true;
    changed_.notify_all();
  }

  std::atomic<int> asked{0};
  std::atomic<int> waited_out{0};  // questions that were waited for until the stand-in gave up

 private:
  std::string share_;
  std::atomic<int> inside_{0};
  std::mutex mutex_;
  std::condition_variable changed_;
  bool released_ = false;
};

}  // namespace

TEST(DeadShare, AHangingQuestionIsGivenUpAndNotAskedAgainWhileItHangs) {
  Dead_Share share("/share");
  platform::Path_Answer answer;
  auto ask = share.Ask();
  auto question = [&] { return ask("/share/x", answer); };
  EXPECT_FALSE(platform::Ask_Within<bool>("/share", 100ms, question).has_value());
  EXPECT_FALSE(platform::Ask_Within<bool>("/share", 100ms, question).has_value());
  EXPECT_EQ(share.asked, 1) << "one helper for a share that hangs, not one per question";
  EXPECT_EQ(platform::Ask_Within<int>("/elsewhere", 1000ms, [] { return 7; }), 7);
  share.Release();
  for (int i = 0; i < 100 && !platform::Begin_Question("/share"); ++i) std::this_thread::sleep_for(10ms);
  platform::End_Question("/share");
  EXPECT_EQ(platform::Ask_Within<int>("/share", 1000ms, [] { return 8; }), 8) << "asked again once it answered";
  EXPECT_EQ(share.waited_out, 0);
}

TEST(DeadShare, AShareThatDoesNotAnswerIsListedWithoutSizeAndLogged) {
  Fake_Machine m;
  Add_Disks(m);
  const std::string data = m.Folder("data"), share = m.Folder("share");
  Add_Mounts(m, {{"8:2", "/", data, "ext4", "/dev/sda2"}, {"0:50", "/", share, "nfs4", "server:/export"}});
  Dead_Share dead(share);
  m.sources.ask = dead.Ask();
  m.sources.network_time_limit = 200ms;
  platform::Linux_Inventory_Provider provider(platform::System_Platform(), m.sources);

  std::vector<std::string> entries, log;
  std::array<TMyLogicalDisks, 31> drives{};
  ASSERT_TRUE(Get_All_Local_Drives(entries, drives, provider, [&](const std::string& line) { log.push_back(line); }));
  EXPECT_EQ(dead.waited_out, 0) << "the listing waited for the share";
  ASSERT_EQ(entries.size(), 1u);
  EXPECT_EQ(drives[0].DeviceName, data + "/");
  std::array<MY_WMI_LogicalDiskDrive_Record, 31> rows;
  Get_WMI_Logical_Disks(rows, 30, provider);
  ASSERT_EQ(rows[1].DeviceID, share);
  EXPECT_EQ(rows[1].DriveType, "4");
  EXPECT_EQ(rows[1].Size, "") << "in the volume inventory without its size";
  bool logged = false;
  for (const std::string& line : log) logged = logged || line.find("No answer from the network drive " + share) == 0;
  EXPECT_TRUE(logged) << "the share that did not answer is logged";
}

TEST(DeadShare, TheFactsOfADriveOnADeadShareComeBackWithoutWaiting) {
  Fake_Machine m;
  const std::string share = m.Folder("share");
  Add_Mounts(m, {{"0:50", "/", share, "nfs4", "server:/export"}});
  Dead_Share dead(share);
  const platform::Volume_Query query{m.sources.proc, m.sources.sys, m.sources.dev, dead.Ask(), 200ms};
  const platform::Volume_Facts facts = platform::Get_Volume_Facts(share + "/folder", query);
  EXPECT_EQ(dead.waited_out, 0) << "the facts waited for the share";
  EXPECT_FALSE(facts.ok);
  EXPECT_TRUE(facts.no_answer);
  EXPECT_EQ(facts.mount_point, share);
  EXPECT_EQ(facts.drive_type, platform::kDriveNetwork);

  // The platform says the drive is on a share; the share then hangs when its space is asked.
  struct Share_Platform : platform::Posix_Platform {
    platform::Volume_Facts Volume(const std::string& path) override {
      platform::Volume_Facts facts = Posix_Platform::Volume(path);
      facts.drive_type = platform::kDriveNetwork;
      return facts;
    }
  } os;
  Scratch_Folder temp;
  Env_Override log_folder("TMPDIR", temp.path());
  Dead_Share dead_here(temp.path());
  m.sources.ask = dead_here.Ask();
  m.sources.network_time_limit = 200ms;
  platform::Linux_Inventory_Provider provider(os, m.sources);
  MY_DriveInfo info;
  EXPECT_FALSE(Get_Drive_Info(temp.path(), info, provider));
  EXPECT_EQ(dead_here.waited_out, 0) << "Get_Drive_Info waited for the share";
  EXPECT_EQ(info.DriveType, platform::kDriveNetwork);
  EXPECT_EQ(info.TotalSpace, 0);
  EXPECT_NE(Read_Whole_File(Log_File_Path()).find("No answer from the network drive"), std::string::npos);
}
