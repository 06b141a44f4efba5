#include "display/bar_graph.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <exception>
#include <limits>

#include <QApplication>
#include <QFontMetrics>
#include <QLabel>
#include <QMouseEvent>
#include <QPainter>
#include <QPalette>

#include "common/log.h"
#include "common/result_text.h"
#include "display/layout_fonts.h"

namespace {

const QColor kScaleLineColor(0, 0, 255);
const QColor kTextColor(255, 255, 255);
const QColor kHintColor(255, 255, 198);

// The scale never grows beyond this, so that MaxValue stays a 32-bit number with room for
// the rounding up to whole scale steps.
constexpr double kLargestScaleTop = 2'000'000'000.0;

// Writes text with its top-left corner at (left, top), on a transparent background.
void Text_Out(QPainter& painter, int left, int top, const QString& text) {
  painter.drawText(left, top + painter.fontMetrics().ascent(), text);
}

// Restores a painter's state however the drawing between ends.
class Painter_State {
 public:
  explicit Painter_State(QPainter& painter) : painter_(painter) { painter_.save(); }
  ~Painter_State() { painter_.restore(); }
  Painter_State(const Painter_State&) = delete;
  Painter_State& operator=(const Painter_State&) = delete;

 private:
  QPainter& painter_;
};

// MaxValue raised to the next whole multiple of intervals (itself when it is one already).
std::int32_t Raised_To_Multiple(std::int32_t value, std::int32_t intervals) {
  std::int64_t top = value;
  const std::int64_t remainder = ((top % intervals) + intervals) % intervals;
  if (remainder != 0) top += intervals - remainder;
  if (top > std::numeric_limits<std::int32_t>::max()) top -= intervals;
  return static_cast<std::int32_t>(top);
}

}  // namespace

Bar_Graph::Bar_Graph(TMyGraph& graph, Display_Host& host)
    : graph_(graph), host_(host), image_(kImageWidth, kImageHeight, QImage::Format_RGB32) {
  image_.fill(Qt::black);
}

QColor Bar_Graph::Windows_Color(int color) {
  return QColor(color & 0xFF, (color >> 8) & 0xFF, (color >> 16) & 0xFF);
}

bool Bar_Graph::Layout(int& slot, int& pitch) const {
  if (graph_.TotalRows < 2 || graph_.TotalColumns < 0) return false;
  slot = (kImageWidth - graph_.LeftMargin - graph_.RightMargin) / (graph_.TotalColumns + 1);
  pitch = (kImageHeight - graph_.TopMargin) / graph_.TotalRows;
  return slot > 0;
}

int Bar_Graph::Last_Column() const {
  return std::min<int>(graph_.TotalColumns, static_cast<int>(graph_.GraphColumn.size()) - 1);
}

void Bar_Graph::Changed() {
  if (changed_) changed_();
}

void Bar_Graph::PrepareGraph(bool InitializeValues) {
  if (InitializeValues) Clean_ALL_Stats(graph_, host_);
  image_.fill(Qt::black);
  int slot = 0, pitch = 0;
  if (!Layout(slot, pitch)) {
    Changed();
    return;
  }
  int y = kImageHeight - graph_.BottomMargin + graph_.TopMargin;
  const int intervals = graph_.TotalRows - 1;
  graph_.MaxValue = Raised_To_Multiple(graph_.MaxValue, intervals);
  const int step = graph_.MaxValue / intervals;

  QPainter painter(&image_);
  painter.setRenderHint(QPainter::Antialiasing, false);
  painter.setFont(Layout_Font_Points(graph_.LeyendFont, graph_.LeyendFontSize));
  painter.setPen(kTextColor);
  const QFontMetrics metrics = painter.fontMetrics();
  graph_.Line_Bottom_Position = y;

  const int line_width = slot * (graph_.TotalColumns + 1);
  int number = 0;
  for (int i = 1; i <= graph_.TotalRows; ++i) {
    const QString text = QString::number(number);
    Text_Out(painter, graph_.LeftMargin - metrics.horizontalAdvance(text) - 4, y - metrics.height() / 2, text);
    painter.fillRect(QRect(graph_.LeftMargin, y, line_width, 1), kScaleLineColor);
    if (i < graph_.TotalRows) {
      number += step;
      y -= pitch;
    }
  }
  graph_.Line_Top_Position = y;

  const int caption_top = graph_.Line_Bottom_Position + graph_.LeyendBottomMargin;
  for (int j = 0; j <= Last_Column(); ++j) {
    TMyGraphColumn& entry = graph_.GraphColumn[j];
    const QString caption = QString::fromStdString(entry.NameTag);
    const int centre = graph_.LeftMargin + j * slot + (slot - graph_.ColumnGap) / 2;
    Text_Out(painter, centre - metrics.horizontalAdvance(caption) / 2, caption_top, caption);
    entry.Left = graph_.LeftMargin + j * slot;
    entry.Right = entry.Left + slot;
  }
  painter.end();
  Changed();
}

