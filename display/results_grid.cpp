#include "display/results_grid.h"

#include <algorithm>

#include <QHeaderView>
#include <QItemSelectionModel>
#include <QLocale>
#include <QMouseEvent>
#include <QSignalBlocker>

#include "common/global_functions.h"
#include "common/result_text.h"
#include "display/bar_graph.h"
#include "display/device_marks.h"
#include "display/layout_fonts.h"

namespace {

QString Header_Text(const std::string& name_tag) {
  return QString::fromStdString(Pad_String(name_tag, 7, " ", 0));
}

QString Result_Cell_Text(double value) { return QString::fromStdString(Pad_String(Result_Text(value), 8, " ", 0)); }

// A cell's number in the user's number format; 0 when it is empty or not a number.
double Cell_Value(const QString& text) {
  const QString trimmed = text.trimmed();
  if (trimmed.isEmpty()) return 0;
  bool ok = false;
  const double value = QLocale().toDouble(trimmed, &ok);
  return ok ? value : 0;
}

}  // namespace

Results_Grid::Results_Grid(TMyGraph& graph, Bar_Graph& bar_graph, Display_Host& host, QWidget* parent)
    : QTableWidget(kStartRows - 1, kColumns, parent), graph_(graph), bar_graph_(bar_graph), host_(host) {
  setObjectName(QStringLiteral("gridresults"));
  setFont(Layout_Font_Pixels(QStringLiteral("Arial"), 11, true));
  setSelectionBehavior(QAbstractItemView::SelectRows);
  setSelectionMode(QAbstractItemView::SingleSelection);
  setEditTriggers(QAbstractItemView::NoEditTriggers);
  setShowGrid(true);
  setWordWrap(false);
  setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
  setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  setVerticalScrollMode(QAbstractItemView::ScrollPerItem);

  QPalette colours = palette();
  colours.setColor(QPalette::Base, colours.color(QPalette::ToolTipBase));
  colours.setColor(QPalette::Text, colours.color(QPalette::ToolTipText));
  setPalette(colours);

  verticalHeader()->hide();
  verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
  verticalHeader()->setMinimumSectionSize(kRowHeight);
  verticalHeader()->setDefaultSectionSize(kRowHeight);

  QHeaderView* header = horizontalHeader();
  header->setSectionResizeMode(QHeaderView::Fixed);
  header->setSectionsClickable(false);
  header->setHighlightSections(false);
  header->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
  header->setFixedHeight(kRowHeight);
  header->setStyleSheet(QStringLiteral(
      "QHeaderView::section { background: qlineargradient(x1:0, y1:0, x2:0, y2:1, stop:0 #008000, stop:1 #00ff00);"
      " color: black; padding-left: 2px; border: none; border-right: 1px solid #006000;"
      " border-bottom: 1px solid #006000; }"));
  for (int column = 0; column < kColumns; ++column) {
    setColumnWidth(column, column == 0 ? kFirstColumnWidth : kColumnWidth);
    setHorizontalHeaderItem(column, new QTableWidgetItem(QString()));
  }

  // Row 1 is the current row from the start, as in a fresh grid, without counting as a
  // selection: the first focus then shows nothing, and a click on row 1 is still a selection.
  {
    const QSignalBlocker quiet(selectionModel());
    selectionModel()->setCurrentIndex(model()->index(0, 0), QItemSelectionModel::NoUpdate);
  }

  connect(this, &QTableWidget::currentCellChanged, this, [this](int row, int column, int, int) {
    if (row >= 0 && column >= 0) gridresultsSelectCell(column, row + 1);
  });

  ConstructGrid();
}

QString Results_Grid::Cells(int ACol, int ARow) const {
  if (ACol < 0 || ACol >= columnCount() || ARow < 0 || ARow >= RowCount()) return {};
  const QTableWidgetItem* cell = ARow == 0 ? horizontalHeaderItem(ACol) : item(ARow - 1, ACol);
  return cell ? cell->text() : QString();
}

