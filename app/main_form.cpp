// The main window's layout: every component at its place and size.
#include "app/main_form.h"

#include <algorithm>

#include <QComboBox>
#include <QCoreApplication>
#include <QFrame>
#include <QGuiApplication>
#include <QLabel>
#include <QLayout>
#include <QMenuBar>
#include <QPainter>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QStatusBar>

#include "app/window_style.h"
#include "common/server.h"

namespace {

// A text label at left, top that is at least width wide and grows to fit its text.
QLabel* Make_Label(QWidget* parent, const char* name, const QString& text, int left, int top, int width, int height,
                   const QFont& font) {
  auto* label = new QLabel(text, parent);
  label->setObjectName(QString::fromLatin1(name));
  label->setFont(font);
  label->setGeometry(left, top, std::max(width, label->sizeHint().width()), height > 0 ? height : label->sizeHint().height());
  return label;
}

QFrame* Make_Panel(QWidget* parent, const char* name, const QRect& geometry) {
  auto* panel = new QFrame(parent);
  panel->setObjectName(QString::fromLatin1(name));
  panel->setGeometry(geometry);
  return panel;
}

// The close picture of a status panel: a white cross on the panel's colour.
QLabel* Make_Close_Picture(QWidget* parent, const char* name, int left, int top) {
  QPixmap picture(19, 19);
  picture.fill(QColor(0, 128, 255));
  QPainter painter(&picture);
  painter.setPen(QPen(Qt::white, 2));
  painter.drawRect(1, 1, 17, 17);
  painter.drawLine(5, 5, 13, 13);
  painter.drawLine(13, 5, 5, 13);
  auto* label = new QLabel(parent);
  label->setObjectName(QString::fromLatin1(name));
  label->setPixmap(picture);
  label->setGeometry(left, top, 19, 19);
  label->setCursor(Qt::PointingHandCursor);
  return label;
}

// One row of results: its caption and the names of its write and read labels.
struct Result_Row {
  const char* caption_name;
  const char* caption;
  int top;
  int caption_width;
  const char* write_label;
  const char* read_label;
};

constexpr Result_Row kResultRows[] = {
    {"test1", "Sequential", 40, 79, "test1W", "test1R"},
    {"Label1", "Random 512B", 62, 89, "Label2", "Label4"},
    {"test2", "Random 1K", 86, 89, "test2W", "test2R"},
    {"test3", "Random 4K", 109, 79, "test3W", "test3R"},
    {"test4", "Random 64K", 132, 79, "test4W", "test4R"},
    {"Label5", "Random 128K", 158, 79, "Label6", "Label9"},
    {"test5", "Random 512K", 184, 79, "test5W", "test5R"},
    {"test6", "Random 1MB", 207, 79, "TEST6w", "TEST6r"},
    {"test7", "Random 4MB", 230, 89, "TEST7w", "TEST7r"},
};

constexpr int kCaptionLeft = 769;
constexpr int kWriteLeft = 864;
constexpr int kReadLeft = 939;
const QColor kPanelColour(0, 128, 255);

// Clicks on a picture label.
class Click_Filter : public QObject {
 public:
  Click_Filter(QObject* parent, std::function<void()> on_click) : QObject(parent), on_click_(std::move(on_click)) {}
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (event->type() == QEvent::MouseButtonRelease) {
      on_click_();
      return true;
    }
    return QObject::eventFilter(watched, event);
  }

 private:
  std::function<void()> on_click_;
};

void On_Click(QWidget* widget, std::function<void()> on_click) {
  widget->installEventFilter(new Click_Filter(widget, std::move(on_click)));
}

}  // namespace

TMainForm::TMainForm(QWidget* parent)
    : QMainWindow(parent), log_(Message_Pump{}) {
  setObjectName(QStringLiteral("MainForm"));
  setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                 Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint);
  setFont(Tahoma(11));
  Build_Menu();

  auto* client = new QWidget(this);
  client->setObjectName(QStringLiteral("client"));
  client->setFixedSize(kClientWidth, kClientHeight - 19);
  setCentralWidget(client);
  Build_Top_Panel(client);
  Build_Banner();
  Build_Middle_Panel(client);
  Build_Results_Panel(client);
  Build_Status_Panels();

  Build_Status_Bar();

  // The window takes exactly the size of its menu bar, client area and status bar.
  layout()->setSizeConstraint(QLayout::SetFixedSize);
  adjustSize();
  if (QScreen* shown_on = screen()) move(shown_on->availableGeometry().center() - rect().center());
  connect(qGuiApp, &QGuiApplication::focusWindowChanged, this, &TMainForm::Focus_Changed);
  FormCreate();
}

