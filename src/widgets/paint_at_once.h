#pragma once

class QWidget;

// Puts a control's present look on the screen at once, for a caption the user must read while
// the user-interface thread is held and no paint can come from the event loop. Only the control
// and what lies behind it are drawn: no other widget's paint, no event of the program's, and so
// no handler, runs.
void PaintAtOnce(QWidget& control);
