#include "platform/scheduler.h"

#include <gtest/gtest.h>

#include <QStringList>

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

namespace {

// A fiber that spins on yields until a flag is set, as a loop waiting for another thread does.
void yieldUntil(Scheduler& scheduler, const bool& flag) {
  while (!flag) scheduler.yieldCurrentThread();
}

TEST_F(SchedulerTest, FibersYieldingWhileTheyWaitForASleepingFiberLetTimeMoveOn) {
  Timer timer(sim.scheduler, 50);
  int ticks = 0;
  timer.action = [&] { ++ticks; };
  bool done = false;
  Thread sleeper(sim.scheduler, 5);
  sleeper.run = [&] {
    sim.scheduler.sleepCurrentThread(300);
    done = true;
    note("sleeper done");
  };
  // Every runnable fiber only yields: neither gives the other anything to do.
  Thread low(sim.scheduler, 1), high(sim.scheduler, 20);
  low.run = [&] {
    yieldUntil(sim.scheduler, done);
    note("low saw it");
  };
  high.run = [&] {
    yieldUntil(sim.scheduler, done);
    note("high saw it");
  };
  sleeper.Run();
  low.Run();
  high.Run();
  sim.advance(1000);
  EXPECT_EQ(trace, (QStringList{"300 sleeper done", "300 high saw it", "300 low saw it"}));
  EXPECT_EQ(ticks, 20) << "the timer keeps its period while the fibers wait";
  EXPECT_FALSE(low.isRunning());
  EXPECT_FALSE(high.isRunning());
}

TEST_F(SchedulerTest, AFiberYieldingWhileTheWindowIsHeldWaitsForTheFiberOrTheDeadline) {
  bool done = false;
  Thread sleeper(sim.scheduler, 5), spinner(sim.scheduler, 5);
  sleeper.run = [&] {
    sim.scheduler.sleepCurrentThread(200);
    done = true;
  };
  spinner.run = [&] {
    yieldUntil(sim.scheduler, done);
    note("spinner saw it");
  };
  sleeper.Run();
  spinner.Run();
  {
    Scheduler::HandlerScope handler(sim.scheduler);
    sim.scheduler.sleepCurrentThread(500);
    note("handler woke");
  }
  EXPECT_EQ(trace, (QStringList{"200 spinner saw it", "500 handler woke"}));

  // With nothing else to wait for, a spinning fiber lets the held window's deadline come, and the
  // test's own stopping point.
  bool released = false;
  spinner.run = [&] {
    yieldUntil(sim.scheduler, released);
    note("released");
  };
  spinner.Run();
  {
    Scheduler::HandlerScope handler(sim.scheduler);
    sim.scheduler.sleepCurrentThread(100);
    note("held");
  }
  sim.advance(100);
  note("advanced");
  released = true;
  sim.advance(0);
  EXPECT_EQ(trace.mid(2), (QStringList{"600 held", "700 advanced", "700 released"}));
}

TEST_F(SchedulerTest, AFiberThatWorksAsItYieldsKeepsItsTurnsAtOneInstant) {
  Timer timer(sim.scheduler, 50);
  timer.action = [] {};
  Thread worker(sim.scheduler, 5);
  // Like the shift of the whole count series: a yield per step, many slices, nothing awaited.
  const int steps = 40 * 5 * Scheduler::kYieldsPerPriority;
  worker.run = [&] {
    for (int step = 0; step < steps; ++step) sim.scheduler.yieldCurrentThread();
    note("worked");
  };
  worker.Run();
  sim.advance(0);
  EXPECT_EQ(trace, QStringList{"0 worked"});
}

TEST_F(SchedulerTest, AYieldInADestructorWhileKillUnwindsTheFiberGoesOnAtOnce) {
  struct YieldsOnDestruction {
    Scheduler& scheduler;
    int* passes;
    ~YieldsOnDestruction() {
      // More than a whole slice, so the slice is spent inside the destructor.
      for (int i = 0; i < 3 * Scheduler::kYieldsPerPriority; ++i, ++*passes)
        scheduler.yieldCurrentThread();
    }
  };
  int passes = 0;
  int other_turns = 0;
  Thread worker(sim.scheduler, 1), other(sim.scheduler, 1);
  worker.run = [&] {
    YieldsOnDestruction guard{sim.scheduler, &passes};
    sim.scheduler.sleepCurrentThread(1000);
  };
  other.run = [&] {
    for (;;) {
      ++other_turns;
      sim.scheduler.sleepCurrentThread(1);
    }
  };
  worker.Run();
  other.Run();
  sim.advance(10);
  const int turns_before = other_turns;
  worker.Kill();
  EXPECT_EQ(passes, 3 * Scheduler::kYieldsPerPriority);
  EXPECT_FALSE(worker.isRunning());
  EXPECT_EQ(other_turns, turns_before) << "no other thread runs while one is being killed";
  sim.advance(10);
  EXPECT_GT(other_turns, turns_before);
  other.Kill();
  EXPECT_TRUE(sim.unhandledErrors.isEmpty());
}

// Misuse that would crash or carry on wrongly is refused at once, with the rule in the message.
// Each misuse is made inside the death test's statement, so only the child meets it.
struct SchedulerDeathTest : ::testing::Test {
  void SetUp() override { GTEST_FLAG_SET(death_test_style, "threadsafe"); }
};

void killItself() {
  Simulation sim;
  Thread worker(sim.scheduler, 5);
  worker.run = [&] { worker.Kill(); };
  worker.Run();
  sim.advance(0);
}

TEST_F(SchedulerDeathTest, AThreadThatKillsItselfIsRefused) {
  EXPECT_DEATH(killItself(), "A thread cannot kill itself");
}

void sleepWhileBeingKilled() {
  struct SleepsOnDestruction {
    Scheduler& scheduler;
    ~SleepsOnDestruction() { scheduler.sleepCurrentThread(10); }
  };
  Simulation sim;
  Thread worker(sim.scheduler, 5);
  worker.run = [&] {
    SleepsOnDestruction guard{sim.scheduler};
    sim.scheduler.sleepCurrentThread(1000);
  };
  worker.Run();
  sim.advance(10);
  worker.Kill();
}

TEST_F(SchedulerDeathTest, ASleepInADestructorWhileKillUnwindsTheFiberIsRefused) {
  EXPECT_DEATH(sleepWhileBeingKilled(), "A thread cannot sleep while it is being killed");
}

TEST_F(SchedulerDeathTest, ATimerWithoutAPeriodIsRefused) {
  for (int period : {0, -50}) {
    SCOPED_TRACE(period);
    EXPECT_DEATH(
        {
          Simulation sim;
          Timer timer(sim.scheduler, period);
        },
        "A timer needs a period of at least 1 ms");
  }
}

}  // namespace
