// The latency chart's drawing: a decade scale, three bars per test, the tests' keys below.
#include "display/latency_chart.h"

#include <algorithm>
#include <cmath>

#include <QPainter>

#include "common/peak_result.h"

namespace {

constexpr int kLeft = 64;     // the scale's numbers stand left of it
constexpr int kRight = 10;
constexpr int kTop = 30;      // the legend stands above it
constexpr int kBottom = 34;   // the tests' keys stand below it
constexpr int kBarWidth = 16;
constexpr int kBarGap = 3;

const QColor kScaleColour{200, 200, 200};
const QColor kTextColour{40, 40, 40};

// "1 µs", "100 µs", "10 ms", "1 s": a decade as a reader names it.
QString Decade_Text(int exponent) {
  static const QString units[] = {QStringLiteral("µs"), QStringLiteral("ms"), QStringLiteral("s")};
  const int unit = std::clamp(exponent / 3, 0, 2);
  const int digits = exponent - unit * 3;
  return QStringLiteral("1") + QString(digits, QLatin1Char('0')) + QLatin1Char(' ') + units[unit];
}

QFont Chart_Font(int pixels) {
  QFont font(QStringLiteral("DejaVu Sans"));
  font.setPixelSize(pixels);
  return font;
}

}  // namespace

Latency_Chart::Latency_Chart() : image_(kWidth, kHeight, QImage::Format_RGB32) { Draw(); }

void Latency_Chart::Set(int index, const Latency_Marks& marks) {
  if (index < 0 || index >= kTests) return;
  marks_[static_cast<std::size_t>(index)] = marks;
  Draw();
}

void Latency_Chart::Clear() {
  marks_.fill(std::nullopt);
  Draw();
}

int Latency_Chart::Bar_Bottom() const { return kHeight - kBottom; }

int Latency_Chart::Bar_Centre(int index, int percentile) const {
  const double slot = static_cast<double>(kWidth - kLeft - kRight) / kTests;
  const int group_left = kLeft + static_cast<int>(slot * index + (slot - (3 * kBarWidth + 2 * kBarGap)) / 2);
  return group_left + percentile * (kBarWidth + kBarGap) + kBarWidth / 2;
}

int Latency_Chart::Bar_Height(double us) const {
  if (!(us > 0)) return 0;
  const double span = std::log10(high_us_) - std::log10(low_us_);
  const double part = (std::log10(us) - std::log10(low_us_)) / span;
  // A latency at the scale's foot still shows as a sliver.
  return std::max(2, static_cast<int>(std::lround(part * (Bar_Bottom() - kTop))));
}

void Latency_Chart::Fit_Scale() {
  double low = 0, high = 0;
  for (const auto& marks : marks_) {
    if (!marks) continue;
    for (double us : {marks->p50, marks->p99, marks->p999}) {
      if (!(us > 0)) continue;
      low = low > 0 ? std::min(low, us) : us;
      high = std::max(high, us);
    }
  }
  if (!(low > 0)) {
    low_us_ = 1;
    high_us_ = 100'000;
    return;
  }
  const double low_decade = std::floor(std::log10(low));
  const double high_decade = std::max(low_decade + 1, std::ceil(std::log10(high)));
  low_us_ = std::pow(10.0, low_decade);
  high_us_ = std::pow(10.0, high_decade);
}

void Latency_Chart::Draw() {
  Fit_Scale();
  image_.fill(Qt::white);
  QPainter painter(&image_);
  painter.setFont(Chart_Font(10));
  // The scale: a line and a number at every decade.
  const int first = static_cast<int>(std::lround(std::log10(low_us_)));
  const int last = static_cast<int>(std::lround(std::log10(high_us_)));
  for (int exponent = first; exponent <= last; ++exponent) {
    const int y = Bar_Bottom() - (exponent == first ? 0 : Bar_Height(std::pow(10.0, exponent)));
    painter.setPen(kScaleColour);
    painter.drawLine(kLeft, y, kWidth - kRight, y);
    painter.setPen(kTextColour);
    painter.drawText(QRect(0, y - 8, kLeft - 6, 16), Qt::AlignRight | Qt::AlignVCenter, Decade_Text(exponent));
  }
  // The legend.
  const std::array<std::pair<QColor, QString>, 3> legend = {
      {{kP50Colour, QStringLiteral("p50")}, {kP99Colour, QStringLiteral("p99")}, {kP999Colour, QStringLiteral("p99.9")}}};
  int x = kLeft;
  for (const auto& [colour, name] : legend) {
    painter.fillRect(x, 8, 12, 12, colour);
    painter.setPen(kTextColour);
    painter.drawText(QRect(x + 16, 6, 60, 16), Qt::AlignLeft | Qt::AlignVCenter, name);
    x += 72;
  }
  painter.drawText(QRect(kLeft, 6, kWidth - kLeft - kRight, 16), Qt::AlignRight | Qt::AlignVCenter,
                   QStringLiteral("completion latency, log scale"));
  // The bars and the tests' keys.
  painter.setFont(Chart_Font(9));
  const double slot = static_cast<double>(kWidth - kLeft - kRight) / kTests;
  for (int i = 0; i < kTests; ++i) {
    const auto& marks = marks_[static_cast<std::size_t>(i)];
    if (marks) {
      const std::array<std::pair<double, QColor>, 3> bars = {
          {{marks->p50, kP50Colour}, {marks->p99, kP99Colour}, {marks->p999, kP999Colour}}};
      for (int p = 0; p < 3; ++p) {
        const int height = Bar_Height(bars[static_cast<std::size_t>(p)].first);
        painter.fillRect(Bar_Centre(i, p) - kBarWidth / 2, Bar_Bottom() - height, kBarWidth, height,
                         bars[static_cast<std::size_t>(p)].second);
      }
    }
    painter.setPen(kTextColour);
    painter.drawText(QRect(kLeft + static_cast<int>(slot * i), Bar_Bottom() + 4, static_cast<int>(slot), 14),
                     Qt::AlignHCenter | Qt::AlignTop, QString::fromLatin1(kPeakTests[static_cast<std::size_t>(i)].key));
  }
}

Latency_Chart_View::Latency_Chart_View(const Latency_Chart& chart, QWidget* parent) : QWidget(parent), chart_(chart) {
  setFixedSize(Latency_Chart::kWidth, Latency_Chart::kHeight);
}

void Latency_Chart_View::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  painter.drawImage(0, 0, chart_.Image());
}
