#pragma once

#include <QObject>
#include <QTimer>

#include "platform/scheduler.h"

// Drives the scheduler from Qt's event loop: one precise single-shot timer, armed for the
// earliest moment a timer action or a fiber falls due, so an idle program wakes only when it
// has something to do.
class SchedulerDriver : public QObject {
  Q_OBJECT
 public:
  explicit SchedulerDriver(Scheduler& scheduler, QObject* parent = nullptr);
  ~SchedulerDriver() override;

 private:
  void rearm();
  void fire();

  Scheduler& scheduler_;
  QTimer timer_;
};
