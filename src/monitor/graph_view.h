#pragma once

class Canvas;

// Asks for the whole graph to be drawn anew at the next paint; the paint itself comes later
// from the event loop. Both the scroll bar and the 100 ms refresh ask through it.
void RequestGraphRepaint(Canvas& graph);
