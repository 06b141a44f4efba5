// The peak window's run path: Start and Stop, the run on its worker, and what it tells shown
// on the window's thread. Nothing here waits for the run; the run never touches a widget.
#include <exception>

#include <QComboBox>
#include <QLabel>
#include <QLocale>
#include <QMessageBox>
#include <QProgressBar>
#include <QPushButton>
#include <QTableWidget>

#include "app/peak_window.h"
#include "app/post_to_window.h"
#include "common/log.h"
#include "common/peak_export.h"
#include "display/device_marks.h"
#include "engine/run_progress.h"

namespace {

constexpr const char* kEngineLine = "I/O Engine:";
// A rate so far, while its test still runs, in a dimmer grey than the results.
const QColor kLiveCellColour{150, 150, 150};
// The key of a test that met an error.
const QColor kNoteColour{200, 0, 0};

}  // namespace

// The run's observer: each call is posted to the window as a queued event, so that the
// window sees them in the run's order on its own thread. Log lines are written at once.
class Peak_Window_Observer : public Peak_Observer {
 public:
  explicit Peak_Window_Observer(Peak_Window& window) : window_(window) {}

  void Test_Started(int index) override {
    Post([index](Peak_Window& window) { window.Show_Test_Started(index); });
  }
  void Progress(const Peak_Progress& progress) override {
    Post([progress](Peak_Window& window) { window.Show_Progress(progress); });
  }
  void Test_Finished(const Peak_Test_Result& result) override {
    Post([result](Peak_Window& window) { window.Show_Test_Result(result); });
  }
  void Status(const std::string& text) override {
    Post([text](Peak_Window& window) { window.status_->setText(QString::fromStdString(text)); });
  }
  void Log(const std::string& line) override {
    Write_Log(line);
    // The engine is known once the file is written; the window names it from then on.
    if (line.rfind(kEngineLine, 0) == 0) {
      Post([engine = line.substr(std::string(kEngineLine).size())](Peak_Window& window) { window.Show_Engine(engine); });
    }
  }
  void Ended() {
    Post([](Peak_Window& window) { window.Run_Ended(); });
  }

 private:
  template <class Call>
  void Post(Call call) {
    Post_To(window_, std::move(call));
  }

  Peak_Window& window_;
};

void Peak_Window::Observer_Deleter::operator()(Peak_Window_Observer* observer) const { delete observer; }

Peak_Window::~Peak_Window() {
  hide();
  // A run still going (the program is closing) stops at its next check and cleans up.
  worker_.Request_Stop();
  if (worker_.Active()) {
    try {
      worker_.Take();
    } catch (...) {
      // Its error can no longer be shown.
    }
  }
}

void Peak_Window::StartClick() {
  if (state_ == State::Running) Request_Stop();
  else if (state_ == State::Idle && !plan_running_) Start_Run();
}

void Peak_Window::Start_Run() {
  const int index = drive_box_->currentIndex();
  if (index < 0 || index >= static_cast<int>(drives_.size())) return;
  Peak_Request request = template_;
  request.drive = drives_[static_cast<std::size_t>(index)].folder;
  request.size = size_box_->currentData().toLongLong();
  request.seconds = time_box_->currentData().toInt();
  request.os = os_;
  request.clock = clock_;
  Clear_Results();
  close_requested_ = false;
  status_->setText(QStringLiteral("Starting..."));
  progress_->setRange(0, 1);
  progress_->setValue(0);
  progress_->show();
  Show_State(State::Running);
  if (Running_Changed) Running_Changed(true);
  if (!observer_) observer_.reset(new Peak_Window_Observer(*this));
  Peak_Window_Observer* observer = observer_.get();
  worker_.Start([request, observer](std::stop_token stop) { return Run_Peak(request, *observer, std::move(stop)); },
                [observer] { observer->Ended(); });
}

void Peak_Window::Request_Stop() {
  Show_State(State::Stopping);
  status_->setText(QStringLiteral("Stopping, please wait..."));
  worker_.Request_Stop();
}

void Peak_Window::Clear_Results() {
  result_.reset();
  engine_->clear();
  for (int row = 0; row < table_->rowCount(); ++row) {
    QTableWidgetItem* key = table_->item(row, Test_Column);
    key->setToolTip(QString());
    key->setData(Qt::ForegroundRole, QVariant());
    for (int column = Mbps_Column; column < Column_Count; ++column) {
      Set_Cell(row, column, QString(), false);
      table_->item(row, column)->setData(Qt::BackgroundRole, QVariant());
    }
  }
  chart_.Clear();
  chart_view_->update();
}

