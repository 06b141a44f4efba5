// The window's run path: the Start button, the run on its worker, and what the run tells,
// shown on the window's thread. Nothing here waits for the run; the run never touches a
// widget.
#include <algorithm>
#include <exception>
#include <optional>

#include <QComboBox>
#include <QLabel>
#include <QPointer>
#include <QProgressBar>
#include <QPushButton>

#include "app/error_box.h"
#include "app/main_form.h"
#include "app/post_to_window.h"
#include "common/log.h"
#include "common/result_text.h"
#include "display/device_marks.h"
#include "engine/run_progress.h"

// The run's observer: each call is posted to the window as a queued event, so that the
// window sees them in the run's order on its own thread. Log lines are written at once, on
// the run's thread, in that same order.
class Window_Run_Observer : public Run_Observer {
 public:
  explicit Window_Run_Observer(TMainForm& form) : form_(form) {}

  void Tests_Begin() override {
    Post([](TMainForm& form) { form.Tests_Begin_Shown(); });
  }
  void Test_Started(int position) override {
    Post([position](TMainForm& form) { form.Show_Test_Started(position); });
  }
  void Test_Progress(int position, std::int64_t bytes, double seconds) override {
    Post([=](TMainForm& form) { form.Show_Live_Rate(position, bytes, seconds); });
  }
  void Test_Finished(int position, const Test_Result& result) override {
    Post([position, result](TMainForm& form) { form.Show_Test_Result(position, result); });
  }
  void Progress(int done, int total, std::int64_t seconds_left) override {
    Post([=](TMainForm& form) {
      if (form.run_state_ == Run_State::Running) form.Show_Progress(done, total, seconds_left);
    });
  }
  void Activity(const std::string& text) override {
    Post([text](TMainForm& form) { form.Show_Activity(text); });
  }
  void Status(const std::string& text) override {
    Post([text](TMainForm& form) { form.Set_Status_Text(text); });
  }
  void Error(const std::string& text) override {
    Post([text](TMainForm& form) { form.Show_Run_Error(text); });
  }
  void Log(const std::string& line) override { Write_Log(line); }
  // The run's worker is over; its result waits to be taken.
  void Ended() {
    Post([](TMainForm& form) { form.Run_Ended(); });
  }

 private:
  template <class Call>
  void Post(Call call) {
    Post_To(form_, std::move(call));
  }

  TMainForm& form_;
};

void TMainForm::Observer_Deleter::operator()(Window_Run_Observer* observer) const { delete observer; }

void TMainForm::StartButtonClick() {
  // An error must not leave the handler: the event loop cannot carry it.
  try {
    if (run_state_ == Run_State::Running) {
      Request_Stop();
    } else if (run_state_ == Run_State::Idle && peak_going_) {
      Set_Status_Text(kPeakGoingText);
    } else if (run_state_ == Run_State::Idle && Startup_Going()) {
      // The start-up sequence (after a dialog) is still at its transfers: the run starts
      // once it is over.
      start_after_startup_ = true;
      Set_Status_Text("The benchmark starts when the check for updates is over...");
    } else if (run_state_ == Run_State::Idle) {
      Start_Run();
    }
  } catch (const std::exception& error) {
    Show_Unhandled_Error(error.what());
  } catch (...) {
    Show_Unhandled_Error("Unknown error raised during the benchmark run");
  }
}

void TMainForm::Start_Run() {
  DEFAULTSECONDS = static_cast<std::int32_t>(
      std::clamp<std::int64_t>(Str_To_Int64_Safe(combo_testtime->currentText().toStdString()), 0, 200));
  const TMyLogicalDisks* drive = Selected_Drive();
  Run_Request request;
  request.drive = drive != nullptr ? Drive_Mount_Point(*drive) : std::string();
  request.seconds = DEFAULTSECONDS;
  close_requested_ = false;
  Show_Run_State(Run_State::Running);
  StartButton->setEnabled(false);  // until the pause after Start is over
  if (!run_observer_) run_observer_.reset(new Window_Run_Observer(*this));
  Window_Run_Observer* observer = run_observer_.get();
  const Run_Services services{*run_os_, *inventory_, *run_clock_};
  run_worker_.Start([request, services, observer](std::stop_token stop) {
    return Run(request, *observer, std::move(stop), services);
  }, [observer] { observer->Ended(); });
}

