// The bar graph read back pixel by pixel: the scale, the bars' gradients and heights, the
// growth of the scale, the hover hint and the widget that shows the picture.
#include <gtest/gtest.h>

#include <QApplication>
#include <QFontMetrics>
#include <QLabel>
#include <QMouseEvent>

#include <array>
#include <string>

#include "display/bar_graph.h"
#include "display/layout_fonts.h"
#include "engine/plan.h"
#include "recording_host.h"

namespace {

std::string Colour_At(const QImage& image, int x, int y) {
  const QColor c = image.pixelColor(x, y);
  return QStringLiteral("(%1,%2,%3)").arg(c.red()).arg(c.green()).arg(c.blue()).toStdString();
}

const std::string kBlack = "(0,0,0)";
const std::string kBlue = "(0,0,255)";
const std::string kRed = "(255,0,0)";
constexpr std::array<int, 12> kScaleLines = {322, 295, 268, 241, 214, 187, 160, 133, 106, 79, 52, 25};

bool On_Scale_Line(int y) {
  for (int line : kScaleLines)
    if (line == y) return true;
  return false;
}

// The height of the value texts above the bars.
int Value_Text_Height(const TMyGraph& plan) {
  return QFontMetrics(Layout_Font_Points(plan.ValueFont, plan.ValueFontSize)).height();
}

// A plan that has never been drawn, reset, with its empty graph.
struct Fresh_Graph {
  Fresh_Graph() { graph.PrepareGraph(true); }
  TMyGraph plan{};
  Recording_Host host;
  Bar_Graph graph{plan, host};
};

class BarGraphTest : public ::testing::Test {
 protected:
  Fresh_Graph fresh;
  TMyGraph& plan = fresh.plan;
  Recording_Host& host = fresh.host;
  Bar_Graph& graph = fresh.graph;
  const QImage& image() { return graph.Image(); }
};

TEST_F(BarGraphTest, ResetDrawsTheEmptyScaleAndTheCaptions) {
  EXPECT_EQ(graph.Image().size(), QSize(760, 340));
  EXPECT_EQ(plan.MaxValue, 110);
  EXPECT_EQ(plan.Line_Bottom_Position, 322);
  EXPECT_EQ(plan.Line_Top_Position, 25);
  for (int y : kScaleLines) {
    SCOPED_TRACE(y);
    EXPECT_EQ(Colour_At(image(), 34, y), kBlue);
    EXPECT_EQ(Colour_At(image(), 735, y), kBlue);
    EXPECT_EQ(Colour_At(image(), 736, y), kBlack);
  }
  // Between the lines the plot area is black: no bar.
  int stray = 0;
  for (int y = 25; y <= 322; ++y)
    for (int x = 34; x <= 735; ++x)
      if (Colour_At(image(), x, y) != (On_Scale_Line(y) ? kBlue : kBlack)) ++stray;
  EXPECT_EQ(stray, 0);

  // Captions begin at y 324 under every slot; the numbers stand left of the plot area.
  auto lit_pixels = [&](int x0, int x1, int y0, int y1) {
    int lit = 0;
    for (int y = y0; y <= y1; ++y)
      for (int x = x0; x <= x1; ++x) lit += Colour_At(image(), x, y) != kBlack;
    return lit;
  };
  EXPECT_EQ(lit_pixels(34, 759, 323, 323), 0);
  EXPECT_GT(lit_pixels(34, 72, 324, 339), 0);
  EXPECT_GT(lit_pixels(697, 735, 324, 339), 0);
  EXPECT_GT(lit_pixels(0, 29, 315, 329), 0);
  EXPECT_EQ(lit_pixels(30, 33, 0, 339), 0);

  for (int j = 0; j <= kLastTest; ++j) {
    EXPECT_EQ(plan.GraphColumn[j].Left, 34 + 39 * j);
    EXPECT_EQ(plan.GraphColumn[j].Right, 73 + 39 * j);
    EXPECT_EQ(plan.GraphColumn[j].Value, -1.0);
    EXPECT_EQ(host.labels[plan.GraphColumn[j].TestSpeedLabel], "00.00");
  }
  EXPECT_EQ(host.status, "");
}

TEST(GradVertical, PaintsRowsFromTheColourTowardTheTarget) {
  struct Case {
    int from, to, rows, k;
    const char* expected;
  };
  const Case cases[] = {
      {0x0000FF, 0, 100, 0, "(255,0,0)"},  {0x0000FF, 0, 100, 1, "(254,0,0)"},
      {0x0000FF, 0, 100, 50, "(166,0,0)"}, {0x0000FF, 0, 100, 99, "(79,0,0)"},
      {0x0000FF, 0, 297, 296, "(78,0,0)"},  // a full-height bar never reaches black
      {0x0000FF, 0, 1, 0, "(255,0,0)"},     // one row: the colour itself
      {0xFF8000, 0, 100, 99, "(0,40,79)"},  // channels in the order 0x00BBGGRR
      {0x000000, 0x0000FF, 10, 1, "(26,0,0)"},  // toward a colour: whole steps, rounded up
      {0x000000, 0x0000FF, 10, 9, "(230,0,0)"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::to_string(c.rows) + " rows, row " + std::to_string(c.k));
    QImage canvas(10, c.rows + 2, QImage::Format_RGB32);
    canvas.fill(Qt::black);
    Bar_Graph::GradVertical(canvas, Graph_Rect{2, 1, 8, 1 + c.rows}, c.from, c.to);
    EXPECT_EQ(Colour_At(canvas, 2, 1 + c.k), c.expected);
    EXPECT_EQ(Colour_At(canvas, 7, 1 + c.k), c.expected);
    // The right column and the bottom row are outside the rectangle.
    EXPECT_EQ(Colour_At(canvas, 8, 1 + c.k), kBlack);
    EXPECT_EQ(Colour_At(canvas, 1, 1 + c.k), kBlack);
    EXPECT_EQ(Colour_At(canvas, 2, 0), kBlack);
    EXPECT_EQ(Colour_At(canvas, 2, 1 + c.rows), kBlack);
  }
}

TEST(GradVertical, RectangleWithoutHeightPaintsNothing) {
  for (int bottom : {10, 9}) {
    QImage canvas(10, 20, QImage::Format_RGB32);
    canvas.fill(Qt::black);
    const QImage before = canvas;
    Bar_Graph::GradVertical(canvas, Graph_Rect{2, 10, 8, bottom}, 0x0000FF, 0);
    EXPECT_EQ(canvas, before) << "bottom " << bottom;
  }
}

TEST_F(BarGraphTest, ResultOfAHundredRowsPaintsTheRedGradientDownToTheBaseline) {
  graph.DrawGraph(0, 37.0);  // 2.7 pixels per MB/s: 99.9 pixels, the bar starts at row 222
  EXPECT_EQ(plan.GraphColumn[0].Value, 37.0);
  struct Row {
    int y;
    const char* colour;
  };
  for (const Row& row : {Row{222, "(255,0,0)"}, Row{223, "(254,0,0)"}, Row{272, "(166,0,0)"}, Row{321, "(79,0,0)"}}) {
    SCOPED_TRACE(row.y);
    EXPECT_EQ(Colour_At(image(), 34, row.y), row.colour);
    EXPECT_EQ(Colour_At(image(), 69, row.y), row.colour);
    EXPECT_EQ(Colour_At(image(), 70, row.y), kBlack);  // the gap right of the bar
  }
  EXPECT_EQ(Colour_At(image(), 34, 221), kBlack);
  EXPECT_EQ(Colour_At(image(), 34, 322), kBlue);  // the baseline stays under the bar

  const TMyGraphColumn& entry = plan.GraphColumn[0];
  EXPECT_EQ(entry.Top, 222 - Value_Text_Height(plan));
  EXPECT_EQ(entry.Bottom, 322);
  EXPECT_EQ(entry.Width, 36);
  // The value text stands on the bar.
  int lit = 0;
  for (int y = entry.Top; y < 222; ++y)
    for (int x = 40; x <= 64; ++x) lit += Colour_At(image(), x, y) != kBlack && !On_Scale_Line(y);
  EXPECT_GT(lit, 0);
}

TEST(BarGraphScale, ResultsAboveTheScaleGrowItToAMultipleOfElevenSteps) {
  struct Case {
    double value;
    int max_value;
    int top_row;
  };
  const Case cases[] = {
      {37.0, 110, 222},
      {110.4, 110, 23},   // rounds to 110: the scale stays, the bar rises above the top line
      {110.5, 110, 23},   // a half goes to the even neighbour
      {111.5, 121, 48},   // 112, then the next multiple of 11
      {523.7, 528, 27},   // 524, then 528
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.value);
    Fresh_Graph fresh;
    fresh.graph.DrawGraph(0, c.value);
    EXPECT_EQ(fresh.plan.MaxValue, c.max_value);
    EXPECT_EQ(Colour_At(fresh.graph.Image(), 34, c.top_row), kRed);
    EXPECT_NE(Colour_At(fresh.graph.Image(), 34, c.top_row - 1), kRed);
  }
}

