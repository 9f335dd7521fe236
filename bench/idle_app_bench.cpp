// CPU the idle application takes: the window with its four timers running (port discovery, the
// console, the count-rate poll on a closed port, the 100 ms tick with its repaint), no port.
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QTimer>

#include "app/menu_bar.h"
#include "platform/dialogs.h"
#include "platform/driver.h"
#include "platform/platform.h"
#include "platform/qt_serial.h"
#include "platform/scheduler.h"
#include "support/process_cpu.h"
#include "window/telvar.h"

namespace {

void IdleApplication(benchmark::State& state) {
  SteadyClock clock;
  Scheduler scheduler(clock);
  SchedulerDriver driver(scheduler);
  QtSerialSystem serial;
  QtDialogs dialogs;
  TELVAR window(Platform{scheduler, serial, dialogs, &MainMenuBar::shared()});
  window.show();
  QApplication::processEvents();  // the first display is not part of being idle

  const int wall_ms = int(state.range(0));
  for (auto _ : state) {
    const double cpu_before = processCpuSeconds();
    QElapsedTimer wall;
    wall.start();
    QTimer::singleShot(wall_ms, qApp, &QCoreApplication::quit);
    QApplication::exec();
    const double wall_s = double(wall.nsecsElapsed()) / 1e9;
    const double cpu = processCpuSeconds() - cpu_before;
    state.SetIterationTime(wall_s);
    state.counters["cpu_percent_of_one_core"] = 100.0 * cpu / wall_s;
  }
  window.GetCPS.Kill();
}
BENCHMARK(IdleApplication)
    ->Arg(20000)
    ->Iterations(1)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);

}  // namespace
