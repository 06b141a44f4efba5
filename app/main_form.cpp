#include "app/main_form.h"

#include <algorithm>
#include <exception>

#include <QCloseEvent>
#include <QComboBox>
#include <QCoreApplication>
#include <QFrame>
#include <QLabel>
#include <QLayout>
#include <QMenuBar>
#include <QMessageBox>
#include <QPushButton>
#include <QScreen>
#include <QStatusBar>
#include <QSysInfo>

#include "common/global_functions.h"
#include "platform/volumes.h"

namespace {

const QString kApplicationTitle = QStringLiteral("Platterscope");
const std::string kCaptionPrefix = "Quillorane - Platterscope";

// The window's typeface at a pixel size. Where Tahoma is missing a narrow face keeps the
// texts inside the fixed layout.
QFont Tahoma(int pixels, bool bold = false) {
  QFont font;
  font.setFamilies({QStringLiteral("Tahoma"), QStringLiteral("DejaVu Sans Condensed"), QStringLiteral("Liberation Sans")});
  font.setPixelSize(pixels);
  font.setBold(bold);
  return font;
}

void Fill_Background(QWidget* widget, const QColor& background, const QColor& text) {
  QPalette palette = widget->palette();
  palette.setColor(QPalette::Window, background);
  palette.setColor(QPalette::WindowText, text);
  widget->setPalette(palette);
  widget->setAutoFillBackground(true);
}

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

}  // namespace

TMainForm::TMainForm(QWidget* parent)
    : QMainWindow(parent), log_([] { QCoreApplication::processEvents(QEventLoop::AllEvents); }) {
  setObjectName(QStringLiteral("MainForm"));
  setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                 Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint);
  setFont(Tahoma(11));

  QMenu* file_menu = menuBar()->addMenu(QStringLiteral("&File"));
  file_menu->setObjectName(QStringLiteral("File1"));
  QAction* exit_action = file_menu->addAction(QStringLiteral("E&xit"), this, &TMainForm::Exit1Click);
  exit_action->setObjectName(QStringLiteral("Exit1"));

  auto* client = new QWidget(this);
  client->setObjectName(QStringLiteral("client"));
  client->setFixedSize(kClientWidth, kClientHeight - 19);
  setCentralWidget(client);
  Build_Top_Panel(client);
  Build_Middle_Panel(client);
  Build_Results_Panel(client);

  statusBar()->setObjectName(QStringLiteral("StatusBar"));
  statusBar()->setFixedHeight(19);
  statusBar()->setSizeGripEnabled(false);
  StatusText = new QLabel(statusBar());
  StatusText->setObjectName(QStringLiteral("StatusText"));
  statusBar()->addWidget(StatusText, 1);

  // The window takes exactly the size of its menu bar, client area and status bar.
  layout()->setSizeConstraint(QLayout::SetFixedSize);
  adjustSize();
  if (QScreen* shown_on = screen()) move(shown_on->availableGeometry().center() - rect().center());

  // Creation.
  Local_Writelog("Application Start Version:" + Get_File_Version(4, ""));
  Local_Writelog("Operating System: " + QSysInfo::prettyProductName().toStdString());
  const std::string version = Get_File_Version(3, "");
  setWindowTitle(QString::fromStdString(version.empty() ? kCaptionPrefix : kCaptionPrefix + " v" + version));
  Clean_ALL_Stats();
  Redraw_Graph();
  Enable_All_Buttons(false, false);
  Display_Loading_Panel(true, "Loading...");

  // Start-up.
  combo_testtime->setCurrentIndex(4);
  Refresh_Drive_List();
  Finish_Startup();
}

TMainForm::~TMainForm() = default;

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

  // The bar graph draws here; until then it is the black area it starts as.
  graph = new QWidget(Panel2);
  graph->setObjectName(QStringLiteral("graph"));
  graph->setGeometry(0, -1, 760, 340);
  Fill_Background(graph, Qt::black, Qt::white);

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

  loadingpanel = Make_Panel(Panel2, "loadingpanel", QRect(27, 132, 709, 37));
  loadingpanel->setFrameStyle(QFrame::Panel | QFrame::Raised);
  Fill_Background(loadingpanel, QColor(0, 128, 255), Qt::white);
  loadinglabel = new QLabel(loadingpanel);
  loadinglabel->setObjectName(QStringLiteral("loadinglabel"));
  loadinglabel->setGeometry(7, 5, 690, 25);
  loadinglabel->setFont(Tahoma(21, true));
  loadinglabel->setAlignment(Qt::AlignCenter);
}

