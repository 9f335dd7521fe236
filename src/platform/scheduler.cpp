#include "platform/scheduler.h"

#include <QDebug>
#include <algorithm>
#include <boost/context/fixedsize_stack.hpp>
#include <exception>

namespace ctx = boost::context;

namespace {
// Qt's file and text code needs more than Boost's default stack.
constexpr std::size_t kFiberStackBytes = 1024 * 1024;
}  // namespace

// ---------------------------------------------------------------------------------------------
// Timer

Timer::Timer(Scheduler& scheduler, int period_ms, int mode)
    : scheduler_(scheduler), period_ms_(period_ms), mode_(Timer::kOff) {
  // Due times step by the period; with none, a repeating timer would fall due for ever at once.
  if (period_ms_ < 1) qFatal("A timer needs a period of at least 1 ms, not %d ms", period_ms_);
  scheduler_.timers_.push_back(this);
  setMode(mode);
}

Timer::~Timer() {
  auto& timers = scheduler_.timers_;
  timers.erase(std::remove(timers.begin(), timers.end(), this), timers.end());
}

void Timer::setMode(int mode) {
  if (mode == mode_) return;
  mode_ = mode;
  if (mode_ == kRepeating) {
    due_us_ = scheduler_.nowUs() + qint64(period_ms_) * 1000;
    order_ = scheduler_.nextOrder();
  }
  scheduler_.changed();
}

// ---------------------------------------------------------------------------------------------
// Thread

Thread::Thread(Scheduler& scheduler, int priority) : scheduler_(scheduler), priority_(priority) {
  scheduler_.threads_.push_back(this);
}

Thread::~Thread() {
  Kill();
  auto& threads = scheduler_.threads_;
  threads.erase(std::remove(threads.begin(), threads.end(), this), threads.end());
}

void Thread::Run() {
  if (isRunning()) return;
  state_ = State::Ready;
  due_us_ = scheduler_.nowUs();
  order_ = scheduler_.nextOrder();
  scheduler_.changed();
}

void Thread::Kill() {
  if (!isRunning()) return;
  // A thread cannot destroy the stack it runs on, and carrying on after a kill would run the
  // very steps the kill is there to stop.
  if (scheduler_.current_ == this) qFatal("A thread cannot kill itself; only another thread can");
  Thread* previous = scheduler_.current_;
  scheduler_.current_ = this;  // destructors on the unwound stack see their own thread
  unwinding_ = true;
  fiber_ = ctx::fiber();  // unwinds the suspended fiber
  unwinding_ = false;
  scheduler_.current_ = previous;
  finish();
  scheduler_.changed();
}

void Thread::finish() {
  back_ = ctx::fiber();
  started_ = false;
  idle_slices_ = 0;
  resumed_from_yield_ = false;
  state_ = State::Idle;
}

ctx::fiber Thread::makeFiber() {
  return ctx::fiber(std::allocator_arg, ctx::fixedsize_stack(kFiberStackBytes),
                    [this](ctx::fiber&& back) {
                      back_ = std::move(back);
                      QString error;
                      try {
                        if (run) run();
                      } catch (const ctx::detail::forced_unwind&) {
                        throw;  // Kill: let Boost unwind the stack
                      } catch (const std::exception& e) {
                        error = QString::fromLocal8Bit(e.what());
                      } catch (...) {
                        error = QStringLiteral("unknown error");
                      }
                      if (!error.isNull()) scheduler_.reportUnhandled(error);
                      return std::move(back_);
                    });
}

void Thread::resume() {
  // A turn after a sleep or at the start may change what other threads wait for; a turn after a
  // yield only carries on where the thread left off.
  if (!resumed_from_yield_) scheduler_.noteProgress();
  Thread* previous = scheduler_.current_;
  scheduler_.current_ = this;
  state_ = State::Running;
  passes_ = 0;
  // Made at the first turn, so a thread killed before it ever ran has no stack to unwind.
  if (!started_) {
    fiber_ = makeFiber();
    started_ = true;
  }
  fiber_ = std::move(fiber_).resume();
  scheduler_.current_ = previous;
  if (!fiber_) finish();  // the body has returned
}

