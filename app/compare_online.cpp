// Help menu, "Compare my drive online": the results server's page of this computer's latest
// report beside its model, opened with the view key kept from the server's answer.
#include <QAction>
#include <QUrl>

#include "app/main_form.h"
#include "common/server.h"
#include "reporting/result_report.h"
#include "reporting/view_key.h"

void TMainForm::Offer_Compare_Online() {
  CompareOnline1->setVisible(!Load_View_Key(View_Key_Folder(), Results_Server_Host()).empty());
}

// The key opens the page of this computer: the lines written here leave it out.
void TMainForm::CompareOnline1Click() {
  if (Results_Server_Offline()) return;
  const std::string host = Results_Server_Host();
  const std::string key = Load_View_Key(View_Key_Folder(), host);
  if (key.empty()) {
    Local_Writelog("Compare my drive online: no key of this computer's page on " + host + " is kept");
    return;
  }
  if (!Open_URL(Compare_Page_Url(Results_Server_Base(), key)))
    Local_Writelog("Compare my drive online: no browser opened the comparison page on " + host);
}