void TMainForm::Build_Results_Panel(QWidget* client) {
  panelresults = Make_Panel(client, "panelresults", QRect(1, 400, 1010, 151));
  panelresults->setFrameStyle(QFrame::Panel | QFrame::Sunken);
  Label11 = Make_Label(panelresults, "Label11", QStringLiteral("Latest Results"), 2, 1, 1006, 19, Tahoma(16, true));
  Label11->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
  // The results grid takes this place.
  gridresults = new QFrame(panelresults);
  gridresults->setObjectName(QStringLiteral("gridresults"));
  gridresults->setGeometry(2, 20, 1006, 129);
  Fill_Background(gridresults, palette().color(QPalette::Base), palette().color(QPalette::Text));
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

// ---- Engine_Host ----

void TMainForm::Process_Messages() { QCoreApplication::processEvents(QEventLoop::AllEvents); }

void TMainForm::Display_Loading_Panel(bool status, const std::string& messagetext) {
  // Centred on the graph, moved right by a third of the graph's left margin.
  loadingpanel->move(graph->width() / 2 - loadingpanel->width() / 2 + MyGraph.LeftMargin / 3,
                     graph->height() / 2 - loadingpanel->height() / 2);
  loadinglabel->setText(status ? QString::fromStdString(messagetext) : QString());
  loadingpanel->setVisible(status);
  if (status) {
    loadingpanel->raise();
    loadingpanel->repaint();
  }
  Process_Messages();
}

void TMainForm::DrawGraph(int /*column*/, double /*value*/) {
  // The bar graph draws the new bar here; the value is already in the plan.
  graph->update();
}

void TMainForm::Redraw_Graph() {
  // The bar graph draws itself anew from the plan here.
  graph->update();
}

void TMainForm::Set_Label_Text(const std::string& label, const std::string& text) {
  auto found = result_labels_.find(label);
  if (found != result_labels_.end()) found->second->setText(QString::fromStdString(text));
}

void TMainForm::Set_Status_Text(const std::string& text) { StatusText->setText(QString::fromStdString(text)); }

void TMainForm::Show_Error(const std::string& text) {
  QMessageBox::critical(this, kApplicationTitle, QString::fromStdString(text));
}

void TMainForm::Local_Writelog(const std::string& strText) { log_.Local_Writelog(strText); }

void TMainForm::Set_Start_Caption(const std::string& caption) { StartButton->setText(QString::fromStdString(caption)); }

void TMainForm::Enable_Start_Button(bool enabled) { StartButton->setEnabled(enabled); }

void TMainForm::Enable_All_Buttons(bool status, bool sbutton) {
  TargetDriveComboBox->setEnabled(status);
  combo_testtime->setEnabled(status);
  gridresults->setEnabled(status);
  StartButton->setEnabled(sbutton);
}

void TMainForm::Send_Result_To_Database() {
  // The result report is sent from here once reporting exists.
}

void TMainForm::Send_Result_to_Grid() {
  // The run becomes a row of the results grid here once the grid exists.
}

// ---- the window's own steps ----

void TMainForm::Clean_ALL_Stats() { ::Clean_ALL_Stats(MyGraph, *this); }

void TMainForm::Refresh_Drive_List() {
  if (!TargetDriveComboBox->currentText().isEmpty()) return;
  Local_Writelog("Refreshing Drives Start");
  TargetDriveComboBox->clear();
  for (const std::string& point : platform::Local_Mount_Points())
    TargetDriveComboBox->addItem(QString::fromStdString(point));
  TargetDriveComboBox->model()->sort(0);
  if (TargetDriveComboBox->count() > 0) TargetDriveComboBox->setCurrentIndex(0);
  Local_Writelog("Refreshing Drives Finish");
}

void TMainForm::Finish_Startup() {
  Display_Loading_Panel(false, "");
  Enable_All_Buttons(true, true);
  StartButton->setFocus();
}

void TMainForm::StartButtonClick() {
  // An error must not leave the handler: the event loop cannot carry it.
  try {
    engine_.StartButtonClick(TargetDriveComboBox->currentText().toStdString(),
                             combo_testtime->currentText().toStdString());
  } catch (const std::exception& error) {
    Local_Writelog(Error_Line(error));
    Show_Unhandled_Error(error.what());
  } catch (...) {
    Local_Writelog("Unknown error raised during the benchmark run");
    Show_Unhandled_Error("Unknown error raised during the benchmark run");
  }
  // The outermost press returns when its run is over; a close asked for meanwhile is due now.
  if (close_requested_ && !engine_.programrunning) close();
}

void TMainForm::Exit1Click() { close(); }

void TMainForm::Show_Unhandled_Error(const std::string& message) {
  QString text = QString::fromStdString(message);
  if (!message.empty() && static_cast<unsigned char>(message.back()) > '.') text += QLatin1Char('.');
  QMessageBox::critical(this, kApplicationTitle, text);
}

void TMainForm::closeEvent(QCloseEvent* event) {
  // A run goes on to its end, clean-ups included; the window closes after it.
  if (engine_.programrunning) {
    close_requested_ = true;
    Set_Status_Text("Platterscope closes when the benchmark run has ended.");
    event->ignore();
    return;
  }
  close_requested_ = false;
  QMainWindow::closeEvent(event);
}
