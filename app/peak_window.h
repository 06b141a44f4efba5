// The "Peak and latency" window: the peak tests on a chosen drive, with their MB/s, IOPS and
// latencies in a table and a chart. A run goes on a worker of its own, as the main window's
// runs do; what it tells reaches the window as queued events (peak_window_run.cpp), and its
// result comes back as a value that can be copied and saved (peak_window_export.cpp).
#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include <QPointer>
#include <QWidget>

#include "common/clock.h"
#include "common/peak_result.h"
#include "common/worker.h"
#include "display/latency_chart.h"
#include "engine/peak.h"
#include "platform/platform.h"

class QCloseEvent;
class QComboBox;
class QLabel;
class QMessageBox;
class QProgressBar;
class QPushButton;
class QTableWidget;
class Peak_Window_Observer;

// A drive the user may pick: as the main window's list names it, and the folder a run works on.
struct Peak_Drive {
  std::string entry;
  std::string folder;
};

class Peak_Window : public QWidget {
  Q_OBJECT

 public:
  // The table's columns.
  enum Column { Test_Column, Mbps_Column, Iops_Column, P50_Column, P99_Column, P999_Column, Column_Count };

  explicit Peak_Window(QWidget* parent = nullptr);
  ~Peak_Window() override;

  // The drives of the main window's list; selected is the entry to preselect.
  void Set_Drives(const std::vector<Peak_Drive>& drives, int selected);
  // While the main window runs its plan, Start stays disabled: one run on a drive at a time.
  void Set_Plan_Running(bool running);
  // Where runs keep their file and take their time (the running system by default).
  void Use_Run_Platform(platform::Platform& os, Clock& clock);
  // What every run asks besides the drive, size and time chosen: tests shorten its spans.
  Peak_Request& Request_Template() { return template_; }

  bool Run_Going() const { return state_ != State::Idle; }
  // The last run's result, once it has ended.
  const std::optional<Peak_Result>& Result() const { return result_; }
  const Latency_Chart& Chart() const { return chart_; }

  // Asks the user for the name of a file to save (caption, suggested path, name filters);
  // empty when the user cancelled. A file dialog when unset; tests put their answer here.
  std::function<QString(const QString&, const QString&, const QString&)> Ask_Save_File_Name;
  // Told whenever a run starts or has ended (the main window holds its own Start meanwhile).
  std::function<void(bool running)> Running_Changed;

  // The results as a plain-text table in the user's locale, as Copy puts it on the clipboard.
  QString Results_Table_Text() const;

 public slots:
  void StartClick();
  void CopyClick();
  void SaveResultsClick();
  void SaveChartClick();

 protected:
  void closeEvent(QCloseEvent* event) override;

 private:
  friend class Peak_Window_Observer;
  enum class State { Idle, Running, Stopping };

  void Build_Choices();
  void Build_Table();
  void Build_Export_Buttons();
  void Show_State(State state);
  void Update_Controls();

  // ---- the run path (peak_window_run.cpp) ----
  void Start_Run();
  void Request_Stop();
  void Show_Test_Started(int index);
  void Show_Progress(const Peak_Progress& progress);
  void Show_Test_Result(const Peak_Test_Result& result);
  void Show_Engine(const std::string& text);
  void Run_Ended();
  void Show_Ended_Status(const QString& outcome);
  void Clear_Results();
  void Set_Cell(int row, int column, const QString& text, bool live);
  // The running test's key stands out in bold.
  void Mark_Running(int row, bool running);

  // ---- exports (peak_window_export.cpp) ----
  QString Ask_Save_Path(const QString& caption, const QString& name, const QString& filters);
  void Save(const std::string& what, const QString& path, const std::string& data);
  void Show_Error(const QString& text);

  QComboBox* drive_box_ = nullptr;
  QComboBox* size_box_ = nullptr;
  QComboBox* time_box_ = nullptr;
  QPushButton* start_button_ = nullptr;
  QProgressBar* progress_ = nullptr;
  QLabel* time_left_ = nullptr;
  QLabel* status_ = nullptr;
  QLabel* engine_ = nullptr;
  QTableWidget* table_ = nullptr;
  Latency_Chart chart_;
  Latency_Chart_View* chart_view_ = nullptr;
  QPushButton* copy_button_ = nullptr;
  QPushButton* save_results_button_ = nullptr;
  QPushButton* save_chart_button_ = nullptr;
  QPointer<QMessageBox> error_box_;

  std::vector<Peak_Drive> drives_;
  platform::Platform* os_ = &platform::System_Platform();
  Clock* clock_ = &System_Clock();
  Peak_Request template_;
  State state_ = State::Idle;
  bool plan_running_ = false;
  bool close_requested_ = false;
  std::optional<Peak_Result> result_;
  QString last_export_folder_;
  // The run's observer and its worker; the worker goes first, so that the observer outlives
  // every call the run makes.
  struct Observer_Deleter {
    void operator()(Peak_Window_Observer* observer) const;
  };
  std::unique_ptr<Peak_Window_Observer, Observer_Deleter> observer_;
  Worker<Peak_Result> worker_;
};
