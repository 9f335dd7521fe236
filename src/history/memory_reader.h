#pragma once

#include <QByteArrayView>
#include <QtGlobal>

#include "link/protocol.h"

// The history memory is read into a buffer of 1 MiB and one spare byte, one page per exchange;
// nothing ever writes the spare byte.
inline constexpr qsizetype kHistoryBufferBytes = kHistoryMemoryBytes + 1;
// Pages are asked for while their start address is at most this: 256 pages, the last at
// 1,044,480.
inline constexpr quint32 kLastHistoryPageLimit = quint32(kHistoryBufferBytes - kHistoryPageBytes);
// Every page exchange waits this long for the 4096 bytes.
inline constexpr int kHistoryPageWaitMs = 600;

// The counter's erased memory reads 0xFF: a page whose last two bytes are both 0xFF is the last
// one worth reading. Nothing else in the page is looked at.
bool isLastHistoryPage(QByteArrayView page);
