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
  // A thread cannot destroy the stack it runs on; the program only kills from another thread.
  Q_ASSERT(scheduler_.current_ != this);
  if (scheduler_.current_ == this) return;
  Thread* previous = scheduler_.current_;
  scheduler_.current_ = this;  // destructors on the unwound stack see their own thread
  fiber_ = ctx::fiber();       // unwinds the suspended fiber
  scheduler_.current_ = previous;
  finish();
  scheduler_.changed();
}

void Thread::finish() {
  back_ = ctx::fiber();
  started_ = false;
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
  if (onScheduleChanged) onScheduleChanged();
}

void Scheduler::reportUnhandled(const QString& what) {
  if (onUnhandledError)
    onUnhandledError(what);
  else
    qWarning().noquote() << "Unhandled error:" << what;
}

void Scheduler::runHandler(const std::function<void()>& fn) {
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
    if (auto fiber = earliestDue(false); fiber && fiber->due_us <= nowUs()) {
      runItem(*fiber);
      continue;
    }
    if (nowUs() >= deadline_us) return;
    qint64 wake = deadline_us;
    if (auto fiber = earliestDue(false)) wake = std::min(wake, fiber->due_us);
    clock_.waitUntil(wake);
  }
}

void Scheduler::yieldCurrentThread() {
  if (Thread* thread = current_) {
    if (++thread->passes_ < sliceOf(thread)) return;
    thread->state_ = Thread::State::Ready;
    thread->due_us_ = nowUs();
    thread->order_ = nextOrder();
    thread->suspend();
    return;
  }
  auto first = earliestDue(false);
  if (!first) return;
  if (first->due_us > nowUs()) clock_.waitUntil(first->due_us);
  std::vector<Thread*> due;
  for (Thread* thread : threads_)
    if (thread->state_ == Thread::State::Ready ||
        (thread->state_ == Thread::State::Sleeping && thread->due_us_ <= nowUs()))
      due.push_back(thread);
  std::sort(due.begin(), due.end(), [](Thread* a, Thread* b) {
    return std::tie(a->due_us_, a->order_) < std::tie(b->due_us_, b->order_);
  });
  for (Thread* thread : due)
    if (thread->state_ == Thread::State::Ready || thread->state_ == Thread::State::Sleeping)
      thread->resume();
}

int Scheduler::sliceOf(const Thread* thread) {
  return std::max(1, thread->priority_) * kYieldsPerPriority;
}

std::optional<Scheduler::Item> Scheduler::earliestDue(bool include_timers) const {
  std::optional<Item> best;
  auto consider = [&best](Item item) {
    if (!best || std::tie(item.due_us, item.order) < std::tie(best->due_us, best->order))
      best = item;
  };
  if (include_timers)
    for (Timer* timer : timers_)
      if (timer->mode_ == Timer::kRepeating) consider({timer, nullptr, timer->due_us_, timer->order_});
  for (Thread* thread : threads_)
    if (thread->state_ == Thread::State::Ready || thread->state_ == Thread::State::Sleeping)
      consider({nullptr, thread, thread->due_us_, thread->order_});
  return best;
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
         (item.thread->state_ == Thread::State::Ready ||
          item.thread->state_ == Thread::State::Sleeping) &&
         item.thread->due_us_ <= nowUs();
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
    if ((thread->state_ == Thread::State::Ready || thread->state_ == Thread::State::Sleeping) &&
        thread->due_us_ <= nowUs())
      due.push_back({nullptr, thread, thread->due_us_, thread->order_});
  std::sort(due.begin(), due.end(), [](const Item& a, const Item& b) {
    return std::tie(a.due_us, a.order) < std::tie(b.due_us, b.order);
  });
  for (const Item& item : due)
    if (stillDue(item) && (item.thread || !handlerRunning())) runItem(item);
}

void Scheduler::runUntil(qint64 us) {
  for (;;) {
    auto next = earliestDue(!handlerRunning());
    if (!next || next->due_us > std::max(us, nowUs())) break;
    clock_.waitUntil(next->due_us);
    runItem(*next);
  }
  clock_.waitUntil(us);
}