void TMainForm::Build_Status_Bar() {
  statusBar()->setObjectName(QStringLiteral("StatusBar"));
  statusBar()->setFixedHeight(19);
  statusBar()->setSizeGripEnabled(false);
  StatusText = new QLabel(statusBar());
  StatusText->setObjectName(QStringLiteral("StatusText"));
  StatusText->setTextFormat(Qt::PlainText);  // paths and server texts, never markup
  statusBar()->addWidget(StatusText, 1);
  // The run's progress: tests done of the plan, and the time left; shown during a run only.
  TimeLeft = new QLabel(statusBar());
  TimeLeft->setObjectName(QStringLiteral("TimeLeft"));
  TimeLeft->setTextFormat(Qt::PlainText);
  statusBar()->addPermanentWidget(TimeLeft);
  RunProgress = new QProgressBar(statusBar());
  RunProgress->setObjectName(QStringLiteral("RunProgress"));
  RunProgress->setFixedSize(160, 15);
  RunProgress->setFormat(QStringLiteral("%v / %m"));
  statusBar()->addPermanentWidget(RunProgress);
  TimeLeft->hide();
  RunProgress->hide();
}

void TMainForm::Build_Menu() {
  QMenu* file_menu = menuBar()->addMenu(QStringLiteral("&File"));
  file_menu->setObjectName(QStringLiteral("File1"));
  SaveResults1 = file_menu->addAction(QStringLiteral("&Save results..."), this, &TMainForm::SaveResults1Click);
  SaveResults1->setObjectName(QStringLiteral("SaveResults1"));
  SaveGraph1 = file_menu->addAction(QStringLiteral("Save &graph picture..."), this, &TMainForm::SaveGraph1Click);
  SaveGraph1->setObjectName(QStringLiteral("SaveGraph1"));
  CopyResults1 = file_menu->addAction(QStringLiteral("&Copy results"), this, &TMainForm::CopyResults1Click);
  CopyResults1->setObjectName(QStringLiteral("CopyResults1"));
  // A dialog would hold up a run (its tests pump through it) or the start-up sequence.
  connect(file_menu, &QMenu::aboutToShow, this, [this] {
    const bool any_run = !gridresults->Runs().empty();
    SaveResults1->setEnabled(any_run && May_Ask_The_User());
    SaveGraph1->setEnabled(May_Ask_The_User());
    CopyResults1->setEnabled(any_run);
  });
  file_menu->addSeparator();
  PeakLatency1 = file_menu->addAction(QStringLiteral("Peak and latency..."), this, &TMainForm::PeakLatency1Click);
  PeakLatency1->setObjectName(QStringLiteral("PeakLatency1"));
  file_menu->addSeparator();
  file_menu->addAction(QStringLiteral("E&xit"), this, &TMainForm::Exit1Click)->setObjectName(QStringLiteral("Exit1"));
  QMenu* help_menu = menuBar()->addMenu(QStringLiteral("&Help"));
  help_menu->setObjectName(QStringLiteral("Help1"));
  CompareOnline1 = help_menu->addAction(QStringLiteral("Compare my drive online"), this, &TMainForm::CompareOnline1Click);
  CompareOnline1->setObjectName(QStringLiteral("CompareOnline1"));
  Offer_Compare_Online();
  connect(help_menu, &QMenu::aboutToShow, this, [this] { CompareOnline1->setEnabled(!Results_Server_Offline()); });
  help_menu->addAction(QStringLiteral("&About"), this, &TMainForm::About1Click)->setObjectName(QStringLiteral("About1"));
}

void TMainForm::Build_Top_Panel(QWidget* client) {
  Panel1 = Make_Panel(client, "Panel1", QRect(0, 0, kClientWidth, 61));

  Label3 = Make_Label(Panel1, "Label3", QStringLiteral("Drive:"), 16, 21, 0, 0, Tahoma(16, true));

  TargetDriveComboBox = new QComboBox(Panel1);
  TargetDriveComboBox->setObjectName(QStringLiteral("TargetDriveComboBox"));
  TargetDriveComboBox->setEditable(false);
  TargetDriveComboBox->setFont(Tahoma(13));
  TargetDriveComboBox->setGeometry(71, 19, 302, 24);

  StartButton = new QPushButton(QStringLiteral("Start"), Panel1);
  StartButton->setObjectName(QStringLiteral("StartButton"));
  StartButton->setGeometry(387, 19, 75, 25);
  connect(StartButton, &QPushButton::clicked, this, &TMainForm::StartButtonClick);

  // The advertisement banner's place.
  Image1 = new QLabel(Panel1);
  Image1->setObjectName(QStringLiteral("Image1"));
  Image1->setGeometry(543, 0, 468, 60);
  Image1->setAlignment(Qt::AlignCenter);

  combo_testtime = new QComboBox(Panel1);
  combo_testtime->setObjectName(QStringLiteral("combo_testtime"));
  combo_testtime->setEditable(false);
  combo_testtime->setToolTip(QStringLiteral("Time in Seconds"));
  combo_testtime->setGeometry(301, 40, 52, 21);
  QStringList seconds{QStringLiteral("1"), QStringLiteral("5")};
  for (int s = 10; s <= 190; s += 5) seconds << QString::number(s);
  seconds << QStringLiteral("200");
  combo_testtime->addItems(seconds);
  combo_testtime->hide();

  Label10 = Make_Label(Panel1, "Label10", QStringLiteral("Test Time:"), 207, 42, 0, 0, Tahoma(16, true));
  Label10->hide();
}

