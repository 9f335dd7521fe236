#pragma once

#include <QByteArray>
#include <QElapsedTimer>
#include <QThread>

#include "platform/serial.h"

// Reads from a port in real time until n bytes have come or a generous limit passes; for tests
// over a pseudo-terminal, where bytes arrive when the other side sends them.
inline QByteArray readAtLeast(Serial& serial, qsizetype n, int limit_ms = 5000) {
  QByteArray got;
  QElapsedTimer elapsed;
  elapsed.start();
  while (got.size() < n && elapsed.elapsed() < limit_ms) {
    got += serial.ReadAll();
    if (got.size() < n) QThread::msleep(1);
  }
  return got;
}