TEST_F(BarGraphTest, GrowingScaleRedrawsEarlierBarsAndRewritesTheLabels) {
  graph.DrawGraph(0, 50.0);  // top at 322 - 135
  ASSERT_EQ(Colour_At(image(), 34, 187), kRed);
  // As a test hands its rate over: stored in the plan first, then drawn.
  plan.GraphColumn[1].Value = 523.7;
  graph.DrawGraph(1, 523.7);

  EXPECT_EQ(plan.MaxValue, 528);
  EXPECT_EQ(plan.Line_Bottom_Position, 322);
  EXPECT_EQ(plan.Line_Top_Position, 25);
  // The first bar at 297 / 528 pixels per MB/s: 28.1 pixels high.
  EXPECT_EQ(Colour_At(image(), 34, 293), kRed);
  EXPECT_EQ(Colour_At(image(), 34, 250), kBlack);
  EXPECT_EQ(plan.GraphColumn[0].Top, 293 - Value_Text_Height(plan));
  EXPECT_EQ(Colour_At(image(), 73, 27), "(0,255,0)");
  EXPECT_EQ(Colour_At(image(), 73, 26), kBlack);

  EXPECT_EQ(host.labels["test1W"], "50.00");
  EXPECT_EQ(host.labels["test1R"], "523.70");
  for (int j = 2; j <= kLastTest; ++j) EXPECT_EQ(host.labels[plan.GraphColumn[j].TestSpeedLabel], "0.00") << j;
  EXPECT_TRUE(host.log.empty());

  // Each bar and value text is drawn once: the same picture as both results redrawn at
  // that scale (a text written twice over itself comes out heavier).
  Fresh_Graph reference;
  reference.plan.GraphColumn[0].Value = 50.0;
  reference.plan.GraphColumn[1].Value = 523.7;
  reference.plan.MaxValue = 528;
  reference.graph.RedrawGraph();
  EXPECT_EQ(image(), reference.graph.Image());
}

