// The bar graph of the eighteen results: a 760 x 340 picture drawn from the plan, and the
// widget that shows it with the hint that names the test under the pointer.
#pragma once

#include <functional>
#include <string>

#include <QImage>
#include <QString>
#include <QWidget>

#include "display/graph_layout.h"

class QLabel;
class QPainter;

// A rectangle as the drawing routines take it: the right column and the bottom row are
// outside it.
struct Graph_Rect {
  int Left = 0;
  int Top = 0;
  int Right = 0;
  int Bottom = 0;
};

// Draws the plan's results into its own picture. Every measure comes from the plan: margins,
// fonts, the number of columns and scale lines, the gap between bars and the scale's top.
// The picture has 8 bits per channel (RGB32), so that every colour drawn is the exact colour
// computed.
class Bar_Graph {
 public:
  static constexpr int kImageWidth = 760;
  static constexpr int kImageHeight = 340;

  Bar_Graph(TMyGraph& graph, Display_Host& host);

  const QImage& Image() const { return image_; }

  // Resets the plan first when InitializeValues is set (result labels to "00.00"); then
  // raises MaxValue to a multiple of TotalRows - 1 and draws the empty scale with its
  // numbers and the captions under the slots. Writes Line_Bottom_Position,
  // Line_Top_Position and every entry's Left and Right.
  void PrepareGraph(bool InitializeValues);
  // Stores Value as the result of entry Pos and draws its bar and value text; -1 draws the
  // stored value again. A value above the scale grows the scale and redraws every bar. An
  // index outside 0..TotalColumns does nothing; a negative result is stored, not drawn.
  void DrawGraph(int Pos, double Value);
  // The empty graph at the current scale, every stored result drawn again, and every result
  // label rewritten ("0.00" for an entry without a result).
  void RedrawGraph();

  // Paints the rectangle row by row from FromColor at the top toward ToColor (Windows colour
  // values 0x00BBGGRR). Toward black the steps are shortened to 70 %, so a bar ends at about
  // 30 % of its colour. A drawing error ends the painting and is passed to log as one line.
  static void GradVertical(QPainter& Canvas, const Graph_Rect& Rect, int FromColor, int ToColor,
                           const std::function<void(const std::string&)>& log = {});
  static void GradVertical(QImage& Canvas, const Graph_Rect& Rect, int FromColor, int ToColor,
                           const std::function<void(const std::string&)>& log = {});

  // The hint for the pointer at (X, Y) of the picture: " " + Description + " " of the drawn
  // entry whose slot holds the point, or empty.
  QString Hover_Text(int X, int Y) const;

  // Called after every change of the picture (the widget that shows it repaints).
  void Set_Changed_Handler(std::function<void()> handler) { changed_ = std::move(handler); }

  // A Windows colour value 0x00BBGGRR as a colour.
  static QColor Windows_Color(int color);

 private:
  // The slot width and row pitch of the plan's layout; false when the plan holds no usable
  // layout (never reset: no scale lines, no columns).
  bool Layout(int& slot, int& pitch) const;
  int Last_Column() const;
  void Changed();

  TMyGraph& graph_;
  Display_Host& host_;
  QImage image_;
  std::function<void()> changed_;
};

// The widget "graph": shows the picture of a Bar_Graph at (0, -1) of the panel that holds
// it, and the hint label "graphhint" in that panel while the pointer is over a drawn bar.
class Graph_View : public QWidget {
  Q_OBJECT

 public:
  Graph_View(QWidget* panel, Bar_Graph& graph);
  ~Graph_View() override;

  QLabel* Hint() const { return graphhint_; }
  // The pointer moved to (X, Y) of the picture: the hint is hidden, then shown with the
  // hovered test's name at (X + 20, Y + 10) of the panel.
  void graphMouseMove(int X, int Y);

 protected:
  void paintEvent(QPaintEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void leaveEvent(QEvent* event) override;

 private:
  Bar_Graph& graph_;
  QLabel* graphhint_ = nullptr;
};
