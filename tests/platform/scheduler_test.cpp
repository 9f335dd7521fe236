#include <gtest/gtest.h>

#include <QStringList>

#include "platform/scheduler.h"
#include "support/simulation.h"

namespace {

struct SchedulerTest : ::testing::Test {
  Simulation sim;
  QStringList trace;
  void note(const QString& what) { trace.append(QString::number(sim.nowMs()) + " " + what); }
};

TEST_F(SchedulerTest, RepeatingTimerActsOncePerPeriod) {
  Timer timer(sim.scheduler, 50);
  int ticks = 0;
  timer.action = [&] { ++ticks; };
  sim.advance(1000);
  EXPECT_EQ(ticks, 20);
}

TEST_F(SchedulerTest, ModeZeroStopsAndModeTwoRestartsAlsoFromAFiber) {
  Timer timer(sim.scheduler, 50);
  int ticks = 0;
  timer.action = [&] { ++ticks; };
  sim.advance(100);
  EXPECT_EQ(ticks, 2);
  timer.setMode(Timer::kOff);
  sim.advance(500);
  EXPECT_EQ(ticks, 2);
  timer.setMode(Timer::kRepeating);
  sim.advance(100);
  EXPECT_EQ(ticks, 4);

  Thread worker(sim.scheduler, 5);
  worker.run = [&] {
    timer.setMode(Timer::kOff);
    sim.scheduler.sleepCurrentThread(200);
    timer.setMode(Timer::kRepeating);
  };
  worker.Run();
  sim.advance(200);  // the fiber switches the timer off at once and back on at 900 ms
  EXPECT_EQ(ticks, 4);
  sim.advance(100);
  EXPECT_EQ(ticks, 6);
}

TEST_F(SchedulerTest, SettingTheSameModeKeepsThePhase) {
  Timer timer(sim.scheduler, 100);
  int ticks = 0;
  timer.action = [&] { ++ticks; };
  sim.advance(90);
  timer.setMode(Timer::kRepeating);
  sim.advance(10);
  EXPECT_EQ(ticks, 1);
}

TEST_F(SchedulerTest, UserInterfaceSleepRunsFibersButNoTimerAction) {
  Timer timer(sim.scheduler, 10);
  int ticks = 0;
  timer.action = [&] { ++ticks; };
  Thread worker(sim.scheduler, 5);
  bool step_done = false;
  worker.run = [&] {
    sim.scheduler.sleepCurrentThread(40);
    step_done = true;
    note("fiber step");
  };
  worker.Run();
  {
    Scheduler::HandlerScope handler(sim.scheduler);
    sim.scheduler.sleepCurrentThread(100);
    note("handler woke");
  }
  EXPECT_TRUE(step_done);
  EXPECT_EQ(ticks, 0);
  EXPECT_EQ(trace, (QStringList{"40 fiber step", "100 handler woke"}));
  EXPECT_FALSE(worker.isRunning());
  // Ticks missed while the window was held are not caught up.
  sim.advance(0);
  EXPECT_EQ(ticks, 1);
  sim.advance(10);
  EXPECT_EQ(ticks, 2);
}

TEST_F(SchedulerTest, UserInterfaceLoopYieldingUntilAFiberClearsAFlagEnds) {
  bool busy = true;
  Thread worker(sim.scheduler, 5);
  worker.run = [&] {
    for (int attempt = 0; attempt < 3; ++attempt) sim.scheduler.sleepCurrentThread(100);
    busy = false;
  };
  worker.Run();
  int passes = 0;
  while (busy && passes < 1000) {
    sim.scheduler.yieldCurrentThread();
    ++passes;
  }
  EXPECT_FALSE(busy);
  EXPECT_EQ(sim.nowMs(), 300);
  EXPECT_LT(passes, 10);
}

TEST_F(SchedulerTest, FiberYieldSwitchesOnlyWhenItsSliceIsSpent) {
  Thread low(sim.scheduler, 1);
  Thread high(sim.scheduler, 3);
  QStringList order;
  auto body = [&](const char* name, Thread&) {
    for (int pass = 0; pass < 3 * Scheduler::kYieldsPerPriority; ++pass) {
      if (pass % Scheduler::kYieldsPerPriority == 0) order.append(name);
      sim.scheduler.yieldCurrentThread();
    }
  };
  low.run = [&] { body("low", low); };
  high.run = [&] { body("high", high); };
  low.Run();
  high.Run();
  sim.advance(0);
  // A slice of 1000 yields for priority 1 and 3000 for priority 3.
  EXPECT_EQ(order, (QStringList{"low", "high", "high", "high", "low", "low"}));
}

struct Witness {
  bool* destroyed;
  ~Witness() { *destroyed = true; }
};

TEST_F(SchedulerTest, KillUnwindsASleepingFiberAndRunsNoLaterStep) {
  Thread worker(sim.scheduler, 5);
  bool destroyed = false;
  bool later_step = false;
  worker.run = [&] {
    Witness witness{&destroyed};
    sim.scheduler.sleepCurrentThread(1000);
    later_step = true;
  };
  worker.Run();
  sim.advance(10);
  ASSERT_TRUE(worker.isRunning());
  worker.Kill();
  EXPECT_TRUE(destroyed);
  EXPECT_FALSE(worker.isRunning());
  sim.advance(2000);
  EXPECT_FALSE(later_step);
  EXPECT_TRUE(sim.unhandledErrors.isEmpty());

  worker.Kill();  // not running: nothing happens
  EXPECT_FALSE(worker.isRunning());
  // A killed thread can run again.
  worker.run = [&] { later_step = true; };
  worker.Run();
  sim.advance(0);
  EXPECT_TRUE(later_step);
}

TEST_F(SchedulerTest, KillBeforeTheFirstTurnRunsNothing) {
  Thread worker(sim.scheduler, 5);
  bool ran = false;
  worker.run = [&] { ran = true; };
  worker.Run();
  worker.Kill();
  sim.advance(100);
  EXPECT_FALSE(ran);
}

TEST_F(SchedulerTest, RunOnARunningThreadStartsNothing) {
  Thread worker(sim.scheduler, 5);
  int starts = 0;
  worker.run = [&] {
    ++starts;
    sim.scheduler.sleepCurrentThread(500);
  };
  worker.Run();
  sim.advance(100);
  worker.Run();
  sim.advance(1000);
  EXPECT_EQ(starts, 1);
}

TEST_F(SchedulerTest, NoTimerActionStartsWhileAHandlerIsOnTheStack) {
  Timer timer(sim.scheduler, 10);
  int ticks = 0;
  timer.action = [&] { ++ticks; };
  Thread worker(sim.scheduler, 5);
  int fiber_turns = 0;
  worker.run = [&] {
    for (;;) {
      ++fiber_turns;
      sim.scheduler.sleepCurrentThread(10);
    }
  };
  worker.Run();
  sim.advance(35);
  ASSERT_EQ(ticks, 3);
  {
    // As a modal dialog's loop does: the driver keeps dispatching, but only fibers run.
    Scheduler::HandlerScope handler(sim.scheduler);
    const int before = fiber_turns;
    for (int i = 0; i < 5; ++i) {
      sim.clock.waitUntil(sim.nowUs() + 10000);
      sim.scheduler.dispatchDue();
    }
    EXPECT_EQ(ticks, 3);
    EXPECT_EQ(fiber_turns, before + 5);
  }
  worker.Kill();
}

TEST_F(SchedulerTest, ErrorsEscapingHandlersAndFibersAreReported) {
  Timer timer(sim.scheduler, 10);
  timer.action = [] { throw std::runtime_error("timer broke"); };
  Thread worker(sim.scheduler, 5);
  worker.run = [] { throw std::runtime_error("fiber broke"); };
  worker.Run();
  sim.advance(10);
  timer.setMode(Timer::kOff);
  EXPECT_EQ(sim.unhandledErrors, (QStringList{"fiber broke", "timer broke"}));
  EXPECT_FALSE(worker.isRunning());
}

QStringList runScenario() {
  Simulation sim;
  QStringList trace;
  auto note = [&](const QString& s) { trace.append(QString::number(sim.nowUs()) + " " + s); };
  Timer fast(sim.scheduler, 50), second(sim.scheduler, 1000), tenth(sim.scheduler, 100);
  Thread poll(sim.scheduler, 5), reader(sim.scheduler, 20);
  poll.run = [&] {
    for (int i = 0; i < 3; ++i) {
      note("poll try");
      sim.scheduler.sleepCurrentThread(100);
    }
  };
  reader.run = [&] {
    for (int page = 0; page < 4; ++page) {
      note("page " + QString::number(page));
      sim.scheduler.sleepCurrentThread(600);
      sim.scheduler.yieldCurrentThread();
    }
  };
  fast.action = [&] { note("fast"); };
  second.action = [&] {
    note("second");
    poll.Run();
  };
  tenth.action = [&] {
    note("tenth");
    if (sim.nowMs() == 300) {
      reader.Run();
      sim.scheduler.sleepCurrentThread(250);
      note("tenth held");
    }
  };
  sim.advance(3000);
  return trace;
}

TEST(SchedulerDeterminism, TheSameScenarioGivesTheSameTraceTwice) {
  const QStringList first = runScenario();
  EXPECT_GT(first.size(), 50);
  EXPECT_EQ(first, runScenario());
}

}  // namespace
