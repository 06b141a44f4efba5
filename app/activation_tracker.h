// When the main window's activation runs the start-up sequence again: when the main window
// becomes the active window right after another window of the program (the About window,
// a message box) was active. Switching to another application and back does not count.
#pragma once

class Activation_Tracker {
 public:
  // The focus moved to now (nullptr while another application has it). Returns true when
  // this is a re-activation of main_window.
  bool Focus_Changed(const void* now, const void* main_window) {
    if (now == nullptr) return false;
    bool again = now == main_window && last_ != nullptr && last_ != main_window;
    last_ = now;
    return again;
  }

 private:
  const void* last_ = nullptr;  // the program's window that had the focus last
};
