#include "widgets/edge_locks.h"

#include <algorithm>

namespace {

struct Span {
  int start;
  int length;
};

// One axis: near is the left or top lock, far the right or bottom one.
Span lockedSpan(Span design, int growth, bool near, bool far) {
  if (near && far) return {design.start, std::max(0, design.length + growth)};
  if (far) return {design.start + growth, design.length};
  return design;
}

}  // namespace

QRect lockedGeometry(const QRect& design, const QSize& parent_design, const QSize& parent_now,
                     unsigned locks) {
  const Span x =
      lockedSpan({design.x(), design.width()}, parent_now.width() - parent_design.width(),
                 locks & LockLeft, locks & LockRight);
  const Span y =
      lockedSpan({design.y(), design.height()}, parent_now.height() - parent_design.height(),
                 locks & LockTop, locks & LockBottom);
  return QRect(x.start, y.start, x.length, y.length);
}
