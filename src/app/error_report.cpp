#include "app/error_report.h"

#include <utility>

#include "platform/dialogs.h"
#include "platform/scheduler.h"

namespace {

// Only a modal dialog of another handler keeps a report waiting, and it waits for the user;
// looking again this often costs nothing and shows the report soon after the dialog closes.
constexpr int kRetryMs = 50;

}  // namespace

UnhandledErrorReport::UnhandledErrorReport(Scheduler& scheduler, Dialogs& dialogs, QWidget* window)
    : scheduler_(scheduler), dialogs_(dialogs), window_(window) {
  retry_.setSingleShot(true);
  retry_.setInterval(kRetryMs);
  connect(&retry_, &QTimer::timeout, this, &UnhandledErrorReport::showWaiting);
  previous_report_ =
      std::exchange(scheduler_.onUnhandledError, [this](const QString& what) { report(what); });
}

UnhandledErrorReport::~UnhandledErrorReport() {
  scheduler_.onUnhandledError = std::move(previous_report_);
}

void UnhandledErrorReport::report(const QString& what) {
  waiting_.append(what);
  if (show_posted_) return;
  // Posted, not called: the caller may be a fiber or a handler that is still unwinding.
  show_posted_ = true;
  QMetaObject::invokeMethod(this, &UnhandledErrorReport::showWaiting, Qt::QueuedConnection);
}

void UnhandledErrorReport::showWaiting() {
  show_posted_ = false;
  if (waiting_.isEmpty()) return;
  if (scheduler_.currentThread() || scheduler_.handlerRunning()) {
    retry_.start();
    return;
  }
  // The box is shown as a handler is: no timer action runs while the user reads it.
  const Scheduler::HandlerScope showing(scheduler_);
  while (!waiting_.isEmpty()) dialogs_.message(window_, waiting_.takeFirst());
}
