// The worker's calls, carried to the window's thread.
#include "app/window_relay.h"


#include "app/main_form.h"
#include "app/post_to_window.h"
#include "common/log.h"

template <class Call>
void Window_Relay::Post(Call call) {
  Post_To(form_, std::move(call));
}

void Window_Relay::Display_Loading_Panel(bool show, const std::string& text) {
  Post([show, text](TMainForm& form) { form.Display_Loading_Panel(show, text); });
}

void Window_Relay::Display_Message_Panel(bool show, const std::string& page) {
  message_shown_ = show;
  Post([show, page](TMainForm& form) { form.Display_Message_Panel(show, page); });
}

void Window_Relay::Set_Status_Text(const std::string& text) {
  Post([text](TMainForm& form) { form.Set_Status_Text(text); });
}

void Window_Relay::Enable_All_Buttons(bool status, bool sbutton) {
  Post([status, sbutton](TMainForm& form) { form.Enable_All_Buttons(status, sbutton); });
}

void Window_Relay::Local_Writelog(const std::string& text) { Write_Log(text); }

bool Window_Relay::Show_Banner(const std::string& file, std::string& reason) {
  reason = "Cannot show " + file + " from a transfer";
  return false;
}

void Window_Relay::Hide_Banner() {
  Post([](TMainForm& form) { form.Hide_Banner(); });
}

void Window_Relay::Start_Ads_Timer() {
  Post([](TMainForm& form) { form.Start_Ads_Timer(); });
}

bool Window_Relay::Open_URL(const std::string& url) {
  Post([url](TMainForm& form) { form.Open_URL(url); });
  return true;
}