TEST_F(BarGraphTest, ResultOfZeroDrawsOnlyItsTextAboveTheBaseline) {
  const QImage before = image();
  graph.DrawGraph(4, 0.0);
  EXPECT_EQ(plan.GraphColumn[4].Value, 0.0);
  const int text_top = 322 - Value_Text_Height(plan);
  EXPECT_EQ(plan.GraphColumn[4].Top, text_top);
  int changed = 0, coloured = 0, outside_text = 0;
  for (int y = 0; y < 340; ++y)
    for (int x = 0; x < 760; ++x) {
      const QColor now = image().pixelColor(x, y);
      if (now == before.pixelColor(x, y)) continue;
      ++changed;
      if (now.red() != now.green() || now.green() != now.blue()) ++coloured;
      if (y < text_top || y >= 322 || x < 190 || x > 228) ++outside_text;  // slot 4
    }
  EXPECT_GT(changed, 0);
  EXPECT_EQ(coloured, 0);
  EXPECT_EQ(outside_text, 0);
}

TEST_F(BarGraphTest, IndexOutsideThePlanChangesNothing) {
  graph.DrawGraph(0, 50.0);
  const TMyGraph plan_before = plan;
  const QImage image_before = image();
  struct Case {
    int pos;
    double value;
  };
  for (const Case& c : {Case{18, 50}, Case{-1, 50}, Case{18, 1000}, Case{-1, 1000}, Case{20, 0}, Case{21, 5}}) {
    SCOPED_TRACE(std::to_string(c.pos) + " " + std::to_string(c.value));
    graph.DrawGraph(c.pos, c.value);
    EXPECT_EQ(image(), image_before);
    EXPECT_EQ(plan.MaxValue, plan_before.MaxValue);
    for (int j = 0; j < kPlanEntries; ++j) EXPECT_EQ(plan.GraphColumn[j].Value, plan_before.GraphColumn[j].Value);
  }
}

