// The grid of completed runs: its shape, the rows that runs fill and add, the cell texts, and
// a selection that puts a run back into the plan, the graph and the labels.
#include <gtest/gtest.h>

#include <QApplication>
#include <QFocusEvent>
#include <QHeaderView>
#include <QLocale>
#include <QTest>

#include <map>
#include <string>
#include <vector>

#include "common/result_text.h"
#include "display/bar_graph.h"
#include "display/device_marks.h"
#include "display/results_grid.h"
#include "engine/plan.h"
#include "recording_host.h"

namespace {

// Values with at most two decimals, so that they read back from the cells unchanged.
std::vector<double> Run_Values(double base) {
  std::vector<double> values;
  for (int i = 0; i <= kLastTest; ++i) values.push_back(base + 2.25 * i);
  return values;
}

class ResultsGridTest : public ::testing::Test {
 protected:
  void SetUp() override {
    Clean_ALL_Stats(plan, host);
    grid.ConstructGrid();
    graph.PrepareGraph(false);
  }

  // A completed run goes to the grid, with the checks given for its tests.
  void Run(const std::vector<double>& values, const std::map<int, Device_Check>& checks = {}) {
    Run_Record record{"/", "2025-01-01 00:00:00", {}};
    record.run.seconds = 20;
    for (int i = 0; i <= kLastTest; ++i) record.run.tests[i].rate = values[i];
    for (const auto& [test, check] : checks) record.run.tests[test].check = check;
    grid.Send_Result_to_Grid(record);
  }

  // The graph of a run drawn from scratch, as a run or a selection draws it.
  static QImage Drawn(const std::vector<double>& values) {
    TMyGraph fresh_plan{};
    Recording_Host fresh_host;
    Bar_Graph fresh(fresh_plan, fresh_host);
    fresh.PrepareGraph(true);
    for (int i = 0; i <= kLastTest; ++i) {
      fresh_plan.GraphColumn[i].Value = values[i];
      fresh.DrawGraph(i, values[i]);
    }
    return fresh.Image();
  }

  void Expect_Shown(const std::vector<double>& values) {
    for (int i = 0; i <= kLastTest; ++i) {
      SCOPED_TRACE(i);
      EXPECT_EQ(plan.GraphColumn[i].Value, values[i]);
      EXPECT_EQ(host.labels[plan.GraphColumn[i].TestSpeedLabel], Result_Text(values[i]));
    }
    EXPECT_EQ(graph.Image(), Drawn(values));
  }

  TMyGraph plan{};
  Recording_Host host;
  Bar_Graph graph{plan, host};
  Results_Grid grid{plan, graph, host};
};

TEST_F(ResultsGridTest, StartsWithTheHeaderAndFourEmptyRows) {
  EXPECT_EQ(grid.objectName(), "gridresults");
  EXPECT_EQ(grid.columnCount(), 18);
  EXPECT_EQ(grid.RowCount(), 5);
  EXPECT_EQ(grid.columnWidth(0), 49);
  for (int j = 1; j < 18; ++j) EXPECT_EQ(grid.columnWidth(j), 54) << j;
  for (int r = 0; r < grid.rowCount(); ++r) EXPECT_EQ(grid.rowHeight(r), 24);
  EXPECT_EQ(grid.selectionBehavior(), QAbstractItemView::SelectRows);
  EXPECT_EQ(grid.editTriggers(), QAbstractItemView::NoEditTriggers);
  EXPECT_NE(grid.verticalScrollBarPolicy(), Qt::ScrollBarAlwaysOff);
  EXPECT_TRUE(grid.font().bold());
  EXPECT_EQ(grid.font().pixelSize(), 11);

  struct Header {
    int column;
    const char* text;
  };
  for (const Header& h : {Header{0, "  WRITE"}, Header{1, "   READ"}, Header{2, "  512BW"}, Header{4, "    1KW"},
                          Header{12, "  512KW"}, Header{17, "   4MBR"}}) {
    EXPECT_EQ(grid.Cells(h.column, 0), h.text);
  }
  for (int r = 1; r < grid.RowCount(); ++r) EXPECT_EQ(grid.Cells(0, r), "") << r;
  EXPECT_EQ(grid.Find_Empty_Space(), 1);
  EXPECT_EQ(grid.SELECTEDGRIDRESULTS, 0);
}

TEST_F(ResultsGridTest, RunsFillRowsFromTheTopAndTheFifthAddsARow) {
  for (int run = 1; run <= 4; ++run) {
    Run(Run_Values(10 * run));
    EXPECT_EQ(grid.RowCount(), 5);
    EXPECT_EQ(grid.Cells(0, run), QStringLiteral("   %1.00").arg(10 * run));
    EXPECT_EQ(grid.Find_Empty_Space(), run < 4 ? run + 1 : -1);
  }
  Run(Run_Values(50));
  EXPECT_EQ(grid.RowCount(), 6);
  EXPECT_EQ(grid.Cells(0, 5), "   50.00");
  EXPECT_EQ(grid.Cells(17, 5), "   88.25");
  EXPECT_EQ(grid.rowHeight(grid.rowCount() - 1), 24);
  EXPECT_EQ(grid.Find_Empty_Space(), -1);

  grid.Insert_Grid_Row();  // adds only when every row is taken
  EXPECT_EQ(grid.RowCount(), 7);
  grid.Insert_Grid_Row();
  EXPECT_EQ(grid.RowCount(), 7);
}

TEST_F(ResultsGridTest, CellsHoldThePaddedResultTextAndReadBackOnSelection) {
  struct Case {
    double value;
    const char* cell;
    double read_back;
  };
  const Case cases[] = {
      {1234.56, " 1235.00", 1235.0}, {5.5, "    5.50", 5.5},     {-1, "   -1.00", -1.0},
      {123.456, "  123.50", 123.5},  {0, "    0.00", 0.0},      {12345.6, "1.235E04", 12350.0},
  };
  int row = 0;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.value);
    std::vector<double> values = Run_Values(1);
    values[0] = c.value;
    Run(values);
    ++row;
    ASSERT_EQ(grid.Cells(0, row), c.cell);
    grid.gridresultsSelectCell(0, row);
    EXPECT_EQ(grid.SELECTEDGRIDRESULTS, row);
    EXPECT_EQ(plan.GraphColumn[0].Value, c.read_back);
  }
}

