// The main window: the drive list and the Start button, the bar graph with the result
// labels beside it, the grid of the runs made since start, and the panels that float over
// the graph. A run goes on a worker of its own; what it tells reaches the window as queued
// events (main_form_run.cpp), and its result comes back as a value. The transfers (the report,
// the queue replay, the version check) and the start-up's pauses run on a worker as well
// (main_form_transfers.cpp): the window's thread never waits and never pumps messages.
#pragma once

#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <set>
#include <string>

#include <QMainWindow>
#include <QMessageBox>
#include <QPointer>
#include <QWindow>

#include "app/activation_tracker.h"
#include "app/message_browser.h"
#include "common/log.h"
#include "common/run_result.h"
#include "common/worker.h"
#include "display/bar_graph.h"
#include "display/display_host.h"
#include "display/results_grid.h"
#include "engine/benchmark.h"
#include "inventory/drive_info.h"
#include "inventory/machine_profile.h"
#include "platform/inventory_provider.h"
#include "reporting/result_report.h"
#include "updates/update_checker.h"
#include "updates/update_host.h"
#include "platform/platform.h"

class QAction;
class QCloseEvent;
class QComboBox;
class QFrame;
class QLabel;
class QMovie;
class QProgressBar;
class QPushButton;
class QTimer;
class Peak_Window;
class Window_Run_Observer;

// Where the window's run stands: no run; a run going on; a run asked to stop, finishing its
// clean-ups; a finished run being reported. The Start button shows it.
enum class Run_State { Idle, Running, Stopping, Reporting };

// The steps of the start-up sequence in their order; Done when none is going on.
enum class Startup_Step { Local, Leftovers, Queue, Version, Upgrade, Done };

// What Start says while the peak tests' window runs its tests on a drive.
inline constexpr const char* kPeakGoingText = "The peak tests are running; Start is free again when they end.";

class TMainForm : public QMainWindow, public Display_Host, public Report_Host, public Update_Host {
  Q_OBJECT

 public:
  // The client area below the menu bar: top panel, middle panel and status bar.
  static constexpr int kClientWidth = 1012;
  static constexpr int kClientHeight = 569;

  explicit TMainForm(QWidget* parent = nullptr);
  ~TMainForm() override;

  // ---- what the run, the graph, the grid, the report and the updates show ----
  void Display_Loading_Panel(bool status, const std::string& messagetext) override;
  void DrawGraph(int column, double value);
  void Set_Label_Text(const std::string& label, const std::string& text) override;
  void Show_Device_Check(const std::string& label, const Device_Check& check) override;
  void Set_Status_Text(const std::string& text) override;
  void Show_Progress(int done, int total, std::int64_t seconds_left);
  // Shows an error in a message box and waits until the user has read it.
  void Show_Error(const std::string& text);
  void Local_Writelog(const std::string& strText) override;
  void Show_Run_State(Run_State state);
  void Enable_All_Buttons(bool status, bool sbutton) override;

  // ---- a finished run ----
  // Reports a completed run to the results server on the transfer worker; then, on the
  // window's thread, shows the outcome and runs then.
  void Send_Result_To_Database(const Run_Result& result, std::function<void()> then = {});
  void Send_Result_to_Grid(const Run_Result& result);

  // ---- the result report's entry points ----
  // Keeps a report the server did not confirm in the offline queue.
  bool Save_Message_Queue(const MY_UploadFileRecord& record);
  // Sends the queued reports again on the transfer worker; nothing when the program is
  // offline. The start-up goes on when it is over.
  void Process_Message_Queue();

  // ---- updates, news and ads ----
  // The version check with its news on the transfer worker; its banners and then the upgrade,
  // when one is due, back on the window's thread.
  void Check_New_Version();
  bool update_program();
  void Display_Ads();
  void ADS_TIMERTimer();
  void Image1Click();
  void Image1MouseEnter();
  void Image1MouseLeave();
  // Update_Host
  bool Message_Panel_Shown() override;
  bool Show_Banner(const std::string& file, std::string& reason) override;
  void Hide_Banner() override;
  void Start_Ads_Timer() override;
  bool Open_URL(const std::string& url) override;
  Update_Checker& Updates() { return updates_; }

  // ---- the window's own steps ----
  void Clean_ALL_Stats();
  void PrepareGraph(bool InitializeValues);
  void ConstructGrid();
  void Display_Message_Panel(bool status, const std::string& messagetext);
  void Display_Error_Panel(bool status, const std::string& messagetext);
  // The start-up sequence; runs when the window is first shown and at every later
  // activation after another window of the program was active.
  void FormActivate();
  void ExitApplication();

