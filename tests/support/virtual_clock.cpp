#include "support/virtual_clock.h"

VirtualClock::VirtualClock() : wall_base_(QDate(2026, 1, 1), QTime(12, 0, 0)) {}

QDateTime VirtualClock::localDateTime() const {
  return wall_base_.addMSecs((now_us_ - wall_base_us_) / 1000);
}

void VirtualClock::waitUntil(qint64 us) {
  if (us > now_us_) now_us_ = us;
}

void VirtualClock::setLocalDateTime(const QDateTime& wall) {
  wall_base_ = wall;
  wall_base_us_ = now_us_;
}
