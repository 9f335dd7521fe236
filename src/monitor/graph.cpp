#include "monitor/graph.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <limits>

#include "platform/drawing.h"
#include "platform/format.h"

namespace {

// A count far below the zero level lies millions of pixels off the canvas; its y is held within
// this distance so the conversion to int stays defined and the painter gets sane numbers. Within
// the canvas the line looks the same.
constexpr double kFarthestY = 1 << 20;

// The grid unit in pixels; every position of the drawing is a multiple of it.
int GridUnit(int width) { return static_cast<int>(std::trunc(width / 70.0)); }

void DrawFrame(Drawing& g, int w, int h) {
  g.setColor(kGraphFrameLightColor);
  g.drawLine(1, 1, w, 1);
  g.drawLine(1, h - 1, 1, 1);
  g.setColor(kGraphFrameShadowColor);
  g.drawLine(w - 1, 2, w - 1, h);
  g.drawLine(1, h - 1, w, h - 1);
  g.setColor(kGraphFrameLightColor);
  g.fillRectangle(2, 2, w - 3, h - 3);
}

void DrawGrid(Drawing& g, int w, int h, int u) {
  g.setColor(kGraphGridColor);
  for (int x = 0; x <= w; x += u) g.drawLine(x, 0, x, h);
  for (int y = 0; y <= h; y += u) g.drawLine(0, y, w, y);
}

void DrawBaseLine(Drawing& g, int w, int u) {
  g.setColor(kGraphBaseLineColor);
  const int y = 19 * u + u;
  g.drawLine(0, y, w, y);
}

// Counts up to 5 get 3 grid units each; above that the largest count reaches 15 units.
double ScaleFor(qint64 largest) { return largest <= 5 ? 3.0 : 15.0 / largest; }

int CountY(qint64 count, int u, double scale) {
  qint64 product;
  if (__builtin_mul_overflow(count, qint64{u}, &product)) {
    product = count < 0 ? std::numeric_limits<qint64>::min() : std::numeric_limits<qint64>::max();
  }
  const double y = std::trunc(19.0 * u - static_cast<double>(product) * scale);
  return static_cast<int>(std::clamp(y, -kFarthestY, kFarthestY));
}

// Draws the minute as a line and returns the sum of its counts.
qint64 DrawCountLine(Drawing& g, const qint64* minute, int u) {
  g.setColor(kGraphCountLineColor);
  std::array<qint64, kGraphSampleCount> v;
  qint64 largest = 0;
  qint64 sum = 0;
  for (int i = 0; i < kGraphSampleCount; ++i) {
    v[i] = minute[i];
    if (v[i] > largest) largest = v[i];
    sum += v[i];
  }
  const double scale = ScaleFor(largest);
  for (int j = 1; j < kGraphSampleCount; ++j) {
    g.drawLine(7 * u + (j - 1) * u, CountY(v[j - 1], u, scale), 7 * u + j * u,
               CountY(v[j], u, scale));
  }
  return sum;
}

int TwelveHourClock(int hour) {
  const int h = hour % 12;
  return h == 0 ? 12 : h;
}

}  // namespace

void DrawCountRateGraph(Drawing& g, const qint64* cps, qint64 cpm_start, int scroll_value,
                        const QDateTime& now) {
  const int w = g.width();
  const int h = g.height();
  DrawFrame(g, w, h);
  const int u = GridUnit(w);
  // Below 70 pixels of width the grid unit is 0: the grid would never advance and every other
  // element would collapse onto one point, so such a canvas shows its frame only.
  if (u < 1) return;
  DrawGrid(g, w, h, u);
  DrawBaseLine(g, w, u);

  const qint64 first = std::clamp<qint64>(cpm_start, 0, kNewestMinuteStart);
  const qint64 sum = DrawCountLine(g, cps + first, u);

  g.setFontSize(static_cast<float>(3 * u));
  g.setColor(kGraphTextColor);
  const int text_y = 2 * u + 5;
  g.drawText(QStringLiteral("CPM:") + QString::number(sum), 50 * u, text_y);
  const qint64 seconds_back = qint64{kNewestMinuteStart} - scroll_value;
  g.drawText(GraphTimeLabel(now.addSecs(-seconds_back)), 7 * u, text_y);
}

QString GraphTimeLabel(const QDateTime& time) {
  const QDate date = time.date();
  const QTime clock = time.time();
  return formatTwoDigits(date.month()) + '/' + formatTwoDigits(date.day()) + '/' +
         formatTwoDigits(date.year()) + ' ' + formatTwoDigits(TwelveHourClock(clock.hour())) + ':' +
         formatTwoDigits(clock.minute()) + ':' + formatTwoDigits(clock.second()) +
         (clock.hour() >= 12 ? QStringLiteral(" PM") : QStringLiteral(" AM"));
}
