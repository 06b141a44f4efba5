// What the version check, the banner rotation and the upgrade ask of the window (or of the
// headless runner, or of a test).
#pragma once

#include <string>

class Update_Host {
 public:
  virtual ~Update_Host() = default;

  // Handles the pending window messages once; downloads call it while they wait.
  virtual void Process_Messages() = 0;
  virtual void Display_Loading_Panel(bool show, const std::string& text) = 0;
  // Shows the results server's page of that name in the message panel, or hides the panel.
  virtual void Display_Message_Panel(bool show, const std::string& page) = 0;
  virtual bool Message_Panel_Shown() = 0;
  virtual void Set_Status_Text(const std::string& text) = 0;
  virtual void Enable_All_Buttons(bool status, bool sbutton) = 0;
  virtual void Local_Writelog(const std::string& text) = 0;

  // Puts the picture of file on the banner, scaled to fit with its proportions kept, and makes
  // the banner visible. False, with the reason, when the file cannot be read or decoded.
  virtual bool Show_Banner(const std::string& file, std::string& reason) = 0;
  virtual void Hide_Banner() = 0;
  // Starts the banner's timer (a no-op when it runs already).
  virtual void Start_Ads_Timer() = 0;
  // Hands url to the user's browser; true when it was handed on.
  virtual bool Open_URL(const std::string& url) = 0;
};
