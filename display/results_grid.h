// The grid "gridresults" of the runs made since the program started: a header row with the
// tests' short keys and one row of eighteen results per completed run. Selecting a row puts
// that run back into the plan, the graph and the result labels.
#pragma once

#include <vector>

#include <QString>
#include <QTableWidget>

#include "display/graph_layout.h"
#include "common/results_export.h"

class Bar_Graph;

// Rows are numbered as the user counts them: row 0 is the header (shown as the table's fixed
// header, so that it stays in view while the runs scroll), rows 1 and up hold runs. Column j
// belongs to plan entry j.
class Results_Grid : public QTableWidget {
  Q_OBJECT

 public:
  static constexpr int kColumns = 18;
  static constexpr int kFirstColumnWidth = 49;
  static constexpr int kColumnWidth = 54;
  static constexpr int kRowHeight = 24;
  static constexpr int kStartRows = 5;  // the header and four empty rows

  Results_Grid(TMyGraph& graph, Bar_Graph& bar_graph, Display_Host& host, QWidget* parent = nullptr);

  // Writes the header row: every plan entry with a NameTag gets its key padded on the left
  // to 7 characters.
  void ConstructGrid();
  // The first row without a run, from row 1 on; -1 when every row holds one.
  int Find_Empty_Space() const;
  // Adds one empty row at the bottom when every row holds a run.
  void Insert_Grid_Row();
  // Writes the run's results into the first empty row (added when there is none), each as
  // its result text padded on the left to 8 characters and marked by what answered its
  // test, and keeps the run's record.
  void Send_Result_to_Grid(const Run_Record& run);
  // The runs of the filled rows, from row 1 on, with their drive, date and test time.
  const std::vector<Run_Record>& Runs() const { return runs_; }
  // Puts the results of one row into the plan, draws them and writes them into the labels,
  // with the marks of what answered each test.
  // A cell that is empty or does not read as a number in the user's number format gives 0.
  void Draw_Grid_Results(int row);
  // A cell was made current with the mouse or the keyboard: the header or an empty row sets
  // SELECTEDGRIDRESULTS to -1 and changes nothing else; a row with a run resets the plan,
  // draws the empty graph, rewrites the header and shows the row.
  void gridresultsSelectCell(int ACol, int ARow);

  // The number of rows, the header included.
  int RowCount() const { return rowCount() + 1; }
  // The text of a cell; empty outside the grid.
  QString Cells(int ACol, int ARow) const;
  // What answered the test of a cell; an empty check for the header, an empty row or a cell
  // outside the grid.
  Device_Check Check_At(int ACol, int ARow) const;

  // The row last shown; -1 after a selection of the header or an empty row.
  int SELECTEDGRIDRESULTS = 0;

 protected:
  void mousePressEvent(QMouseEvent* event) override;

 private:
  void Set_Cell(int ACol, int ARow, const QString& text);

  TMyGraph& graph_;
  Bar_Graph& bar_graph_;
  Display_Host& host_;
  // The record of row k + 1 at k: the rates as measured, not as the cells round them.
  std::vector<Run_Record> runs_;
};
