#include <benchmark/benchmark.h>

#include <QDateTime>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <algorithm>
#include <random>
#include <vector>

#include "monitor/graph.h"
#include "monitor/sampling.h"
#include "platform/clock.h"
#include "platform/scheduler.h"
#include "widgets/painter_drawing.h"

namespace {

constexpr int kSeriesArrayLength = 86401;
constexpr int kNewestIndex = kNewestCountIndex;
// The sampling thread's priority: it sets how many turns it lets pass before it gives way.
constexpr int kSamplingPriority = 5;

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
    PainterDrawing canvas(painter, image.size());  // what the window's canvas paints through
    DrawCountRateGraph(canvas, cps.data(), kNewestMinuteStart, kNewestMinuteStart,
                       QDateTime::currentDateTime());
    painter.end();
    benchmark::DoNotOptimize(image.constBits());
  }
}
BENCHMARK(BM_PaintGraph)->Unit(benchmark::kMicrosecond);

// One sample's shift as the sampling thread makes it: on a fiber of the sampling thread's
// priority, giving way to the scheduler after every move. The fiber takes a whole run of
// iterations, so what is measured is the shift and its turns, not the making of a fiber.
void BM_ShiftSeriesBySample(benchmark::State& state) {
  std::vector<qint64> cps = NoisySeries();
  SteadyClock clock;
  Scheduler scheduler(clock);
  Thread sampler(scheduler, kSamplingPriority);
  qint64 sample = 0;
  sampler.run = [&] {
    for (auto _ : state) {
      ShiftInNewestCount(cps.data(), ++sample, [&] { scheduler.yieldCurrentThread(); });
      benchmark::DoNotOptimize(cps.data());
      benchmark::ClobberMemory();
    }
  };
  sampler.Run();
  while (sampler.isRunning()) scheduler.dispatchDue();
}
BENCHMARK(BM_ShiftSeriesBySample)->Unit(benchmark::kMicrosecond);

}  // namespace