void Bar_Graph::DrawGraph(int Pos, double Value) {
  if (Pos < 0 || Pos > Last_Column()) return;
  TMyGraphColumn& entry = graph_.GraphColumn[Pos];
  if (Value > graph_.MaxValue) {
    graph_.MaxValue = static_cast<std::int32_t>(std::nearbyint(std::min(Value, kLargestScaleTop)));
    RedrawGraph();
    // A result that the caller stored before asking has just been drawn by the redraw.
    if (entry.Value == Value) return;
  }
  double value = Value;
  if (Value == -1)
    value = entry.Value;
  else
    entry.Value = Value;
  if (!(value >= 0) || !std::isfinite(value)) return;

  int slot = 0, pitch = 0;
  if (!Layout(slot, pitch) || graph_.MaxValue <= 0) return;
  const int baseline = graph_.Line_Bottom_Position;
  double top = baseline - static_cast<double>(baseline - graph_.Line_Top_Position) / graph_.MaxValue * value;
  // Only a result far beyond the largest scale gets here; its bar is cut at the picture.
  top = std::max(top, -static_cast<double>(kImageHeight));
  const int bar_top = static_cast<int>(top);
  const int left = graph_.LeftMargin + Pos * slot;
  const int bar_width = slot - graph_.ColumnGap;

  QPainter painter(&image_);
  painter.setRenderHint(QPainter::Antialiasing, false);
  GradVertical(painter, Graph_Rect{left, bar_top, left + bar_width, baseline}, entry.Color, 0,
               [this](const std::string& line) { host_.Local_Writelog(line); });

  painter.setFont(Layout_Font_Points(graph_.ValueFont, graph_.ValueFontSize));
  painter.setPen(kTextColor);
  const QFontMetrics metrics = painter.fontMetrics();
  const QString text = QString::fromStdString(Result_Text(value));
  entry.Top = bar_top - metrics.height();
  entry.Bottom = baseline;
  entry.Width = bar_width;
  const int centre = left + bar_width / 2;
  Text_Out(painter, centre - metrics.horizontalAdvance(text) / 2, static_cast<int>(top - metrics.height()), text);
  painter.end();
  Changed();
}

void Bar_Graph::RedrawGraph() {
  PrepareGraph(false);
  for (int i = 0; i <= Last_Column(); ++i) {
    DrawGraph(i, -1);
    const TMyGraphColumn& entry = graph_.GraphColumn[i];
    if (!entry.TestSpeedLabel.empty())
      host_.Set_Label_Text(entry.TestSpeedLabel, Result_Text(entry.Value < 0 ? 0.0 : entry.Value));
  }
}