  Run_State State() const { return run_state_; }
  // Whether the start-up sequence is going on (its transfers included).
  bool Startup_Going() const { return startup_step_ != Startup_Step::Done; }
  // Whether a transfer is going on.
  bool Transfer_Going() const { return transfer_worker_.Active(); }
  // Whether a run is going on (until its result is shown).
  bool Run_Going() const { return run_state_ != Run_State::Idle; }
  Bar_Graph& Graph() { return bar_graph_; }
  Results_Grid* Grid() { return gridresults; }
  Message_Browser* Browser() { return browser_.get(); }
  // The peak tests' window once it was opened; nullptr before.
  Peak_Window* Peak() const;
  const std::string& Computer_Id() const { return COMPUTERID; }
  const Machine_Profile& Profile() const { return profile_; }
  // Where the machine profile and the drive list come from (the running system by default).
  void Use_Inventory(platform::Inventory_Provider& provider) { inventory_ = &provider; }
  // Where runs keep their files and take their time (the running system by default).
  void Use_Run_Platform(platform::Platform& os, Clock& clock) {
    run_os_ = &os;
    run_clock_ = &clock;
  }
  // The drive of the list's selected entry; empty when none is selected.
  const TMyLogicalDisks* Selected_Drive() const;

  // Asks the user for the name of a file to save (caption, suggested path, name filters);
  // empty when the user cancelled. A file dialog when unset; tests put their answer here.
  std::function<QString(const QString&, const QString&, const QString&)> Ask_Save_File_Name;

 public slots:
  void StartButtonClick();
  void Exit1Click();
  void About1Click();
  // Opens this computer's comparison page of the results server in the user's browser, with
  // the key the server gave with the computer's first confirmed report.
  void CompareOnline1Click();
  // File menu: the grid's runs to a CSV or JSON file (by the name's extension), the graph
  // to a PNG picture, the runs as a plain-text table to the clipboard.
  void SaveResults1Click();
  void SaveGraph1Click();
  void CopyResults1Click();
  // File menu: opens the window of the peak tests (queue depth, IOPS and latency).
  void PeakLatency1Click();
  void messagepanel_close_buttonClick();
  void errorpanel_close_buttonClick();

 protected:
  void closeEvent(QCloseEvent* event) override;
  void showEvent(QShowEvent* event) override;

 private:
  friend class Window_Run_Observer;
  // ---- the transfers (main_form_transfers.cpp) ----
  // Runs work on the transfer worker with its stop token; the function it returns is then
  // called on the window's thread, or failed with the error's text when work threw.
  using Transfer_Work = std::function<std::function<void()>(std::stop_token)>;
  void Start_Transfer(Transfer_Work work, std::function<void(const std::string&)> failed);
  void Transfer_Ended();
  // Asks the transfer going on to end (within a second) and drops those waiting.
  void Stop_Transfers();
  // The start-up's step after startup_step_ is over (nothing when the sequence was ended).
  void Continue_Startup();
  void Startup_Failed(const std::string& failure);
  // The run is over and reported (or not reported): the controls come back.
  void Run_Finished();

  // ---- the run path (main_form_run.cpp) ----
  // Starts a run of the plan on the selected drive; its events come back queued.
  void Start_Run();
  // The Stop branch of the Start button.
  void Request_Stop();
  // The peak window follows the plan's run, and the plan waits for a peak run (main_form_peak.cpp).
  void Peak_Follow_Run_State();
  void Peak_Running_Changed(bool running);
  // What the run tells, on the window's thread.
  void Tests_Begin_Shown();
  void Show_Test_Started(int position);
  void Show_Live_Rate(int position, std::int64_t bytes, double seconds);
  void Show_Test_Result(int position, const Test_Result& result);
  void Show_Activity(const std::string& text);
  void Show_Run_Error(const std::string& text);
  // The run's worker is over: its result is taken, reported and added to the grid.
  void Run_Ended();

  // "Compare my drive online" is offered once a key of this computer's page is kept.
  void Offer_Compare_Online();
  void FormCreate();
  void Build_Menu();
  void Build_Top_Panel(QWidget* client);
  void Build_Middle_Panel(QWidget* client);
  void Build_Status_Panels();
  void Build_Results_Panel(QWidget* client);
  QLabel* Add_Result_Label(QWidget* parent, const char* name, int left, int top);
  QFrame* Add_Status_Panel(QWidget* parent, const char* name, const QRect& geometry);
  // The steps of the start-up sequence.
  void Run_Startup_Sequence();
  void Refresh_Drive_List();
  void Fill_Drive_Box(const std::vector<std::string>& entries);
  void Remove_Upgrade_Leftovers();
  void Finish_Startup();
  void Finish_Upgrade();
  void Build_Banner();
  // The start-up's last step: the upgrade when one was recorded, otherwise the end of start-up.
  void Upgrade_Or_Finish();
  bool Show_Banner_Movie(const QString& path, const QByteArray& format, std::string& reason);
  void Replace_Banner_Movie(QMovie* movie);
  void Focus_Changed(QWindow* now);
  // Places a status panel centred on the graph, a third of the left margin to the right.
  void Place_Status_Panel(QFrame* panel);
  // Shows a status panel with one line of text, or hides it.
  void Show_Status_Panel(QFrame* panel, QLabel* label, bool status, const std::string& messagetext);
  // An error that escaped an event handler: logged and shown as the framework would.
  void Show_Unhandled_Error(const std::string& message);
  void Build_Status_Bar();
  // Whether a modal dialog may open now: never during a run or the start-up sequence, which
  // it would hold up.
  bool May_Ask_The_User() const;
  QString Ask_Save_Path(const QString& caption, const QString& suggested, const QString& filters);
  // The path offered for a new export file named name: the folder of the last export, or
  // the user's documents.
  QString Suggested_Export_Path(const QString& name) const;
  // Writes data to path whole, or shows and logs why it could not ("results", "graph").
  void Save_Export(const std::string& what, const QString& path, const std::string& data);

