// Creation, the start-up sequence that runs at activation, and shutdown.
#include <QApplication>
#include <QCloseEvent>
#include <QComboBox>
#include <QCoreApplication>
#include <QDialog>
#include <QPushButton>
#include <QTimer>
#include <QWindow>

#include "app/computer_id.h"
#include "app/help_form.h"
#include "app/main_form.h"
#include "app/upgrade_leftovers.h"
#include "common/global_functions.h"
#include "platform/inventory_provider.h"

void TMainForm::FormCreate() {
  Local_Writelog("Application Start Version:" + Get_File_Version(4, ""));
  Local_Writelog("Operating System: " + Get_Windows_Version_Name());
  std::vector<std::string> fields(4);
  Split_String(fields, Get_File_Version(4, ""), ".");
  setWindowTitle(QString::fromStdString("Quillorane - Platterscope v" + fields[0] + "." + fields[1] + "." + fields[2]));
  Clean_ALL_Stats();
  PrepareGraph(true);
  ConstructGrid();
  Enable_All_Buttons(false, false);
  Display_Loading_Panel(true, "Loading...");
}

void TMainForm::showEvent(QShowEvent* event) {
  QMainWindow::showEvent(event);
  if (shown_once_) return;
  shown_once_ = true;
  // The window is on the screen with "Loading..." before the slow steps run.
  QTimer::singleShot(0, this, &TMainForm::FormActivate);
}

namespace {

// Whether a window of the program is a dialog (the About window, a message box) rather than
// a popup (a drop-down list, a menu) or a tool tip.
bool Is_Dialog_Window(const QWindow* window) {
  if (window == nullptr) return false;
  for (QWidget* top : QApplication::topLevelWidgets())
    if (top->windowHandle() == window) return qobject_cast<QDialog*>(top) != nullptr;
  return false;
}

}  // namespace

void TMainForm::Focus_Changed(QWindow* now) {
  if (activation_.Focus_Changed(now, windowHandle(), Is_Dialog_Window(now)) && shown_once_) FormActivate();
}

void TMainForm::FormActivate() {
  // Not inside a run (a test's message box closing), and not while a sequence is still at
  // its transfers: either would redo the start-up mid-way and enable controls that must stay
  // disabled.
  if (Run_Going() || Startup_Going()) return;
  startup_step_ = Startup_Step::Local;
  start_after_startup_ = false;
  try {
    Run_Startup_Sequence();
  } catch (const std::exception& error) {
    Startup_Failed(error.what());
  } catch (...) {
    Startup_Failed("Unknown error raised during start-up");
  }
}

void TMainForm::Run_Startup_Sequence() {
  combo_testtime->setCurrentIndex(4);
  Fill_Machine_Profile(profile_, *inventory_);
  COMPUTERID = Load_Computer_Id(Get_Application_File(), Get_Application_Folder());
  Refresh_Drive_List();
  // The rest goes on the transfer worker, step by step (Continue_Startup).
  startup_step_ = Startup_Step::Leftovers;
  Remove_Upgrade_Leftovers();
}

void TMainForm::Continue_Startup() {
  if (!Startup_Going()) return;  // ended by a close or an error
  try {
    switch (startup_step_) {
      case Startup_Step::Leftovers:
        startup_step_ = Startup_Step::Queue;
        Process_Message_Queue();
        break;
      case Startup_Step::Queue:
        startup_step_ = Startup_Step::Version;
        Check_New_Version();
        break;
      case Startup_Step::Version:
        startup_step_ = Startup_Step::Upgrade;
        Upgrade_Or_Finish();
        break;
      case Startup_Step::Local:
      case Startup_Step::Upgrade:
      case Startup_Step::Done: break;
    }
  } catch (const std::exception& error) {
    Startup_Failed(error.what());
  } catch (...) {
    Startup_Failed("Unknown error raised during start-up");
  }
}

void TMainForm::Startup_Failed(const std::string& failure) {
  startup_step_ = Startup_Step::Done;
  start_after_startup_ = false;
  // The box's closing activates the window again; the same failure again is only logged,
  // or a lasting fault would bring the box back for ever.
  if (failure == last_startup_failure_) {
    Local_Writelog(failure);
    return;
  }
  last_startup_failure_ = failure;
  Show_Unhandled_Error(failure);
}

void TMainForm::Refresh_Drive_List() {
  if (!TargetDriveComboBox->currentText().isEmpty()) return;
  Local_Writelog("Refreshing Drives Start");
  std::vector<std::string> entries;
  bool listed = false;
  try {
    listed = Get_All_Local_Drives(entries, MyLogicalDisks, *inventory_,
                                  [this](const std::string& line) { Local_Writelog(line); });
  } catch (...) {
    Fill_Drive_Box(entries);
    throw;
  }
  Fill_Drive_Box(entries);
  if (listed && TargetDriveComboBox->count() > 0) TargetDriveComboBox->setCurrentIndex(0);
  Local_Writelog("Refreshing Drives Finish");
}

void TMainForm::Fill_Drive_Box(const std::vector<std::string>& entries) {
  TargetDriveComboBox->clear();
  for (const std::string& entry : entries) TargetDriveComboBox->addItem(QString::fromStdString(entry));
  TargetDriveComboBox->model()->sort(0);
}

const TMyLogicalDisks* TMainForm::Selected_Drive() const {
  int index = TargetDriveComboBox->currentIndex();
  if (index < 0 || index >= static_cast<int>(MyLogicalDisks.size()) || MyLogicalDisks[index].DeviceName.empty())
    return nullptr;
  return &MyLogicalDisks[static_cast<std::size_t>(index)];
}

void TMainForm::Finish_Startup() {
  Display_Loading_Panel(false, "");
  if (messagepanel->isHidden()) Enable_All_Buttons(true, true);
  StartButton->setFocus();
  startup_step_ = Startup_Step::Done;
  last_startup_failure_.clear();
  // A press of Start that came during the sequence.
  const bool start = start_after_startup_;
  start_after_startup_ = false;
  if (start && StartButton->isEnabled()) StartButtonClick();
  else if (start) Set_Status_Text("");  // the news is up: the user starts again
}

void TMainForm::About1Click() {
  THELPFORM about;
  about.exec();
}

void TMainForm::Exit1Click() { close(); }

void TMainForm::closeEvent(QCloseEvent* event) {
  // A run goes on to its end, clean-ups and result included; the window closes after it. Its
  // report is not waited for: it ends at once and stays in the queue.
  if (Run_Going()) {
    close_requested_ = true;
    if (run_state_ == Run_State::Reporting) transfer_worker_.Request_Stop();
    Set_Status_Text("Platterscope closes when the benchmark run has ended.");
    event->ignore();
    return;
  }
  close_requested_ = false;
  // A transfer of the start-up ends within a second; the program does not wait for what it
  // would have shown.
  startup_step_ = Startup_Step::Done;
  Stop_Transfers();
  ExitApplication();
  QMainWindow::closeEvent(event);
}

void TMainForm::ExitApplication() {
  Local_Writelog("Application Finish");
  QCoreApplication::quit();
}

TMainForm::~TMainForm() {
  // A run still going (the program is made to end) stops at its next check and cleans up.
  run_worker_.Request_Stop();
  Stop_Transfers();
  try {
    if (run_worker_.Active()) run_worker_.Take();
    if (transfer_worker_.Active()) transfer_worker_.Take();
  } catch (...) {
    // Their errors can no longer be shown.
  }
  Image1MouseLeave();
  Local_Writelog("Application Destroyed");
}