TEST_F(BarGraphTest, MinusOneDrawsTheStoredValueAgainAndNegativesAreKeptUndrawn) {
  plan.GraphColumn[3].Value = 42.5;  // 114.75 pixels: the bar starts at row 207
  graph.DrawGraph(3, -1);
  EXPECT_EQ(plan.GraphColumn[3].Value, 42.5);
  EXPECT_EQ(Colour_At(image(), 151, 207), "(244,129,0)");
  EXPECT_NE(Colour_At(image(), 151, 206), "(244,129,0)");

  const QImage drawn = image();
  graph.DrawGraph(5, -1);  // no result: nothing to draw
  EXPECT_EQ(plan.GraphColumn[5].Value, -1.0);
  graph.DrawGraph(6, -5);  // stored, not drawn
  EXPECT_EQ(plan.GraphColumn[6].Value, -5.0);
  EXPECT_EQ(image(), drawn);
}

TEST_F(BarGraphTest, HoverNamesTheDrawnSlotUnderThePointer) {
  graph.DrawGraph(0, 37.0);
  const int top = plan.GraphColumn[0].Top;
  const QString name = QStringLiteral(" Sequential Write ");
  struct Case {
    int x, y;
    bool named;
  };
  const Case cases[] = {
      {52, 250, true},      {35, 300, true},       {72, 300, true},  // bar and gap
      {52, top, true},      {52, top - 1, false},                    // from the value text's top
      {52, 340, true},      {52, 346, true},       {52, 347, false},  // caption, bottom margin
      {34, 300, false},     {73, 300, false},                        // slot borders
      {90, 300, false},     {700, 300, false},                       // slots never drawn
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::to_string(c.x) + "," + std::to_string(c.y));
    EXPECT_EQ(graph.Hover_Text(c.x, c.y), c.named ? name : QString());
  }
}

TEST_F(BarGraphTest, ViewShowsThePictureAndTheHintBesideThePointer) {
  QWidget panel;
  panel.resize(1012, 489);
  auto* view = new Graph_View(&panel, graph);
  QLabel* hint = panel.findChild<QLabel*>(QStringLiteral("graphhint"));
  ASSERT_NE(hint, nullptr);
  EXPECT_EQ(hint, view->Hint());
  EXPECT_EQ(view->objectName(), "graph");
  EXPECT_EQ(view->geometry(), QRect(0, -1, 760, 340));
  EXPECT_TRUE(view->hasMouseTracking());
  EXPECT_EQ(hint->font().pixelSize(), 16);
  EXPECT_EQ(hint->palette().color(QPalette::Window), QColor(255, 255, 198));
  EXPECT_TRUE(hint->autoFillBackground());
  EXPECT_FALSE(hint->isVisibleTo(&panel));

  graph.DrawGraph(0, 37.0);
  const QImage shown = view->grab().toImage();
  EXPECT_EQ(Colour_At(shown, 34, 222), kRed);
  EXPECT_EQ(Colour_At(shown, 34, 322), kBlue);

  auto move_to = [&](int x, int y) {
    QMouseEvent move(QEvent::MouseMove, QPointF(x, y), view->mapToGlobal(QPointF(x, y)), Qt::NoButton,
                     Qt::NoButton, Qt::NoModifier);
    QApplication::sendEvent(view, &move);
  };
  move_to(52, 250);
  EXPECT_TRUE(hint->isVisibleTo(&panel));
  EXPECT_EQ(hint->text(), " Sequential Write ");
  EXPECT_EQ(hint->pos(), QPoint(72, 260));
  EXPECT_EQ(hint->size(), hint->sizeHint());

  move_to(90, 300);
  EXPECT_FALSE(hint->isVisibleTo(&panel));

  move_to(60, 300);
  ASSERT_TRUE(hint->isVisibleTo(&panel));
  QEvent leave(QEvent::Leave);
  QApplication::sendEvent(view, &leave);
  EXPECT_FALSE(hint->isVisibleTo(&panel));
}

}  // namespace