void Peak_Window::Set_Cell(int row, int column, const QString& text, bool live) {
  QTableWidgetItem* cell = table_->item(row, column);
  cell->setText(text);
  if (live) cell->setForeground(kLiveCellColour);
  else cell->setData(Qt::ForegroundRole, QVariant());
  cell->setToolTip(live ? QStringLiteral("Rate so far; the test is still running.") : QString());
}

void Peak_Window::Show_Test_Started(int index) {
  if (index < 0 || index >= table_->rowCount()) return;
  Mark_Running(index, true);
  table_->scrollToItem(table_->item(index, Test_Column));
}

void Peak_Window::Mark_Running(int row, bool running) {
  QTableWidgetItem* cell = table_->item(row, Test_Column);
  QFont font = cell->font();
  font.setBold(running);
  cell->setFont(font);
}

void Peak_Window::Show_Progress(const Peak_Progress& progress) {
  if (state_ != State::Running) return;
  progress_->setRange(0, std::max(progress.total, 1));
  progress_->setValue(std::clamp(progress.done, 0, std::max(progress.total, 1)));
  time_left_->setText(QString::fromStdString(Time_Left_Text(progress.seconds_left)));
  time_left_->show();
  if (progress.phase != Peak_Phase::Measure || progress.test < 0 || progress.test >= table_->rowCount()) return;
  const QLocale locale;
  Set_Cell(progress.test, Mbps_Column, locale.toString(progress.mbps, 'f', 2), true);
  Set_Cell(progress.test, Iops_Column, locale.toString(progress.iops, 'f', 0), true);
}

void Peak_Window::Show_Test_Result(const Peak_Test_Result& result) {
  if (result.index < 0 || result.index >= table_->rowCount()) return;
  const QLocale locale;
  const int row = result.index;
  Mark_Running(row, false);
  if (result.ios > 0) {
    Set_Cell(row, Mbps_Column, locale.toString(result.Mbps(), 'f', 2), false);
    Set_Cell(row, Iops_Column, locale.toString(result.Iops(), 'f', 0), false);
    Set_Cell(row, P50_Column, locale.toString(result.p50_us, 'f', 1), false);
    Set_Cell(row, P99_Column, locale.toString(result.p99_us, 'f', 1), false);
    Set_Cell(row, P999_Column, locale.toString(result.p999_us, 'f', 1), false);
    // A read that a cache served stands out, as in the main window's grid.
    for (int column = Mbps_Column; column < Column_Count; ++column)
      Mark_Result_Cell(table_->item(row, column), result.check);
    chart_.Set(row, Latency_Marks{result.p50_us, result.p99_us, result.p999_us});
    chart_view_->update();
  } else {
    // Nothing measured (an error before the first transfer, or Stop in the warm-up).
    for (int column = Mbps_Column; column < Column_Count; ++column) Set_Cell(row, column, QStringLiteral("-"), false);
  }
  // Why the test measured less than its time, or nothing: in red, with the reason as its tip.
  QTableWidgetItem* key = table_->item(row, Test_Column);
  key->setToolTip(QString::fromStdString(result.note));
  if (!result.note.empty()) key->setForeground(kNoteColour);
}

void Peak_Window::Show_Engine(const std::string& text) {
  engine_->setText(QStringLiteral("I/O engine: ") + QString::fromStdString(text));
}

void Peak_Window::Show_Ended_Status(const QString& outcome) {
  // What the user should know of the run (a test file smaller than asked, a test's error)
  // goes with it, one line each.
  QString text = outcome;
  if (!result_->note.empty()) text += QLatin1Char(' ') + QString::fromStdString(result_->note);
  for (const Peak_Test_Result& test : result_->tests)
    if (!test.note.empty()) text += QLatin1Char('\n') + QString::fromStdString(test.key + ": " + test.note);
  status_->setText(text);
}

void Peak_Window::Run_Ended() {
  try {
    result_ = worker_.Take();
  } catch (const std::exception& error) {
    result_.reset();
    status_->setText(QString::fromStdString(error.what()));
    Show_Error(QString::fromStdString(error.what()));
  }
  for (int row = 0; row < table_->rowCount(); ++row) Mark_Running(row, false);
  if (result_) {
    if (!result_->engine.empty()) Show_Engine(Peak_Setup_Text(*result_));
    switch (result_->outcome) {
      case Peak_Outcome::Completed: Show_Ended_Status(QStringLiteral("Finished.")); break;
      case Peak_Outcome::Stopped: Show_Ended_Status(QStringLiteral("Stopped.")); break;
      case Peak_Outcome::Refused:
      case Peak_Outcome::Failed:
        status_->setText(QString::fromStdString(result_->error));
        Show_Error(QString::fromStdString(result_->error));
        break;
    }
  }
  Show_State(State::Idle);
  if (Running_Changed) Running_Changed(false);
  // A close asked for during the run is due now.
  if (close_requested_) close();
}