  // Top panel.
  QFrame* Panel1 = nullptr;
  QLabel* Label3 = nullptr;
  QComboBox* TargetDriveComboBox = nullptr;
  QPushButton* StartButton = nullptr;
  QLabel* Image1 = nullptr;
  QComboBox* combo_testtime = nullptr;
  QLabel* Label10 = nullptr;
  // Middle panel.
  QFrame* Panel2 = nullptr;
  Graph_View* graph = nullptr;
  QLabel* label7 = nullptr;
  QLabel* Label8 = nullptr;
  QFrame* loadingpanel = nullptr;
  QLabel* loadinglabel = nullptr;
  // The message panel is a child of the client area, above the middle and results panels.
  QFrame* messagepanel = nullptr;
  QLabel* message_caption = nullptr;
  QLabel* messagepanel_close_button = nullptr;
  QFrame* errorPanel = nullptr;
  QLabel* errorLabel = nullptr;
  QLabel* errorpanel_close_button = nullptr;
  // Results panel.
  QFrame* panelresults = nullptr;
  QLabel* Label11 = nullptr;
  Results_Grid* gridresults = nullptr;
  // The one text panel of the status bar, and the run's progress at its right.
  QLabel* StatusText = nullptr;
  QLabel* TimeLeft = nullptr;
  QProgressBar* RunProgress = nullptr;
  // File menu.
  QAction* SaveResults1 = nullptr;
  QAction* SaveGraph1 = nullptr;
  QAction* CopyResults1 = nullptr;
  QAction* PeakLatency1 = nullptr;
  // Help menu: shown once a report of this computer is confirmed; disabled when offline.
  QAction* CompareOnline1 = nullptr;

  // The result labels by the names that the plan uses.
  std::map<std::string, QLabel*> result_labels_;
  std::unique_ptr<Message_Browser> browser_;

  Guarded_Log log_;
  Bar_Graph bar_graph_{MyGraph, *this};
  platform::Inventory_Provider* inventory_ = &platform::System_Inventory_Provider();
  platform::Platform* run_os_ = &platform::System_Platform();
  Clock* run_clock_ = &System_Clock();
  Activation_Tracker activation_;
  std::string COMPUTERID;
  // The listed drives, entry k of the drive list describing MyLogicalDisks[k].
  std::array<TMyLogicalDisks, 31> MyLogicalDisks{};
  // The machine profile that goes with every result report.
  Machine_Profile profile_{};
  bool shown_once_ = false;
  // The start-up sequence: the step it is at, and a press of Start that came meanwhile,
  // carried out when it is over.
  Startup_Step startup_step_ = Startup_Step::Done;
  bool start_after_startup_ = false;
  // The news pages the user closed: not shown again until the program starts anew.
  std::set<std::string> closed_news_;
  std::string shown_news_;
  // Test time in seconds of the run going on or last made.
  std::int32_t DEFAULTSECONDS = 20;
  // The error that ended the last start-up sequence early, if one did.
  std::string last_startup_failure_;
  // The run: its state, and a close request that arrived during it, carried out when it has
  // ended.
  Run_State run_state_ = Run_State::Idle;
  bool close_requested_ = false;
  // The drive list's entry of the run in progress, for its grid row.
  std::string run_drive_text_;
  // The run's observer and its worker; the worker goes first, so that the observer outlives
  // every call the run makes.
  struct Observer_Deleter {
    void operator()(Window_Run_Observer* observer) const;
  };
  std::unique_ptr<Window_Run_Observer, Observer_Deleter> run_observer_;
  Worker<Run_Result> run_worker_;
  // The one transfer at a time, and what is done when it fails.
  Worker<std::function<void()>> transfer_worker_;
  std::function<void(const std::string&)> transfer_failed_;
  std::deque<std::pair<Transfer_Work, std::function<void(const std::string&)>>> queued_transfers_;
  // The box that shows the run's errors while it is open.
  QPointer<QMessageBox> run_error_box_;
  QString last_export_folder_;
  // The peak tests' window, and whether a run of it is going on.
  QPointer<Peak_Window> peak_window_;
  bool peak_going_ = false;
  // Updates, news and ads: the state, the banner's timer and picture, the hand pointer.
  Update_Checker updates_{*this};
  QTimer* ADS_TIMER = nullptr;
  QMovie* banner_movie_ = nullptr;
  bool hand_pointer_ = false;
};