void Results_Grid::Set_Cell(int ACol, int ARow, const QString& text) {
  if (ACol < 0 || ACol >= columnCount() || ARow < 0 || ARow >= RowCount()) return;
  if (ARow == 0) {
    horizontalHeaderItem(ACol)->setText(text);
    return;
  }
  QTableWidgetItem* cell = item(ARow - 1, ACol);
  if (!cell) {
    cell = new QTableWidgetItem;
    cell->setFlags(Qt::ItemIsSelectable | Qt::ItemIsEnabled);
    setItem(ARow - 1, ACol, cell);
  }
  cell->setText(text);
}

void Results_Grid::ConstructGrid() {
  const int last = std::min<int>(columnCount(), static_cast<int>(graph_.GraphColumn.size())) - 1;
  for (int j = 0; j <= last; ++j) {
    const TMyGraphColumn& entry = graph_.GraphColumn[j];
    if (!entry.NameTag.empty()) Set_Cell(j, 0, Header_Text(entry.NameTag));
  }
}

int Results_Grid::Find_Empty_Space() const {
  for (int row = 1; row < RowCount(); ++row)
    if (Cells(0, row).isEmpty()) return row;
  return -1;
}

void Results_Grid::Insert_Grid_Row() {
  if (Find_Empty_Space() == -1) setRowCount(rowCount() + 1);
}

void Results_Grid::Send_Result_to_Grid(const Run_Record& run) {
  Insert_Grid_Row();
  const int row = Find_Empty_Space();
  if (row <= -1) return;
  const int last = std::min<int>(columnCount(), static_cast<int>(run.run.tests.size())) - 1;
  for (int j = 0; j <= last; ++j) {
    const Test_Result& test = run.run.tests[static_cast<std::size_t>(j)];
    Set_Cell(j, row, Result_Cell_Text(test.rate));
    Mark_Result_Cell(item(row - 1, j), test.check);
  }
  if (runs_.size() < static_cast<std::size_t>(row)) runs_.resize(static_cast<std::size_t>(row));
  runs_[static_cast<std::size_t>(row) - 1] = run;
}

Device_Check Results_Grid::Check_At(int ACol, int ARow) const {
  if (ARow < 1 || static_cast<std::size_t>(ARow) > runs_.size() || ACol < 0 || ACol >= kColumns) return {};
  return runs_[static_cast<std::size_t>(ARow) - 1].run.tests[static_cast<std::size_t>(ACol)].check;
}

void Results_Grid::Draw_Grid_Results(int row) {
  const int last = std::min<int>(graph_.TotalColumns, static_cast<int>(graph_.GraphColumn.size()) - 1);
  for (int i = 0; i <= last; ++i) {
    const double value = Cell_Value(Cells(i, row));
    TMyGraphColumn& entry = graph_.GraphColumn[i];
    entry.Value = value;
    entry.Check = Check_At(i, row);
    bar_graph_.DrawGraph(entry.Column, value);
    if (entry.TestSpeedLabel.empty()) continue;
    host_.Set_Label_Text(entry.TestSpeedLabel, Result_Text(value));
    host_.Show_Device_Check(entry.TestSpeedLabel, entry.Check);
  }
}

void Results_Grid::gridresultsSelectCell(int ACol, int ARow) {
  if (ARow <= 0 || Cells(ACol, ARow).isEmpty()) {
    SELECTEDGRIDRESULTS = -1;
    return;
  }
  Clean_ALL_Stats(graph_, host_);
  bar_graph_.PrepareGraph(true);
  ConstructGrid();
  SELECTEDGRIDRESULTS = ARow;
  Draw_Grid_Results(ARow);
}

void Results_Grid::mousePressEvent(QMouseEvent* event) {
  const QModelIndex before = currentIndex();
  QTableWidget::mousePressEvent(event);
  // A press on the cell that is already current moves nothing, so no change is reported;
  // it still asks for that row, which may no longer be the run on the screen.
  const QModelIndex hit = indexAt(event->position().toPoint());
  if (event->button() == Qt::LeftButton && hit.isValid() && hit == before && currentIndex() == before)
    gridresultsSelectCell(hit.column(), hit.row() + 1);
}