void Thread::suspend() { back_ = std::move(back_).resume(); }

// ---------------------------------------------------------------------------------------------
// Scheduler

Scheduler::Scheduler(Clock& clock) : clock_(clock) {}

Scheduler::~Scheduler() = default;

void Scheduler::changed() {
  noteProgress();
  if (onScheduleChanged) onScheduleChanged();
}

void Scheduler::reportUnhandled(const QString& what) {
  if (onUnhandledError)
    onUnhandledError(what);
  else
    qWarning().noquote() << "Unhandled error:" << what;
}

void Scheduler::runHandler(const std::function<void()>& fn) {
  noteProgress();
  HandlerScope scope(*this);
  try {
    fn();
  } catch (const std::exception& e) {
    reportUnhandled(QString::fromLocal8Bit(e.what()));
  } catch (...) {
    reportUnhandled(QStringLiteral("unknown error"));
  }
}

void Scheduler::sleepCurrentThread(int ms) {
  const qint64 deadline = nowUs() + qint64(std::max(ms, 0)) * 1000;
  if (Thread* thread = current_) {
    // The thread is being killed: its stack goes as soon as this destructor returns, and nothing
    // is left to resume it after the sleep.
    if (thread->unwinding_) qFatal("A thread cannot sleep while it is being killed");
    thread->resumed_from_yield_ = false;
    thread->state_ = Thread::State::Sleeping;
    thread->due_us_ = deadline;
    thread->order_ = nextOrder();
    thread->suspend();
    return;
  }
  holdWindowUntil(deadline);
}

void Scheduler::holdWindowUntil(qint64 deadline_us) {
  for (;;) {
    if (auto fiber = earliestDue(false, deadline_us); fiber && fiber->due_us <= nowUs()) {
      runItem(*fiber);
      continue;
    }
    if (nowUs() >= deadline_us) return;
    qint64 wake = deadline_us;
    if (auto fiber = earliestDue(false, deadline_us)) wake = std::min(wake, fiber->due_us);
    clock_.waitUntil(wake);
  }
}

void Scheduler::yieldCurrentThread() {
  if (Thread* thread = current_) {
    // While Kill unwinds the thread no other thread may run: the unwinding goes on at once.
    if (thread->unwinding_) return;
    if (++thread->passes_ < sliceOf(thread)) return;
    const bool nothing_moved = thread->resumed_from_yield_ && thread->progress_seen_ == progress_;
    thread->idle_slices_ = nothing_moved ? thread->idle_slices_ + 1 : 0;
    thread->progress_seen_ = progress_;
    thread->resumed_from_yield_ = true;
    thread->state_ = Thread::State::Ready;
    thread->due_us_ = nowUs();
    thread->order_ = nextOrder();
    thread->suspend();
    return;
  }
  auto first = earliestDue(false);
  if (!first) return;
  if (first->due_us > nowUs()) clock_.waitUntil(first->due_us);
  // Fibers that only wait get their turn once something else has run, or when nothing else can.
  const bool only_waiting = isWaiting(first->thread);
  std::vector<Thread*> due;
  for (Thread* thread : threads_)
    if (isDue(thread)) due.push_back(thread);
  std::sort(due.begin(), due.end(), [](Thread* a, Thread* b) {
    return std::tie(a->due_us_, a->order_) < std::tie(b->due_us_, b->order_);
  });
  for (Thread* thread : due)
    if (isScheduled(thread) && (only_waiting || !isWaiting(thread))) thread->resume();
}

bool Scheduler::isScheduled(const Thread* thread) const {
  return thread->state_ == Thread::State::Ready || thread->state_ == Thread::State::Sleeping;
}

// A ready fiber is always due: it became ready at its due time, and time only moves on.
bool Scheduler::isDue(const Thread* thread) const {
  return isScheduled(thread) && thread->due_us_ <= nowUs();
}

bool Scheduler::isWaiting(const Thread* thread) const {
  return thread->state_ == Thread::State::Ready && thread->idle_slices_ >= kIdleSlices &&
         thread->progress_seen_ == progress_;
}

