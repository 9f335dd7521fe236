#pragma once

#include <QRect>
#include <QSize>

// The edges of a control that keep their distance to the same edge of its parent.
enum EdgeLock : unsigned {
  LockLeft = 1u << 0,
  LockTop = 1u << 1,
  LockRight = 1u << 2,
  LockBottom = 1u << 3,
};

// Where a control placed at design (in its parent's coordinates, the parent then being
// parent_design in size) goes now that the parent is parent_now. Two opposite locked edges
// stretch the control, a lone right or bottom lock moves it, anything else keeps it in place.
// A control never gets a negative size.
QRect lockedGeometry(const QRect& design, const QSize& parent_design, const QSize& parent_now,
                     unsigned locks);
