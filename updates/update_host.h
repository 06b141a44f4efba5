// What the version check, the banner rotation and the upgrade ask of the window (or of the
// headless runner, or of a test). The check may run on a worker: the window then hands it a
// relay that carries each call to the window's thread, so no call may wait for the user.
#pragma once

#include <string>

class Update_Host {
 public:
  virtual ~Update_Host() = default;

  // Shows the loading panel with one line of text ("Checking for new version..."), or hides it.
  virtual void Display_Loading_Panel(bool show, const std::string& text) = 0;
  // Shows the results server's page of that name in the message panel, or hides the panel.
  virtual void Display_Message_Panel(bool show, const std::string& page) = 0;
  // Whether the message panel is up (the controls then stay off until it is closed).
  virtual bool Message_Panel_Shown() = 0;
  // Writes the status bar's text; an empty text clears it.
  virtual void Set_Status_Text(const std::string& text) = 0;
  // Enables or disables the drive list, the test-time box and the grid (status), and Start.
  virtual void Enable_All_Buttons(bool status, bool sbutton) = 0;
  // Writes one line to the diagnostic log; safe from any thread.
  virtual void Local_Writelog(const std::string& text) = 0;

  // Puts the picture of file on the banner, scaled to fit with its proportions kept, and makes
  // the banner visible. False, with the reason, when the file cannot be read or decoded.
  virtual bool Show_Banner(const std::string& file, std::string& reason) = 0;
  // Hides the banner.
  virtual void Hide_Banner() = 0;
  // Starts the banner's timer (a no-op when it runs already).
  virtual void Start_Ads_Timer() = 0;
  // Hands url to the user's browser; true when it was handed on.
  virtual bool Open_URL(const std::string& url) = 0;
};
