#include "platform/driver.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>

#include "platform/clock.h"
#include "platform/scheduler.h"
#include "support/process_cpu.h"

namespace {

// In real time: a fiber that yields in a loop while it waits for a sleeping fiber must neither
// hold up the sleeper nor keep a core busy while it waits.
TEST(SchedulerDriverTest, AFiberYieldingWhileItWaitsForASleeperLetsTheProcessRest) {
  SteadyClock clock;
  Scheduler scheduler(clock);
  SchedulerDriver driver(scheduler);
  constexpr int kSleepMs = 400;
  bool done = false;
  bool seen = false;
  Thread sleeper(scheduler, 5), spinner(scheduler, 5);
  sleeper.run = [&] {
    scheduler.sleepCurrentThread(kSleepMs);
    done = true;
  };
  spinner.run = [&] {
    while (!done) scheduler.yieldCurrentThread();
    seen = true;
  };

  QEventLoop loop;
  QTimer watch;
  QObject::connect(&watch, &QTimer::timeout, [&] {
    if (seen) loop.quit();
  });
  watch.start(20);
  QTimer::singleShot(10000, &loop, &QEventLoop::quit);  // loose: a loaded machine is slow

  const double cpu_before = processCpuSeconds();
  QElapsedTimer wall;
  wall.start();
  sleeper.Run();
  spinner.Run();
  loop.exec();
  const double wall_s = double(wall.nsecsElapsed()) / 1e9;
  const double cpu_s = processCpuSeconds() - cpu_before;

  EXPECT_TRUE(seen);
  EXPECT_GE(wall_s, kSleepMs / 1000.0 * 0.9);
  EXPECT_LT(cpu_s, 0.5 * wall_s) << "the wait kept the process busy for " << cpu_s << " s of "
                                 << wall_s << " s";
  sleeper.Kill();
  spinner.Kill();
}

}  // namespace
