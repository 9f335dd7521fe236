#include "monitor/graph_view.h"

#include "monitor/graph.h"
#include "window/telvar.h"

void RequestGraphRepaint(Canvas& graph) {
  // The canvas paints no background of its own: an update redraws the window behind it first,
  // which is the erase, and then the whole graph over it.
  graph.update();
}

void TELVAR::Graph_Paint(Drawing& g) {
  DrawCountRateGraph(g, CPS.data(), CPMStart, ScrollCPS.value(),
                     platform.scheduler.clock().localDateTime());
}

void TELVAR::ScrollCPS_ValueChanged() {
  CPMStart = ScrollCPS.value();
  RequestGraphRepaint(Graph);
}
