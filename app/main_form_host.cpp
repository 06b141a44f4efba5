// What the graph, the grid, the report and the updates ask of the window, and the panels that
// float over the graph.
#include <algorithm>
#include <exception>

#include <QAction>
#include <QComboBox>
#include <QCoreApplication>
#include <QDateTime>
#include <QFrame>
#include <QLabel>
#include <QMessageBox>
#include <QProgressBar>
#include <QPushButton>
#include <QUrl>

#include "app/main_form.h"
#include "common/clock.h"
#include "common/results_export.h"
#include "common/server.h"
#include "engine/run_progress.h"
#include "display/device_marks.h"

namespace {
const QString kApplicationTitle = QStringLiteral("Platterscope");

// An error box whose text is shown as written: it carries paths and labels, never markup.
void Error_Box(QWidget* parent, const QString& text) {
  QMessageBox box(QMessageBox::Critical, kApplicationTitle, text, QMessageBox::Ok, parent);
  box.setTextFormat(Qt::PlainText);
  box.exec();
}
}  // namespace

void TMainForm::Place_Status_Panel(QFrame* panel) {
  panel->move(graph->width() / 2 - panel->width() / 2 + MyGraph.LeftMargin / 3,
              graph->height() / 2 - panel->height() / 2);
}

void TMainForm::Show_Status_Panel(QFrame* panel, QLabel* label, bool status, const std::string& messagetext) {
  Place_Status_Panel(panel);
  label->setText(status ? QString::fromStdString(messagetext) : QString());
  label->setVisible(status);
  panel->setVisible(status);
  if (status) panel->raise();
}

void TMainForm::Display_Loading_Panel(bool status, const std::string& messagetext) {
  Show_Status_Panel(loadingpanel, loadinglabel, status, messagetext);
}

void TMainForm::Display_Error_Panel(bool status, const std::string& messagetext) {
  Show_Status_Panel(errorPanel, errorLabel, status, messagetext);
}

void TMainForm::Display_Message_Panel(bool status, const std::string& messagetext) {
  // The tall panel stands 10 pixels below the middle panel's top and above the results
  // panel, which lies over the middle panel's lower part: all of it can be seen.
  if (!messagetext.empty()) messagepanel->resize(messagepanel->width(), Panel2->height() - 20);
  messagepanel->move(graph->width() / 2 - messagepanel->width() / 2 + MyGraph.LeftMargin / 3, Panel2->y() + 10);
  // A news page the user closed stays closed until the program starts anew.
  if (status && closed_news_.count(messagetext) != 0) return;
  if (status && messagepanel->isHidden()) {
    shown_news_ = messagetext;
    Enable_All_Buttons(false, false);
    messagepanel->show();
    messagepanel->raise();
    if (!messagetext.empty()) {
      if (!browser_) {
        browser_ = Make_Message_Browser(messagepanel);
        Local_Writelog(browser_->Description());
      }
      browser_->Widget()->setGeometry(7, 32, 691, messagepanel->height() - 45);
      browser_->Widget()->show();
      browser_->Open(QUrl(QString::fromStdString(Results_Server_Base() + "/" + messagetext)));
    }
  } else if (!status && !messagepanel->isHidden()) {
    messagepanel->hide();
    Enable_All_Buttons(true, true);
  }
  messagepanel->repaint();
}

void TMainForm::messagepanel_close_buttonClick() {
  if (!messagepanel->isHidden() && !shown_news_.empty()) closed_news_.insert(shown_news_);
  Display_Message_Panel(false, "");
  // The way out always brings the controls back, also when the panel was shown in a way
  // that left them disabled.
  if (!Run_Going() && !Startup_Going()) Enable_All_Buttons(true, true);
}

void TMainForm::errorpanel_close_buttonClick() { Display_Error_Panel(false, ""); }

void TMainForm::DrawGraph(int column, double value) { bar_graph_.DrawGraph(column, value); }

void TMainForm::PrepareGraph(bool InitializeValues) { bar_graph_.PrepareGraph(InitializeValues); }

void TMainForm::ConstructGrid() { gridresults->ConstructGrid(); }

void TMainForm::Set_Label_Text(const std::string& label, const std::string& text) {
  auto found = result_labels_.find(label);
  if (found != result_labels_.end()) found->second->setText(QString::fromStdString(text));
}

void TMainForm::Show_Device_Check(const std::string& label, const Device_Check& check) {
  auto found = result_labels_.find(label);
  if (found != result_labels_.end()) Mark_Result_Label(found->second, check);
}

void TMainForm::Set_Status_Text(const std::string& text) { StatusText->setText(QString::fromStdString(text)); }

void TMainForm::Show_Error(const std::string& text) {
  Error_Box(this, QString::fromStdString(text));
}

void TMainForm::Local_Writelog(const std::string& strText) { log_.Local_Writelog(strText); }

void TMainForm::Show_Progress(int done, int total, std::int64_t seconds_left) {
  RunProgress->setRange(0, std::max(total, 1));
  RunProgress->setValue(std::clamp(done, 0, std::max(total, 1)));
  TimeLeft->setText(QString::fromStdString(Time_Left_Text(seconds_left)));
  RunProgress->show();
  TimeLeft->show();
}

void TMainForm::Enable_All_Buttons(bool status, bool sbutton) {
  TargetDriveComboBox->setEnabled(status);
  combo_testtime->setEnabled(status);
  gridresults->setEnabled(status);
  // The plan's Start waits for a peak run on a drive, whoever asks for it.
  StartButton->setEnabled(sbutton && !peak_going_);
}

bool TMainForm::Save_Message_Queue(const MY_UploadFileRecord& record) {
  return ::Save_Message_Queue(record, Program_Report_Channel().queue_folder,
                              [this](const std::string& line) { Local_Writelog(line); });
}

void TMainForm::Send_Result_to_Grid(const Run_Result& result) {
  // The wall clock: the date a user reads, also after the machine slept during the run.
  const QDateTime now = QDateTime::currentDateTime();
  const std::string date = Date_Text(Day_Count_From_Time(now.toSecsSinceEpoch(), now.offsetFromUtc()));
  gridresults->Send_Result_to_Grid(Run_Record{run_drive_text_, date, result});
}

void TMainForm::Clean_ALL_Stats() { ::Clean_ALL_Stats(MyGraph, *this); }

void TMainForm::Show_Unhandled_Error(const std::string& message) {
  Local_Writelog(message);
  QString text = QString::fromStdString(message);
  if (!message.empty() && static_cast<unsigned char>(message.back()) > '.') text += QLatin1Char('.');
  Error_Box(this, text);
}
