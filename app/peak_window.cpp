// The "Peak and latency" window's layout: the drive, size and time choices with Start, the
// progress, the table of the eight tests, the latency chart and the export buttons.
#include "app/peak_window.h"

#include <QCloseEvent>
#include <QComboBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>

#include "common/global_functions.h"

namespace {

// The test file sizes offered: 64 MiB to 64 GiB, doubling.
QString Size_Caption(std::int64_t bytes) {
  return bytes >= (1LL << 30) ? QStringLiteral("%1 GiB").arg(bytes >> 30) : QStringLiteral("%1 MiB").arg(bytes >> 20);
}

QLabel* Caption(const QString& text, QWidget* parent) {
  auto* label = new QLabel(text, parent);
  label->setTextFormat(Qt::PlainText);
  return label;
}

}  // namespace

Peak_Window::Peak_Window(QWidget* parent) : QWidget(parent, Qt::Window) {
  setObjectName(QStringLiteral("PeakWindow"));
  setWindowTitle(QStringLiteral("Peak and latency"));
  auto* layout = new QVBoxLayout(this);
  Build_Choices();
  Build_Table();
  chart_view_ = new Latency_Chart_View(chart_, this);
  chart_view_->setObjectName(QStringLiteral("PeakChart"));
  layout->addWidget(chart_view_, 0, Qt::AlignHCenter);
  Build_Export_Buttons();
  Show_State(State::Idle);
}

void Peak_Window::Build_Choices() {
  auto* row = new QHBoxLayout;
  drive_box_ = new QComboBox(this);
  drive_box_->setObjectName(QStringLiteral("PeakDriveBox"));
  drive_box_->setMinimumWidth(300);
  size_box_ = new QComboBox(this);
  size_box_->setObjectName(QStringLiteral("PeakSizeBox"));
  for (std::int64_t size = kPeakMinSize; size <= kPeakMaxSize; size *= 2)
    size_box_->addItem(Size_Caption(size), QVariant::fromValue<qlonglong>(size));
  size_box_->setCurrentIndex(size_box_->findData(QVariant::fromValue<qlonglong>(kPeakDefaultSize)));
  time_box_ = new QComboBox(this);
  time_box_->setObjectName(QStringLiteral("PeakTimeBox"));
  for (int seconds : kPeakSecondChoices) time_box_->addItem(QStringLiteral("%1 s").arg(seconds), seconds);
  time_box_->setCurrentIndex(time_box_->findData(kPeakDefaultSeconds));
  time_box_->setToolTip(QStringLiteral("Time of each test, after a warm-up of one second"));
  start_button_ = new QPushButton(QStringLiteral("Start"), this);
  start_button_->setObjectName(QStringLiteral("PeakStartButton"));
  connect(start_button_, &QPushButton::clicked, this, &Peak_Window::StartClick);
  row->addWidget(Caption(QStringLiteral("Drive:"), this));
  row->addWidget(drive_box_, 1);
  row->addWidget(Caption(QStringLiteral("Test file:"), this));
  row->addWidget(size_box_);
  row->addWidget(Caption(QStringLiteral("Time:"), this));
  row->addWidget(time_box_);
  row->addWidget(start_button_);
  static_cast<QVBoxLayout*>(layout())->addLayout(row);

  auto* progress_row = new QHBoxLayout;
  progress_ = new QProgressBar(this);
  progress_->setObjectName(QStringLiteral("PeakProgress"));
  progress_->setFormat(QStringLiteral("%v / %m"));
  time_left_ = Caption(QString(), this);
  time_left_->setObjectName(QStringLiteral("PeakTimeLeft"));
  time_left_->setMinimumWidth(90);
  progress_row->addWidget(progress_, 1);
  progress_row->addWidget(time_left_);
  static_cast<QVBoxLayout*>(layout())->addLayout(progress_row);

  status_ = Caption(QStringLiteral("Choose a drive and press Start."), this);
  status_->setObjectName(QStringLiteral("PeakStatus"));
  status_->setWordWrap(true);
  engine_ = Caption(QString(), this);
  engine_->setObjectName(QStringLiteral("PeakEngine"));
  engine_->setWordWrap(true);
  layout()->addWidget(status_);
  layout()->addWidget(engine_);
}

