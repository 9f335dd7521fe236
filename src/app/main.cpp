#include <QtGlobal>
#include <cstdio>
#include <exception>

#include "app/app.h"
#include "platform/dialogs.h"
#include "platform/driver.h"
#include "platform/platform.h"
#include "platform/qt_serial.h"
#include "platform/scheduler.h"

int main(int argc, char** argv) {
  try {
    App::enableHighResolutionDisplays();
    App application(argc, argv);
    SteadyClock clock;
    Scheduler scheduler(clock);
    SchedulerDriver driver(scheduler);
    QtSerialSystem serial;
    QtDialogs dialogs;
    return runTelvar(Platform{scheduler, serial, dialogs, application.menuBar()});
  } catch (const std::exception& error) {
    // An error while starting up ends the program, reported where a user starting it would look.
    std::fprintf(stderr, "TELVAR: %s\n", error.what());
    return 1;
  }
}
