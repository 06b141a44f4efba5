// The main window's side of the peak tests: the menu item that opens their window, and one
// run on a drive at a time (the plan's run and a peak run each hold the other's Start).
#include <QComboBox>
#include <QPushButton>

#include "app/main_form.h"
#include "app/peak_window.h"

Peak_Window* TMainForm::Peak() const { return peak_window_; }

void TMainForm::PeakLatency1Click() {
  if (Run_Going()) return;
  if (peak_window_ == nullptr) {
    peak_window_ = new Peak_Window(this);
    peak_window_->Running_Changed = [this](bool running) { Peak_Running_Changed(running); };
  }
  // The next run goes where the plan's runs go.
  if (!peak_window_->Run_Going()) peak_window_->Use_Run_Platform(*run_os_, *run_clock_);
  // The drives of the list as it stands now; entry k of the list is MyLogicalDisks[k].
  std::vector<Peak_Drive> drives;
  for (int k = 0; k < TargetDriveComboBox->count() && k < static_cast<int>(MyLogicalDisks.size()); ++k)
    drives.push_back({TargetDriveComboBox->itemText(k).toStdString(), Drive_Mount_Point(MyLogicalDisks[static_cast<std::size_t>(k)])});
  peak_window_->Set_Drives(drives, TargetDriveComboBox->currentIndex());
  peak_window_->Set_Plan_Running(Run_Going());
  peak_window_->show();
  peak_window_->raise();
  peak_window_->activateWindow();
}

void TMainForm::Peak_Follow_Run_State() {
  PeakLatency1->setEnabled(run_state_ == Run_State::Idle);
  if (peak_window_ != nullptr) peak_window_->Set_Plan_Running(run_state_ != Run_State::Idle);
}

void TMainForm::Peak_Running_Changed(bool running) {
  peak_going_ = running;
  // The plan's Start waits for the peak run; the start-up and the news panel keep their own hold.
  if (running) StartButton->setEnabled(false);
  else if (!Run_Going() && !Startup_Going() && messagepanel->isHidden()) StartButton->setEnabled(true);
}
