#include "platform/driver.h"

SchedulerDriver::SchedulerDriver(Scheduler& scheduler, QObject* parent)
    : QObject(parent), scheduler_(scheduler) {
  timer_.setSingleShot(true);
  timer_.setTimerType(Qt::PreciseTimer);
  connect(&timer_, &QTimer::timeout, this, &SchedulerDriver::fire);
  scheduler_.onScheduleChanged = [this] { rearm(); };
  rearm();
}

SchedulerDriver::~SchedulerDriver() { scheduler_.onScheduleChanged = nullptr; }

void SchedulerDriver::fire() {
  scheduler_.dispatchDue();
  rearm();
}

void SchedulerDriver::rearm() {
  const auto due = scheduler_.nextDueUs();
  if (!due) {
    timer_.stop();
    return;
  }
  const qint64 wait_us = *due - scheduler_.nowUs();
  // Round up: a timer that fires a fraction of a millisecond early would find nothing due.
  const qint64 wait_ms = wait_us <= 0 ? 0 : (wait_us + 999) / 1000;
  timer_.start(int(std::min<qint64>(wait_ms, 24 * 3600 * 1000)));
}
