// The latency chart of the peak tests: for each of the eight tests three bars, its p50, p99
// and p99.9 completion latency, on a logarithmic scale of microseconds, drawn into a picture
// that the window shows and that can be saved.
#pragma once

#include <array>
#include <optional>

#include <QColor>
#include <QImage>
#include <QWidget>

// One test's latencies in microseconds.
struct Latency_Marks {
  double p50 = 0, p99 = 0, p999 = 0;
};

// The colours of the three percentiles, in the bars and the legend.
inline const QColor kP50Colour{0, 170, 0};
inline const QColor kP99Colour{240, 170, 0};
inline const QColor kP999Colour{220, 40, 40};

class Latency_Chart {
 public:
  static constexpr int kTests = 8;
  static constexpr int kWidth = 720;
  static constexpr int kHeight = 260;

  Latency_Chart();

  // The latencies of test index (in plan order); a test without them has no bars.
  void Set(int index, const Latency_Marks& marks);
  void Clear();
  const QImage& Image() const { return image_; }

  // Where the bars of test index stand: the middle of each percentile's bar, and the
  // bottom of the bars (for tests of the drawing).
  int Bar_Centre(int index, int percentile) const;
  int Bar_Bottom() const;
  // The height in pixels of a latency on the current scale.
  int Bar_Height(double us) const;

 private:
  void Draw();
  // The scale: whole decades of microseconds that hold every latency shown.
  void Fit_Scale();

  std::array<std::optional<Latency_Marks>, kTests> marks_{};
  double low_us_ = 1, high_us_ = 100'000;
  QImage image_;
};

// The widget that shows a chart's picture.
class Latency_Chart_View : public QWidget {
 public:
  Latency_Chart_View(const Latency_Chart& chart, QWidget* parent);

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  const Latency_Chart& chart_;
};
