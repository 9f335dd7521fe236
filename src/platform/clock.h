#pragma once

#include <QDateTime>
#include <QtGlobal>

// The program's sense of time. The scheduler reads the monotonic time to order timers and
// sleeps, and asks the clock to wait when nothing is due; the handlers read the local wall time
// for file names and the graph's label. Tests substitute a virtual clock, so whole sessions of
// the program run deterministically in no real time at all.
class Clock {
 public:
  virtual ~Clock() = default;

  // Monotonic time in microseconds; only differences mean anything.
  virtual qint64 nowUs() const = 0;

  // The current local date and time.
  virtual QDateTime localDateTime() const = 0;

  // Blocks the OS thread (or, on a virtual clock, moves time forward) until nowUs() >= us.
  virtual void waitUntil(qint64 us) = 0;

  qint64 nowMs() const { return nowUs() / 1000; }
};

// The application's clock: the steady clock and the system's local time.
class SteadyClock final : public Clock {
 public:
  qint64 nowUs() const override;
  QDateTime localDateTime() const override;
  void waitUntil(qint64 us) override;
};
