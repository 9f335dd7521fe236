#include <benchmark/benchmark.h>

#include <QColor>
#include <QDateTime>
#include <QFont>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <algorithm>
#include <random>
#include <vector>

#include "monitor/drawing.h"
#include "monitor/graph.h"

namespace {

constexpr int kSeriesArrayLength = 86401;
constexpr int kNewestIndex = 86399;

// Just enough of a painter-backed canvas to measure a paint as the window would make it.
class ImageDrawing final : public Drawing {
 public:
  ImageDrawing(QPainter& painter, int width, int height)
      : painter_(painter), width_(width), height_(height) {}

  int width() const override { return width_; }
  int height() const override { return height_; }
  void setColor(QRgb color) override {
    color_ = QColor(color);
    painter_.setPen(color_);
  }
  void setFontSize(float size) override {
    QFont font = painter_.font();
    font.setPointSizeF(size);
    painter_.setFont(font);
  }
  void drawLine(int x1, int y1, int x2, int y2) override { painter_.drawLine(x1, y1, x2, y2); }
  void fillRectangle(int x, int y, int width, int height) override {
    painter_.fillRect(x, y, width, height, color_);
  }
  void drawText(const QString& text, int x, int y) override { painter_.drawText(x, y, text); }

 private:
  QPainter& painter_;
  int width_;
  int height_;
  QColor color_;
};

std::vector<qint64> NoisySeries() {
  std::vector<qint64> cps(kSeriesArrayLength, 0);
  std::mt19937 random(12345);
  std::poisson_distribution<int> counts(12.0);
  for (int i = 0; i <= kNewestIndex; ++i) cps[i] = counts(random);
  return cps;
}

void BM_PaintGraph(benchmark::State& state) {
  const std::vector<qint64> cps = NoisySeries();
  QImage image(600, 180, QImage::Format_ARGB32_Premultiplied);
  for (auto _ : state) {
    QPainter painter(&image);
    ImageDrawing canvas(painter, image.width(), image.height());
    DrawCountRateGraph(canvas, cps.data(), kNewestMinuteStart, kNewestMinuteStart,
                       QDateTime::currentDateTime());
    painter.end();
    benchmark::DoNotOptimize(image.constBits());
  }
}
BENCHMARK(BM_PaintGraph)->Unit(benchmark::kMicrosecond);

void BM_ShiftSeriesBySample(benchmark::State& state) {
  std::vector<qint64> cps = NoisySeries();
  qint64 sample = 0;
  for (auto _ : state) {
    std::move(cps.begin() + 1, cps.begin() + kNewestIndex + 1, cps.begin());
    cps[kNewestIndex] = ++sample;
    benchmark::DoNotOptimize(cps.data());
    benchmark::ClobberMemory();
  }
}
BENCHMARK(BM_ShiftSeriesBySample)->Unit(benchmark::kMicrosecond);

}  // namespace

int main(int argc, char** argv) {
  // Text needs fonts, fonts need a GUI application, and a benchmark has no display.
  qputenv("QT_QPA_PLATFORM", "offscreen");
  QGuiApplication app(argc, argv);
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
