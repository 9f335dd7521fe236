#pragma once

class Canvas;

// Asks for the whole graph to be drawn anew at the next paint; the paint itself comes later
// from the event loop. Both the scroll bar and the 100 ms refresh ask through it.
void RequestGraphRepaint(Canvas& graph);

class TELVAR;

// The periodic refresh: asks for a repaint unless the graph already shows what a paint now would
// (the same minute of counts, label second and size). The graph changes about once a second, and
// its refresh ten times a second was most of what the idle program cost.
void RefreshGraph(TELVAR& window);