bool Scheduler::othersScheduled(const Thread* thread, bool include_timers) const {
  if (include_timers)
    for (const Timer* timer : timers_)
      if (timer->mode_ == Timer::kRepeating) return true;
  for (const Thread* other : threads_)
    if (other != thread && isScheduled(other) && !isWaiting(other)) return true;
  return false;
}

int Scheduler::sliceOf(const Thread* thread) {
  return std::max(1, thread->priority_) * kYieldsPerPriority;
}

std::optional<Scheduler::Item> Scheduler::earliestDue(bool include_timers) const {
  return earliestDue(include_timers, std::nullopt);
}

// A fiber that only waits is passed over while anything else is scheduled; with nothing else,
// it waits for the caller's horizon when there is one, and otherwise carries on.
std::optional<Scheduler::Item> Scheduler::earliestDue(bool include_timers,
                                                      std::optional<qint64> horizon_us) const {
  std::optional<Item> best;
  std::optional<Item> best_waiting;
  auto consider = [](std::optional<Item>& best, Item item) {
    if (!best || std::tie(item.due_us, item.order) < std::tie(best->due_us, best->order))
      best = item;
  };
  if (include_timers)
    for (Timer* timer : timers_)
      if (timer->mode_ == Timer::kRepeating)
        consider(best, {timer, nullptr, timer->due_us_, timer->order_});
  for (Thread* thread : threads_)
    if (isScheduled(thread))
      consider(isWaiting(thread) ? best_waiting : best,
               {nullptr, thread, thread->due_us_, thread->order_});
  if (best || horizon_us) return best;
  return best_waiting;
}

std::optional<qint64> Scheduler::nextDueUs() const {
  if (auto item = earliestDue(!handlerRunning())) return item->due_us;
  return std::nullopt;
}

bool Scheduler::stillDue(const Item& item) const {
  if (item.timer)
    return std::find(timers_.begin(), timers_.end(), item.timer) != timers_.end() &&
           item.timer->mode_ == Timer::kRepeating && item.timer->due_us_ <= nowUs();
  return std::find(threads_.begin(), threads_.end(), item.thread) != threads_.end() &&
         isDue(item.thread);
}

void Scheduler::runItem(const Item& item) {
  if (item.timer)
    fireTimer(*item.timer);
  else
    item.thread->resume();
}

void Scheduler::fireTimer(Timer& timer) {
  // Ticks missed while the window was held are dropped, not caught up; the phase is kept.
  const qint64 period = qint64(timer.period_ms_) * 1000;
  const qint64 missed = (nowUs() - timer.due_us_) / period;
  timer.due_us_ += (missed + 1) * period;
  timer.order_ = nextOrder();
  if (timer.action) runHandler(timer.action);
}

void Scheduler::dispatchDue() {
  std::vector<Item> due;
  const bool timers_allowed = !handlerRunning();
  for (Timer* timer : timers_)
    if (timers_allowed && timer->mode_ == Timer::kRepeating && timer->due_us_ <= nowUs())
      due.push_back({timer, nullptr, timer->due_us_, timer->order_});
  for (Thread* thread : threads_)
    if (isDue(thread)) due.push_back({nullptr, thread, thread->due_us_, thread->order_});
  std::sort(due.begin(), due.end(), [](const Item& a, const Item& b) {
    return std::tie(a.due_us, a.order) < std::tie(b.due_us, b.order);
  });
  for (const Item& item : due) {
    if (!stillDue(item)) continue;
    if (item.timer && handlerRunning()) continue;
    if (item.thread && isWaiting(item.thread) && othersScheduled(item.thread, timers_allowed))
      continue;
    runItem(item);
  }
}

void Scheduler::runUntil(qint64 us) {
  // The caller may have changed anything since the last run, as a handler can.
  noteProgress();
  for (;;) {
    auto next = earliestDue(!handlerRunning(), us);
    if (!next || next->due_us > std::max(us, nowUs())) break;
    clock_.waitUntil(next->due_us);
    runItem(*next);
  }
  clock_.waitUntil(us);
}