TEST_F(ResultsGridTest, SelectingARowPutsItsRunBackOnTheScreen) {
  std::vector<double> second = Run_Values(20);
  second[5] = 250;  // above the scale: it grows before the later bars are drawn
  Run(Run_Values(10));
  Run(second);
  Run(Run_Values(30));
  // The screen shows something else: a new run has begun.
  graph.PrepareGraph(true);
  plan.GraphColumn[0].Value = 99;
  graph.DrawGraph(0, 99);
  host.status = "Results sent";

  grid.gridresultsSelectCell(3, 2);
  EXPECT_EQ(grid.SELECTEDGRIDRESULTS, 2);
  EXPECT_EQ(plan.MaxValue, 253);
  Expect_Shown(second);
  // The first bar at 297 / 253 pixels per MB/s.
  EXPECT_EQ(graph.Image().pixelColor(34, 298), QColor(255, 0, 0));
  EXPECT_NE(graph.Image().pixelColor(34, 297), QColor(255, 0, 0));
  EXPECT_EQ(host.status, "");
  EXPECT_EQ(grid.Cells(0, 0), "  WRITE");
}

TEST_F(ResultsGridTest, HeaderOrEmptyRowChangesNothing) {
  Run(Run_Values(10));
  grid.gridresultsSelectCell(0, 1);
  ASSERT_EQ(grid.SELECTEDGRIDRESULTS, 1);
  const QImage image = graph.Image();
  const auto labels = host.labels;
  const TMyGraph shown = plan;

  struct Case {
    int column, row;
  };
  for (const Case& c : {Case{0, 0}, Case{7, 0}, Case{0, 2}, Case{5, 4}, Case{0, 9}}) {
    SCOPED_TRACE(std::to_string(c.column) + "," + std::to_string(c.row));
    grid.SELECTEDGRIDRESULTS = 1;
    grid.gridresultsSelectCell(c.column, c.row);
    EXPECT_EQ(grid.SELECTEDGRIDRESULTS, -1);
    EXPECT_EQ(graph.Image(), image);
    EXPECT_EQ(host.labels, labels);
    EXPECT_EQ(plan.MaxValue, shown.MaxValue);
    for (int i = 0; i < kPlanEntries; ++i) EXPECT_EQ(plan.GraphColumn[i].Value, shown.GraphColumn[i].Value);
  }
}

TEST_F(ResultsGridTest, RowOfRunWithoutResultsDrawsNoBar) {
  Run(std::vector<double>(kLastTest + 1, -1.0));
  EXPECT_EQ(grid.Cells(9, 1), "   -1.00");
  grid.gridresultsSelectCell(9, 1);
  EXPECT_EQ(grid.SELECTEDGRIDRESULTS, 1);
  Expect_Shown(std::vector<double>(kLastTest + 1, -1.0));
  for (int i = 0; i <= kLastTest; ++i) EXPECT_EQ(host.labels[plan.GraphColumn[i].TestSpeedLabel], "-1.00");

  TMyGraph empty_plan{};
  Recording_Host empty_host;
  Bar_Graph empty(empty_plan, empty_host);
  empty.PrepareGraph(true);
  EXPECT_EQ(graph.Image(), empty.Image());
}