void TMainForm::Request_Stop() {
  Show_Run_State(Run_State::Stopping);
  Show_Activity("Stopping, please wait...");
  run_worker_.Request_Stop();
}

void TMainForm::Show_Run_State(Run_State state) {
  run_state_ = state;
  // Idle: "Start"; running: "Stop"; stopping and reporting: "Start", disabled until the run
  // has ended and been reported.
  StartButton->setText(state == Run_State::Running ? QStringLiteral("Stop") : QStringLiteral("Start"));
  if (state == Run_State::Stopping || state == Run_State::Reporting) StartButton->setEnabled(false);
  // The drive the run measures, as the list names it, for the run's grid row.
  if (state == Run_State::Running) run_drive_text_ = TargetDriveComboBox->currentText().toStdString();
  // The plan's time left no longer holds once the run stops; the bar goes when it has ended.
  if (state != Run_State::Running) TimeLeft->hide();
  if (state == Run_State::Idle) RunProgress->hide();
  Peak_Follow_Run_State();
}

void TMainForm::Tests_Begin_Shown() {
  Enable_All_Buttons(false, run_state_ == Run_State::Running);
  PrepareGraph(true);
}

void TMainForm::Show_Test_Started(int position) {
  if (position < 0 || position >= kPlannedTestCount) return;
  auto found = result_labels_.find(kPlannedTests[static_cast<std::size_t>(position)].TestSpeedLabel);
  if (found != result_labels_.end()) Mark_Live_Label(found->second);
}

void TMainForm::Show_Live_Rate(int position, std::int64_t bytes, double seconds) {
  if (position < 0 || position >= kPlannedTestCount || seconds <= 0) return;
  auto found = result_labels_.find(kPlannedTests[static_cast<std::size_t>(position)].TestSpeedLabel);
  if (found == result_labels_.end()) return;
  found->second->setText(QString::fromStdString(Result_Text(static_cast<double>(bytes) / 1e6 / seconds)));
  Mark_Live_Label(found->second);
}

void TMainForm::Show_Test_Result(int position, const Test_Result& result) {
  if (position < 0 || position >= kPlannedTestCount) return;
  const std::string label = kPlannedTests[static_cast<std::size_t>(position)].TestSpeedLabel;
  if (result.Measured()) {
    MyGraph.GraphColumn[static_cast<std::size_t>(position)].Check = result.check;
    DrawGraph(position, result.rate);
  }
  // A test that ended before it measured leaves its label as the reset left it.
  Set_Label_Text(label, result.Measured() ? Result_Text(result.rate) : "00.00");
  Show_Device_Check(label, result.Measured() ? result.check : Device_Check{});
}

void TMainForm::Show_Activity(const std::string& text) {
  Show_Status_Panel(loadingpanel, loadinglabel, !text.empty(), text);
}

void TMainForm::Show_Run_Error(const std::string& text) {
  // The run goes on meanwhile, and its events with it.
  Show_Joined_Error(run_error_box_, this, QStringLiteral("RunErrorBox"), QString::fromStdString(text),
                    Qt::ApplicationModal);
}

void TMainForm::Run_Ended() {
  std::optional<Run_Result> result;
  try {
    result = run_worker_.Take();
  } catch (const std::exception& error) {
    Show_Unhandled_Error(error.what());
  } catch (...) {
    Show_Unhandled_Error("Unknown error raised during the benchmark run");
  }
  Show_Activity("");
  if (!result || result->outcome != Run_Outcome::Completed) {
    Run_Finished();
    return;
  }
  // The report goes on the transfer worker; the row is added when it is over. A close asked
  // for during the run ends the report at once, which keeps it in the queue.
  Show_Run_State(Run_State::Reporting);
  if (close_requested_) transfer_worker_.Request_Stop();
  const Run_Result done = *result;
  Send_Result_To_Database(done, [this, done] {
    Send_Result_to_Grid(done);
    Run_Finished();
  });
}

void TMainForm::Run_Finished() {
  Enable_All_Buttons(true, true);
  Show_Run_State(Run_State::Idle);
  // A close asked for during the run is due now.
  if (close_requested_) close();
}
