#pragma once

#include <QString>
#include <QTemporaryDir>

#include "app/menu_bar.h"
#include "platform/platform.h"
#include "platform/scheduler.h"
#include "support/scripted_dialogs.h"
#include "support/sim_serial.h"
#include "support/virtual_clock.h"

// A whole world for the program in virtual time: the clock, the scheduler that runs timers and
// fibers, simulated serial ports, scripted dialogs and a temporary folder for real files.
class Simulation {
 public:
  Simulation();
  ~Simulation();

  VirtualClock clock;
  Scheduler scheduler{clock};
  SimSerialSystem serial{clock};
  ScriptedDialogs dialogs;
  QTemporaryDir folder;
  QStringList unhandledErrors;

  Platform platform() { return Platform{scheduler, serial, dialogs, &MainMenuBar::shared()}; }

  // Moves virtual time forward by ms, running every timer action and fiber turn that falls due,
  // in order.
  void advance(qint64 ms);
  qint64 nowMs() const { return clock.nowUs() / 1000; }
  qint64 nowUs() const { return clock.nowUs(); }

  // A path inside the temporary folder.
  QString path(const QString& name) const;
};
