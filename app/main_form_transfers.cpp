// The window's transfers: the report of a finished run, and the start-up's steps after the
// local ones (the clean-up of upgrade leftovers with its pauses, the queue replay, the version
// check). Each runs on the transfer worker with its stop token, one at a time; what it tells
// reaches the window through a relay, and what it found is shown on the window's thread when
// it is over. A close stops it within a second.
#include <condition_variable>
#include <mutex>
#include <optional>

#include <QAction>
#include <QFrame>
#include <QMetaObject>
#include <QTimer>

#include "app/main_form.h"
#include "app/upgrade_leftovers.h"
#include "app/window_relay.h"
#include "common/global_functions.h"
#include "common/log.h"
#include "common/server.h"

namespace {

// The pause before each attempt at the upgrade leftovers.
constexpr std::chrono::seconds kLeftoverPause{3};
// How long the upgrade is announced before it starts.
constexpr int kUpgradeNoticeMs = 2000;

// Sleeps span, or less when stop is requested meanwhile.
void Pause(std::chrono::milliseconds span, const std::stop_token& stop) {
  std::mutex mutex;
  std::condition_variable_any woken;
  std::unique_lock<std::mutex> lock(mutex);
  woken.wait_for(lock, stop, span, [] { return false; });
}

void Log_Line(const std::string& line) { Write_Log(line); }

}  // namespace

void TMainForm::Start_Transfer(Transfer_Work work, std::function<void(const std::string&)> failed) {
  if (transfer_worker_.Active()) {
    queued_transfers_.emplace_back(std::move(work), std::move(failed));
    return;
  }
  transfer_failed_ = std::move(failed);
  transfer_worker_.Start(std::move(work), [this] {
    QMetaObject::invokeMethod(this, [this] { Transfer_Ended(); }, Qt::QueuedConnection);
  });
}

void TMainForm::Transfer_Ended() {
  if (!transfer_worker_.Active()) return;
  const auto failed = std::move(transfer_failed_);
  transfer_failed_ = {};
  std::function<void()> show;
  std::optional<std::string> failure;
  try {
    show = transfer_worker_.Take();
  } catch (const std::exception& error) {
    failure = error.what();
  } catch (...) {
    failure = "Unknown error raised during a transfer";
  }
  if (!queued_transfers_.empty()) {
    auto [work, next_failed] = std::move(queued_transfers_.front());
    queued_transfers_.pop_front();
    Start_Transfer(std::move(work), std::move(next_failed));
  }
  if (failure && failed) failed(*failure);
  else if (show) show();
}

void TMainForm::Stop_Transfers() {
  queued_transfers_.clear();
  transfer_worker_.Request_Stop();
}

void TMainForm::Remove_Upgrade_Leftovers() {
  // The moved old executable (_Quillorane-<name>) and downloaded installers
  // (_Quillorane<digits>.run), looked for where they are deleted, the program's folder.
  auto relay = std::make_shared<Window_Relay>(*this, Message_Panel_Shown());
  Start_Transfer(
      [this, relay, program = Get_Application_File()](std::stop_token stop) -> std::function<void()> {
        ::Remove_Upgrade_Leftovers(program, {[relay](const std::string& text) { relay->Display_Loading_Panel(true, text); },
                                             [&stop] { Pause(kLeftoverPause, stop); }, Log_Line});
        return [this] { Continue_Startup(); };
      },
      [this](const std::string& failure) { Startup_Failed(failure); });
}

void TMainForm::Process_Message_Queue() {
  Start_Transfer(
      [this](std::stop_token stop) -> std::function<void()> {
        auto outcomes = std::make_shared<std::vector<Queue_Outcome>>();
        Replay_Message_Queue(Program_Report_Channel(stop), Log_Line, outcomes.get());
        return [this, outcomes] {
          for (const Queue_Outcome& outcome : *outcomes)
            if (outcome.kind == Queue_Outcome::Kind::Sent) Offer_Compare_Online();
          Continue_Startup();
        };
      },
      [this](const std::string& failure) { Startup_Failed(failure); });
}

void TMainForm::Check_New_Version() {
  // The worker's checker starts from the window's table of ads and hands back what it found;
  // the window's own keeps rotating the banners meanwhile.
  auto relay = std::make_shared<Window_Relay>(*this, Message_Panel_Shown());
  auto fetched = std::make_shared<Update_Checker>(*relay);
  fetched->MyAds = updates_.MyAds;
  Start_Transfer(
      [this, relay, fetched, settings = Program_Update_Settings(COMPUTERID)](std::stop_token stop)
          -> std::function<void()> {
        fetched->Fetch_Updates(settings, nullptr, stop);
        return [this, relay, fetched] {
          updates_.Take_Check(*fetched);
          updates_.Show_Updates();
          Continue_Startup();
        };
      },
      [this](const std::string& failure) { Startup_Failed(failure); });
}

void TMainForm::Upgrade_Or_Finish() {
  if (!updates_.Announce_Upgrade()) {
    Finish_Startup();
    return;
  }
  // The notice stays for a moment; the window goes on meanwhile.
  QTimer::singleShot(kUpgradeNoticeMs, this, &TMainForm::Finish_Upgrade);
}

void TMainForm::Finish_Upgrade() {
  if (!Startup_Going()) return;  // closed meanwhile
  startup_step_ = Startup_Step::Done;
  // When it cannot start, the message panel says so and the controls stay off.
  if (updates_.Finish_Upgrade(Get_Application_File()) == Update_Checker::Upgrade::Started) close();
}

void TMainForm::Send_Result_To_Database(const Run_Result& result, std::function<void()> then) {
  // The worker gets its own copy of every fact: the window may change them meanwhile.
  struct Facts_Copy {
    Machine_Profile profile;
    std::optional<TMyLogicalDisks> drive;
    Run_Result run;
    std::string computer_id, version, server;
  };
  auto copy = std::make_shared<Facts_Copy>();
  copy->profile = profile_;
  if (const TMyLogicalDisks* drive = Selected_Drive()) copy->drive = *drive;
  copy->run = result;
  copy->computer_id = COMPUTERID;
  copy->version = Get_File_Version(4, "");
  copy->server = Results_Server_Base();
  auto relay = std::make_shared<Window_Relay>(*this, false);
  Start_Transfer(
      [this, copy, relay, then = std::move(then)](std::stop_token stop) -> std::function<void()> {
        const Report_Facts facts{copy->computer_id, copy->run.seconds, copy->version, copy->server,
                                 &copy->profile,    copy->drive ? &*copy->drive : nullptr, &copy->run};
        const std::string status = ::Send_Result_To_Database(*relay, facts, Program_Report_Channel(stop));
        return [this, status, then] {
          if (status == "OK") Offer_Compare_Online();
          if (then) then();
        };
      },
      [this](const std::string& failure) {
        Show_Unhandled_Error(failure);
        if (run_state_ == Run_State::Reporting) Run_Finished();
      });
}