void TMainForm::Build_Middle_Panel(QWidget* client) {
  Panel2 = Make_Panel(client, "Panel2", QRect(0, 61, kClientWidth, 489));
  graph = new Graph_View(Panel2, bar_graph_);
  graph->move(0, -1);

  label7 = Make_Label(Panel2, "label7", QStringLiteral("Write/Mbs"), kWriteLeft, 27, 64, 13, font());
  label7->setFixedSize(64, 13);
  label7->setAlignment(Qt::AlignCenter);
  Fill_Background(label7, QColor(0, 255, 255), Qt::black);
  Label8 = Make_Label(Panel2, "Label8", QStringLiteral("Read/Mbs"), kReadLeft, 27, 64, 13, font());
  Label8->setFixedSize(64, 13);
  Label8->setAlignment(Qt::AlignCenter);
  Fill_Background(Label8, QColor(255, 255, 0), Qt::black);

  for (const Result_Row& row : kResultRows) {
    Make_Label(Panel2, row.caption_name, QString::fromLatin1(row.caption), kCaptionLeft, row.top, row.caption_width, 16,
               Tahoma(13));
    Add_Result_Label(Panel2, row.write_label, kWriteLeft, row.top);
    Add_Result_Label(Panel2, row.read_label, kReadLeft, row.top);
  }
}

QFrame* TMainForm::Add_Status_Panel(QWidget* parent, const char* name, const QRect& geometry) {
  QFrame* panel = Make_Panel(parent, name, geometry);
  panel->setFrameStyle(QFrame::Panel | QFrame::Raised);
  Fill_Background(panel, kPanelColour, Qt::white);
  panel->setFont(Tahoma(21, true));
  return panel;
}

void TMainForm::Build_Status_Panels() {
  loadingpanel = Add_Status_Panel(Panel2, "loadingpanel", QRect(27, 132, 709, 37));
  loadinglabel = new QLabel(loadingpanel);
  loadinglabel->setObjectName(QStringLiteral("loadinglabel"));
  loadinglabel->setGeometry(7, 5, 690, 25);
  loadinglabel->setAlignment(Qt::AlignCenter);
  loadinglabel->setTextFormat(Qt::PlainText);

  errorPanel = Add_Status_Panel(Panel2, "errorPanel", QRect(27, 193, 709, 37));
  errorLabel = new QLabel(errorPanel);
  errorLabel->setObjectName(QStringLiteral("errorLabel"));
  errorLabel->setGeometry(24, 5, 637, 25);
  errorLabel->setAlignment(Qt::AlignCenter);
  errorLabel->setTextFormat(Qt::PlainText);
  errorpanel_close_button = Make_Close_Picture(errorPanel, "errorpanel_close_button", 676, 9);
  On_Click(errorpanel_close_button, [this] { errorpanel_close_buttonClick(); });
  errorPanel->hide();

  // The message panel grows taller than the middle panel's part above the results panel,
  // so it belongs to the client area, where it can stand above both.
  messagepanel = Add_Status_Panel(Panel2->parentWidget(), "messagepanel", QRect(27, Panel2->y() + 6, 708, 96));
  message_caption = new QLabel(QStringLiteral("News"), messagepanel);
  message_caption->setObjectName(QStringLiteral("message_caption"));
  message_caption->setFont(Tahoma(15, true));
  message_caption->setGeometry(328, 8, 49, 18);
  message_caption->setAlignment(Qt::AlignCenter);
  messagepanel_close_button = Make_Close_Picture(messagepanel, "messagepanel_close_button", 675, 7);
  On_Click(messagepanel_close_button, [this] { messagepanel_close_buttonClick(); });
  messagepanel->hide();
}

void TMainForm::Build_Results_Panel(QWidget* client) {
  panelresults = Make_Panel(client, "panelresults", QRect(1, 400, 1010, 151));
  panelresults->setFrameStyle(QFrame::Panel | QFrame::Sunken);
  Label11 = Make_Label(panelresults, "Label11", QStringLiteral("Latest Results"), 2, 1, 1006, 19, Tahoma(16, true));
  Label11->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
  gridresults = new Results_Grid(MyGraph, bar_graph_, *this, panelresults);
  gridresults->setGeometry(2, 20, 1006, 129);
}

QLabel* TMainForm::Add_Result_Label(QWidget* parent, const char* name, int left, int top) {
  auto* label = new QLabel(QStringLiteral("00.00"), parent);
  label->setObjectName(QString::fromLatin1(name));
  label->setGeometry(left, top, 64, 16);
  label->setFont(Tahoma(13, true));
  label->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
  Fill_Background(label, Qt::black, QColor(0, 255, 0));
  result_labels_[name] = label;
  return label;
}