void Peak_Window::Build_Table() {
  table_ = new QTableWidget(static_cast<int>(kPeakTests.size()), Column_Count, this);
  table_->setObjectName(QStringLiteral("PeakTable"));
  table_->setHorizontalHeaderLabels({QStringLiteral("Test"), QStringLiteral("MB/s"), QStringLiteral("IOPS"),
                                     QStringLiteral("p50 µs"), QStringLiteral("p99 µs"), QStringLiteral("p99.9 µs")});
  table_->verticalHeader()->hide();
  table_->setEditTriggers(QAbstractItemView::NoEditTriggers);
  table_->setSelectionMode(QAbstractItemView::NoSelection);
  table_->horizontalHeader()->setSectionResizeMode(QHeaderView::Stretch);
  for (int row = 0; row < table_->rowCount(); ++row) {
    table_->setItem(row, Test_Column, new QTableWidgetItem(QString::fromLatin1(kPeakTests[static_cast<std::size_t>(row)].key)));
    for (int column = Mbps_Column; column < Column_Count; ++column) {
      auto* cell = new QTableWidgetItem;
      cell->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
      table_->setItem(row, column, cell);
    }
  }
  table_->setFixedHeight(table_->horizontalHeader()->height() + table_->rowCount() * table_->rowHeight(0) + 4);
  layout()->addWidget(table_);
}

void Peak_Window::Build_Export_Buttons() {
  auto* row = new QHBoxLayout;
  copy_button_ = new QPushButton(QStringLiteral("Copy results"), this);
  copy_button_->setObjectName(QStringLiteral("PeakCopyButton"));
  save_results_button_ = new QPushButton(QStringLiteral("Save results..."), this);
  save_results_button_->setObjectName(QStringLiteral("PeakSaveResultsButton"));
  save_chart_button_ = new QPushButton(QStringLiteral("Save chart picture..."), this);
  save_chart_button_->setObjectName(QStringLiteral("PeakSaveChartButton"));
  connect(copy_button_, &QPushButton::clicked, this, &Peak_Window::CopyClick);
  connect(save_results_button_, &QPushButton::clicked, this, &Peak_Window::SaveResultsClick);
  connect(save_chart_button_, &QPushButton::clicked, this, &Peak_Window::SaveChartClick);
  row->addStretch(1);
  row->addWidget(copy_button_);
  row->addWidget(save_results_button_);
  row->addWidget(save_chart_button_);
  static_cast<QVBoxLayout*>(layout())->addLayout(row);
}

void Peak_Window::Set_Drives(const std::vector<Peak_Drive>& drives, int selected) {
  if (Run_Going()) return;  // the run's drive stays shown
  drives_ = drives;
  drive_box_->clear();
  for (const Peak_Drive& drive : drives_) drive_box_->addItem(QString::fromStdString(drive.entry));
  if (selected >= 0 && selected < drive_box_->count()) drive_box_->setCurrentIndex(selected);
  Update_Controls();
}

void Peak_Window::Set_Plan_Running(bool running) {
  plan_running_ = running;
  Update_Controls();
}

void Peak_Window::Use_Run_Platform(platform::Platform& os, Clock& clock) {
  os_ = &os;
  clock_ = &clock;
}

void Peak_Window::Show_State(State state) {
  state_ = state;
  start_button_->setText(state == State::Running ? QStringLiteral("Stop") : QStringLiteral("Start"));
  if (state == State::Idle) {
    progress_->hide();
    time_left_->hide();
  } else if (state == State::Stopping) {
    time_left_->hide();
  }
  Update_Controls();
}

void Peak_Window::Update_Controls() {
  const bool idle = state_ == State::Idle;
  // Stop stays at hand during a run; a stop asked for holds the button until the run ends.
  start_button_->setEnabled(idle ? !plan_running_ && drive_box_->count() > 0 : state_ == State::Running);
  start_button_->setToolTip(idle && plan_running_ ? QStringLiteral("The main window is running its tests.")
                                                  : QString());
  drive_box_->setEnabled(idle);
  size_box_->setEnabled(idle);
  time_box_->setEnabled(idle);
  const bool results = idle && result_ && !result_->tests.empty();
  copy_button_->setEnabled(results);
  save_results_button_->setEnabled(results);
  save_chart_button_->setEnabled(results);
}

void Peak_Window::closeEvent(QCloseEvent* event) {
  // A run stops at once and cleans up; the window closes when it has ended.
  if (Run_Going()) {
    close_requested_ = true;
    if (state_ == State::Running) Request_Stop();
    event->ignore();
    return;
  }
  close_requested_ = false;
  QWidget::closeEvent(event);
}
