// What a transfer on a worker (the report, the queue replay, the version check, the clean-up
// of upgrade leftovers) tells the window: each call is posted to the window's thread as a
// queued event, in the worker's order, and nothing on the worker touches a widget or waits
// for the window. Log lines are written at once, on the worker.
#pragma once

#include <string>

#include "reporting/result_report.h"
#include "updates/update_host.h"

class TMainForm;

class Window_Relay : public Update_Host, public Report_Host {
 public:
  // message_panel_shown: whether the message panel was up when the transfer began.
  Window_Relay(TMainForm& form, bool message_panel_shown) : form_(form), message_shown_(message_panel_shown) {}

  void Display_Loading_Panel(bool show, const std::string& text) override;
  void Display_Message_Panel(bool show, const std::string& page) override;
  // As the panel stands after the calls this relay has passed on.
  bool Message_Panel_Shown() override { return message_shown_; }
  void Set_Status_Text(const std::string& text) override;
  void Enable_All_Buttons(bool status, bool sbutton) override;
  void Local_Writelog(const std::string& text) override;
  // A worker shows no banner: the window's own checker does, once the check is over.
  bool Show_Banner(const std::string& file, std::string& reason) override;
  void Hide_Banner() override;
  void Start_Ads_Timer() override;
  bool Open_URL(const std::string& url) override;

 private:
  template <class Call>
  void Post(Call call);

  TMainForm& form_;
  bool message_shown_;
};
