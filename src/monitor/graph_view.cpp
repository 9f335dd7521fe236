#include "monitor/graph_view.h"

#include <QDateTime>
#include <algorithm>

#include "monitor/graph.h"
#include "window/telvar.h"

void RequestGraphRepaint(Canvas& graph) {
  // The canvas paints no background of its own: an update redraws the window behind it first,
  // which is the erase, and then the whole graph over it.
  graph.update();
}

namespace {

// Everything a paint of the graph reads.
QByteArray graphContent(const TELVAR& window, const QDateTime& now) {
  const qint64 first = std::clamp<qint64>(window.CPMStart, 0, kNewestMinuteStart);
  const qint64 head[] = {first, window.ScrollCPS.value(), now.toSecsSinceEpoch(),
                         window.Graph.width(), window.Graph.height()};
  QByteArray content(reinterpret_cast<const char*>(head), sizeof head);
  content.append(reinterpret_cast<const char*>(window.CPS.data() + first),
                 kGraphSampleCount * sizeof(qint64));
  return content;
}

}  // namespace

void RefreshGraph(TELVAR& window) {
  const QDateTime now = window.platform.scheduler.clock().localDateTime();
  if (graphContent(window, now) != window.Graph.drawnContent) RequestGraphRepaint(window.Graph);
}

void TELVAR::Graph_Paint(Drawing& g) {
  const QDateTime now = platform.scheduler.clock().localDateTime();
  DrawCountRateGraph(g, CPS.data(), CPMStart, ScrollCPS.value(), now);
  Graph.drawnContent = graphContent(*this, now);
}

void TELVAR::ScrollCPS_ValueChanged() {
  CPMStart = ScrollCPS.value();
  RequestGraphRepaint(Graph);
}
