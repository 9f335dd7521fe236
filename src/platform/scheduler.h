#pragma once

#include <QString>
#include <QtGlobal>
#include <boost/context/fiber.hpp>
#include <functional>
#include <optional>
#include <tuple>
#include <vector>

#include "platform/clock.h"

class Scheduler;

// A repeating timer of the window. Mode 0 is off, mode 2 repeats every period; the period never
// changes. Its action is a handler: it runs only when no other handler is on the stack.
// Rule: the period is at least 1 ms; a timer made with less is refused with qFatal.
class Timer {
 public:
  static constexpr int kOff = 0;
  static constexpr int kRepeating = 2;

  Timer(Scheduler& scheduler, int period_ms, int mode = kRepeating);
  ~Timer();
  Timer(const Timer&) = delete;
  Timer& operator=(const Timer&) = delete;

  // Setting the mode a timer already has changes nothing, so a repeating timer keeps its phase.
  void setMode(int mode);
  int mode() const { return mode_; }
  int period() const { return period_ms_; }

  std::function<void()> action;

 private:
  friend class Scheduler;
  Scheduler& scheduler_;
  int period_ms_;
  int mode_;
  qint64 due_us_ = 0;
  quint64 order_ = 0;
};

// A worker thread, run as a fiber on the user-interface thread. Run starts its body beside the
// user-interface thread and returns at once; Kill unwinds it wherever it is suspended, so its
// destructors run and none of its later steps do.
// Rules: Kill comes from another thread or the user-interface thread; a thread that kills itself
// is refused with qFatal. A destructor that runs while Kill unwinds the thread may yield (the
// yield gives no turn away) but must not sleep: such a sleep is refused with qFatal.
class Thread {
 public:
  Thread(Scheduler& scheduler, int priority);
  ~Thread();
  Thread(const Thread&) = delete;
  Thread& operator=(const Thread&) = delete;

  void Run();
  void Kill();
  bool isRunning() const { return state_ != State::Idle; }
  int priority() const { return priority_; }

  std::function<void()> run;

 private:
  friend class Scheduler;
  enum class State { Idle, Ready, Sleeping, Running };

  void resume();
  void suspend();
  void finish();
  boost::context::fiber makeFiber();

  Scheduler& scheduler_;
  int priority_;
  State state_ = State::Idle;
  qint64 due_us_ = 0;
  quint64 order_ = 0;
  int passes_ = 0;
  // Slices in a row that the thread spent yielding while nothing else in the scheduler moved,
  // and the scheduler's progress count at the end of the last of them.
  int idle_slices_ = 0;
  quint64 progress_seen_ = 0;
  bool resumed_from_yield_ = false;
  bool started_ = false;
  bool unwinding_ = false;
  boost::context::fiber fiber_;
  boost::context::fiber back_;
};

// Owns time for the program: the window's timers and the worker fibers, all on one OS thread.
// Exactly one of the user-interface code and the fibers runs at a time; control passes only at a
// sleep, a yield, or when the user-interface thread returns to the event loop.
class Scheduler {
 public:
  explicit Scheduler(Clock& clock);
  ~Scheduler();
  Scheduler(const Scheduler&) = delete;
  Scheduler& operator=(const Scheduler&) = delete;

  Clock& clock() { return clock_; }
  qint64 nowUs() const { return clock_.nowUs(); }

  // On a fiber: suspends it for ms. On the user-interface thread: holds the window for ms, running
  // the fibers that are ready or become due, but no timer action (and no Qt event is processed).
  void sleepCurrentThread(int ms);

  // One loop pass. On a fiber it switches only once the fiber's time slice is spent. On the
  // user-interface thread every ready or due fiber gets one turn; when none is, it waits for the
  // earliest sleeping fiber, since nothing else can change what the caller is waiting for.
  // Rule: a fiber that spends kIdleSlices slices in a row yielding while nothing else runs is
  // waiting for something else: its next turn comes once another timer action, fiber turn or
  // handler has run, so time moves on to what it waits for instead of spinning at one instant.
  // With nothing else scheduled it waits for the end of a held window or of runUntil, and
  // otherwise carries on at once.
  void yieldCurrentThread();

  // The fiber running now, or null on the user-interface thread.
  Thread* currentThread() const { return current_; }

  // Runs, once each, the timer actions and fibers that are due now, in the order they fell due.
  // Timer actions are left for later while a handler is on the stack (a modal dialog's loop).
  void dispatchDue();

  // Runs everything that falls due up to the virtual time us, in order, moving the clock forward.
  void runUntil(qint64 us);

  // When the next timer action or fiber turn falls due; none when nothing is scheduled.
  std::optional<qint64> nextDueUs() const;

  // Marks a user-interface handler on the stack for as long as the scope lives.
  class HandlerScope {
   public:
    explicit HandlerScope(Scheduler& scheduler) : scheduler_(scheduler) {
      ++scheduler_.handler_depth_;
    }
    ~HandlerScope() {
      // Timer actions held back while the handler ran may now be due.
      if (--scheduler_.handler_depth_ == 0) scheduler_.changed();
    }
    HandlerScope(const HandlerScope&) = delete;
    HandlerScope& operator=(const HandlerScope&) = delete;

   private:
    Scheduler& scheduler_;
  };
  bool handlerRunning() const { return handler_depth_ > 0; }

  // Runs fn as a handler, reporting an error that escapes it instead of letting it unwind into
  // the event loop.
  void runHandler(const std::function<void()>& fn);

  // Told whenever something was scheduled, so an event-loop driver can re-arm its timer.
  std::function<void()> onScheduleChanged;
  // The report of an error that escaped a handler or a fiber's body.
  std::function<void(const QString&)> onUnhandledError;

  // Fibers spend their slice after this many yields per point of priority.
  static constexpr int kYieldsPerPriority = 1000;
  // Slices of yields with nothing else running before a fiber is taken to be waiting. Far more
  // than a loop that works as it yields needs (shifting the whole count series takes 18).
  static constexpr int kIdleSlices = 64;

 private:
  friend class Timer;
  friend class Thread;

  struct Item {
    Timer* timer = nullptr;
    Thread* thread = nullptr;
    qint64 due_us = 0;
    quint64 order = 0;
  };

  quint64 nextOrder() { return ++order_counter_; }
  void changed();
  void reportUnhandled(const QString& what);
  std::optional<Item> earliestDue(bool include_timers) const;
  std::optional<Item> earliestDue(bool include_timers, std::optional<qint64> horizon_us) const;
  bool isScheduled(const Thread* thread) const;
  bool isDue(const Thread* thread) const;
  bool isWaiting(const Thread* thread) const;
  bool othersScheduled(const Thread* thread, bool include_timers) const;
  void noteProgress() { ++progress_; }
  void runItem(const Item& item);
  void fireTimer(Timer& timer);
  bool stillDue(const Item& item) const;
  static int sliceOf(const Thread* thread);
  void holdWindowUntil(qint64 deadline_us);

  Clock& clock_;
  std::vector<Timer*> timers_;
  std::vector<Thread*> threads_;
  Thread* current_ = nullptr;
  int handler_depth_ = 0;
  quint64 order_counter_ = 0;
  // Counts everything that may change what a yielding fiber waits for.
  quint64 progress_ = 0;
};
