// The main window: the drive list, the Start button, the result labels and the panels over
// the graph. It is the engine's host: every text, panel and button change of a run goes
// through the Engine_Host methods below.
#pragma once

#include <map>
#include <string>

#include <QMainWindow>

#include "common/log.h"
#include "engine/benchmark.h"
#include "engine/host.h"
#include "engine/plan.h"

class QCloseEvent;
class QComboBox;
class QFrame;
class QLabel;
class QPushButton;

class TMainForm : public QMainWindow, public Engine_Host {
  Q_OBJECT

 public:
  // The client area below the menu bar: top panel, middle panel and status bar.
  static constexpr int kClientWidth = 1012;
  static constexpr int kClientHeight = 569;

  explicit TMainForm(QWidget* parent = nullptr);
  ~TMainForm() override;

  // ---- Engine_Host ----
  void Process_Messages() override;
  void Display_Loading_Panel(bool status, const std::string& messagetext) override;
  void DrawGraph(int column, double value) override;
  void Redraw_Graph() override;
  void Set_Label_Text(const std::string& label, const std::string& text) override;
  void Set_Status_Text(const std::string& text) override;
  void Show_Error(const std::string& text) override;
  void Local_Writelog(const std::string& strText) override;
  void Set_Start_Caption(const std::string& caption) override;
  void Enable_Start_Button(bool enabled) override;
  void Enable_All_Buttons(bool status, bool sbutton) override;
  void Send_Result_To_Database() override;
  void Send_Result_to_Grid() override;

  // Resets the plan and the result labels.
  void Clean_ALL_Stats();
  // The end of start-up: loading panel hidden, controls enabled, Start focused.
  void Finish_Startup();

  Benchmark_Engine& Engine() { return engine_; }

 public slots:
  void StartButtonClick();
  void Exit1Click();

 protected:
  void closeEvent(QCloseEvent* event) override;

 private:
  void Build_Top_Panel(QWidget* client);
  void Build_Middle_Panel(QWidget* client);
  void Build_Results_Panel(QWidget* client);
  QLabel* Add_Result_Label(QWidget* parent, const char* name, int left, int top);
  // Fills the drive list with the machine's mount points while it shows no drive.
  void Refresh_Drive_List();
  // An error that escaped an event handler: shown like the framework would show it.
  void Show_Unhandled_Error(const std::string& message);

  // Top panel.
  QFrame* Panel1 = nullptr;
  QLabel* Label3 = nullptr;
  QComboBox* TargetDriveComboBox = nullptr;
  QPushButton* StartButton = nullptr;
  QComboBox* combo_testtime = nullptr;
  QLabel* Label10 = nullptr;
  // Middle panel.
  QFrame* Panel2 = nullptr;
  QWidget* graph = nullptr;
  QLabel* label7 = nullptr;
  QLabel* Label8 = nullptr;
  QFrame* loadingpanel = nullptr;
  QLabel* loadinglabel = nullptr;
  // Results panel; the grid is a placeholder until the results grid exists.
  QFrame* panelresults = nullptr;
  QLabel* Label11 = nullptr;
  QWidget* gridresults = nullptr;
  // The one text panel of the status bar.
  QLabel* StatusText = nullptr;

  // The result labels by the names that the plan uses.
  std::map<std::string, QLabel*> result_labels_;

  Guarded_Log log_;
  Benchmark_Engine engine_{MyGraph, *this};
  // A close request that arrived during a run; carried out when the run has ended.
  bool close_requested_ = false;
};
