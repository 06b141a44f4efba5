// When the main window's activation runs the start-up sequence again: when the main window
// becomes the active window after a dialog of the program (the About window, a message box)
// was active. The drop-down list of drives and the menus are popups, not dialogs: closing
// them does not count, and neither does switching to another application and back.
#pragma once

class Activation_Tracker {
 public:
  // The focus moved to now (nullptr while another application has it); now_is_dialog tells
  // whether now is a dialog of the program. Returns true when this is a re-activation of
  // main_window after a dialog.
  bool Focus_Changed(const void* now, const void* main_window, bool now_is_dialog) {
    if (now != nullptr && now == main_window) {
      const bool again = after_dialog_;
      after_dialog_ = false;
      return again;
    }
    if (now != nullptr && now_is_dialog) after_dialog_ = true;
    return false;
  }

 private:
  bool after_dialog_ = false;  // a dialog of the program had the focus since the main window had it
};