TEST_F(ResultsGridTest, CellsReadInTheUsersNumberFormat) {
  Run(Run_Values(10));
  grid.item(0, 3)->setText(QStringLiteral("n/a"));  // no longer a number: read as 0
  grid.gridresultsSelectCell(0, 1);
  EXPECT_EQ(plan.GraphColumn[3].Value, 0.0);
  EXPECT_EQ(host.labels["Label4"], "0.00");
  EXPECT_EQ(plan.GraphColumn[4].Value, 19.0);

  const QLocale pinned;
  QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
  std::vector<double> values = Run_Values(10);
  values[0] = 5.5;
  Run(values);
  const QString written = grid.Cells(0, 2);
  grid.gridresultsSelectCell(0, 2);
  const double read_back = plan.GraphColumn[0].Value;
  QLocale::setDefault(pinned);
  EXPECT_EQ(written, "    5,50");
  EXPECT_EQ(read_back, 5.5);
}

TEST_F(ResultsGridTest, KeyboardAndMouseMovesShowEachRowPassed) {
  Run(Run_Values(10));
  Run(Run_Values(20));
  Run(Run_Values(30));
  grid.resize(1006, 129);
  grid.show();

  // Taking the focus shows nothing by itself.
  QFocusEvent focus(QEvent::FocusIn, Qt::TabFocusReason);
  QApplication::sendEvent(&grid, &focus);
  EXPECT_EQ(grid.SELECTEDGRIDRESULTS, 0);

  struct Step {
    Qt::Key key;
    int selected;
    double shown_base;
  };
  for (const Step& s : {Step{Qt::Key_Down, 2, 20}, Step{Qt::Key_Down, 3, 30}, Step{Qt::Key_Down, -1, 30},
                        Step{Qt::Key_Up, 3, 30}, Step{Qt::Key_Up, 2, 20}, Step{Qt::Key_Up, 1, 10}}) {
    SCOPED_TRACE(s.selected);
    QTest::keyClick(&grid, s.key);
    EXPECT_EQ(grid.SELECTEDGRIDRESULTS, s.selected);
    EXPECT_EQ(plan.GraphColumn[17].Value, Run_Values(s.shown_base)[17]);
  }

  // A click on the row that is already current still shows it again.
  graph.PrepareGraph(true);
  ASSERT_EQ(grid.currentRow(), 0);
  const QPoint row_1 = grid.visualRect(grid.model()->index(0, grid.currentColumn())).center();
  QTest::mouseClick(grid.viewport(), Qt::LeftButton, {}, row_1);
  EXPECT_EQ(grid.SELECTEDGRIDRESULTS, 1);
  Expect_Shown(Run_Values(10));

  const QPoint row_3 = grid.visualRect(grid.model()->index(2, 0)).center();
  QTest::mouseClick(grid.viewport(), Qt::LeftButton, {}, row_3);
  EXPECT_EQ(grid.SELECTEDGRIDRESULTS, 3);
  Expect_Shown(Run_Values(30));
}

}  // namespace

TEST_F(ResultsGridTest, ACellACacheServedStandsOutAndItsRowMarksTheLabelsAgain) {
  const Device_Check cached = Cached_Read(0);
  Device_Check device = cached;
  device.verdict = Device_Verdict::Device;
  device.device_bytes = cached.counted_bytes;
  Run(Run_Values(10), {{0, device}, {1, cached}});
  const QTableWidgetItem* read_cell = grid.item(0, 1);
  const QTableWidgetItem* write_cell = grid.item(0, 0);
  EXPECT_EQ(read_cell->background().color(), kCachedResultColour);
  EXPECT_EQ(write_cell->background().style(), Qt::NoBrush);
  EXPECT_EQ(read_cell->toolTip().toStdString(), Device_Check_Tip(cached));
  EXPECT_EQ(write_cell->toolTip().toStdString(), Device_Check_Tip(device));

  // Another run is on the screen; selecting the row brings back its marks too.
  Clean_ALL_Stats(plan, host);
  EXPECT_EQ(host.checks["test1R"].verdict, Device_Verdict::None);
  grid.gridresultsSelectCell(0, 1);
  EXPECT_EQ(host.checks["test1R"].verdict, Device_Verdict::Cache);
  EXPECT_EQ(host.checks["test1W"].verdict, Device_Verdict::Device);
  EXPECT_EQ(host.checks["Label2"].verdict, Device_Verdict::None);
  EXPECT_EQ(plan.GraphColumn[1].Check.device_bytes, 0);
}
