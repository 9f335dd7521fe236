#include <QApplication>

#include "app/driver.h"
#include "app/scheduler.h"

int main(int argc, char** argv) {
  QApplication application(argc, argv);
  SteadyClock clock;
  Scheduler scheduler(clock);
  SchedulerDriver driver(scheduler);
  return application.exec();
}
