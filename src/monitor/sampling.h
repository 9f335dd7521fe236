#pragma once

#include <QtGlobal>
#include <algorithm>

#include "window/count_series.h"

// The shift gives way after each block of this many moves. A call into the scheduler per move
// would cost several times the moves themselves; a block takes about a microsecond.
inline constexpr int kShiftBlockMoves = 1024;

// Moves the counts at 1..kNewestCountIndex of `cps` one place towards index 0, in ascending
// order and in place (the count at 0 is dropped), then stores `newest` at kNewestCountIndex.
// The shift runs on a worker thread: `give_way` is called after every block of moves so that
// the other threads keep their turns while it works through the day.
template <typename GiveWay>
void ShiftInNewestCount(qint64* cps, qint64 newest, GiveWay&& give_way) {
  for (int first = 0; first < kNewestCountIndex; first += kShiftBlockMoves) {
    const int end = std::min(first + kShiftBlockMoves, kNewestCountIndex);
    std::copy(cps + first + 1, cps + end + 1, cps + first);
    give_way();
  }
  cps[kNewestCountIndex] = newest;
}
