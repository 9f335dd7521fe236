#pragma once

#include "platform/clock.h"

// Time that moves only when told to. The wall time is set for one instant and then follows the
// virtual time.
class VirtualClock final : public Clock {
 public:
  VirtualClock();

  qint64 nowUs() const override { return now_us_; }
  QDateTime localDateTime() const override;
  void waitUntil(qint64 us) override;

  void setLocalDateTime(const QDateTime& wall);

 private:
  qint64 now_us_ = 0;
  qint64 wall_base_us_ = 0;
  QDateTime wall_base_;
};