void Bar_Graph::GradVertical(QPainter& Canvas, const Graph_Rect& Rect, int FromColor, int ToColor,
                             const std::function<void(const std::string&)>& log) {
  try {
    const int rows = Rect.Bottom - Rect.Top;
    if (rows <= 0) return;
    const int from[3] = {FromColor & 0xFF, (FromColor >> 8) & 0xFF, (FromColor >> 16) & 0xFF};
    const int to[3] = {ToColor & 0xFF, (ToColor >> 8) & 0xFF, (ToColor >> 16) & 0xFF};
    double step[3];
    for (int c = 0; c < 3; ++c) {
      step[c] = static_cast<double>(to[c] - from[c]) / rows;
      if (ToColor == 0) step[c] *= 0.7;
    }
    if (Rect.Right <= Rect.Left) return;
    Painter_State state(Canvas);
    Canvas.setRenderHint(QPainter::Antialiasing, false);
    for (int k = 0; k < rows; ++k) {
      int channel[3];
      for (int c = 0; c < 3; ++c)
        channel[c] = std::clamp(from[c] + static_cast<int>(std::ceil(step[c] * k)), 0, 255);
      Canvas.fillRect(QRect(Rect.Left, Rect.Top + k, Rect.Right - Rect.Left, 1),
                      QColor(channel[0], channel[1], channel[2]));
    }
  } catch (const std::exception& error) {
    if (log) log(Error_Line(error));
  }
}

void Bar_Graph::GradVertical(QImage& Canvas, const Graph_Rect& Rect, int FromColor, int ToColor,
                             const std::function<void(const std::string&)>& log) {
  QPainter painter(&Canvas);
  if (!painter.isActive()) return;
  GradVertical(painter, Rect, FromColor, ToColor, log);
}

QString Bar_Graph::Hover_Text(int X, int Y) const {
  if (Y <= graph_.Line_Top_Position || Y >= graph_.Line_Bottom_Position + graph_.BottomMargin) return {};
  for (int j = 0; j <= Last_Column(); ++j) {
    const TMyGraphColumn& entry = graph_.GraphColumn[j];
    if (entry.Left < X && X < entry.Right && !entry.Description.empty() && Y >= entry.Top && entry.Top > 0)
      return QStringLiteral(" ") + QString::fromStdString(entry.Description) + QStringLiteral(" ");
  }
  return {};
}

// ---- Graph_View ----

Graph_View::Graph_View(QWidget* panel, Bar_Graph& graph) : QWidget(panel), graph_(graph) {
  setObjectName(QStringLiteral("graph"));
  setGeometry(0, -1, Bar_Graph::kImageWidth, Bar_Graph::kImageHeight);
  setFixedSize(Bar_Graph::kImageWidth, Bar_Graph::kImageHeight);
  setAttribute(Qt::WA_OpaquePaintEvent);
  setMouseTracking(true);

  graphhint_ = new QLabel(panel ? panel : this);
  graphhint_->setObjectName(QStringLiteral("graphhint"));
  graphhint_->setFont(Layout_Font_Pixels(QStringLiteral("Tahoma"), 16));
  graphhint_->setAlignment(Qt::AlignCenter);
  graphhint_->setAutoFillBackground(true);
  QPalette colours = graphhint_->palette();
  colours.setColor(QPalette::Window, kHintColor);
  colours.setColor(QPalette::WindowText, QApplication::palette().color(QPalette::WindowText));
  graphhint_->setPalette(colours);
  graphhint_->setAttribute(Qt::WA_TransparentForMouseEvents);
  graphhint_->hide();

  graph_.Set_Changed_Handler([this] { update(); });
}

Graph_View::~Graph_View() { graph_.Set_Changed_Handler({}); }

void Graph_View::graphMouseMove(int X, int Y) {
  const QString text = graph_.Hover_Text(X, Y);
  if (text.isEmpty()) {
    graphhint_->hide();
    return;
  }
  graphhint_->setText(text);
  graphhint_->adjustSize();
  graphhint_->move(X + 20, Y + 10);
  graphhint_->show();
  graphhint_->raise();
}

void Graph_View::paintEvent(QPaintEvent* /*event*/) {
  QPainter painter(this);
  painter.drawImage(0, 0, graph_.Image());
}

void Graph_View::mouseMoveEvent(QMouseEvent* event) {
  const QPoint at = event->position().toPoint();
  graphMouseMove(at.x(), at.y());
  QWidget::mouseMoveEvent(event);
}

void Graph_View::leaveEvent(QEvent* event) {
  graphhint_->hide();
  QWidget::leaveEvent(event);
}
