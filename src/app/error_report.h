#pragma once

#include <QObject>
#include <QPointer>
#include <QString>
#include <QStringList>
#include <QTimer>
#include <QWidget>
#include <functional>

class Dialogs;
class Scheduler;

// The report of an error that escaped a handler or a worker thread: a modal message box with the
// error's text, so that a user who started the program from the desktop sees it. The error may be
// raised anywhere, on a worker's fiber or in the middle of a handler; the box waits until the
// event loop is back with nothing of the program running, so it never opens from a fiber, never
// inside another handler or its hold of the window. The handler that raised the error has ended
// there; the program goes on.
class UnhandledErrorReport final : public QObject {
  Q_OBJECT
 public:
  // Becomes the scheduler's report of unhandled errors for as long as it lives; the report it
  // replaced comes back after it.
  UnhandledErrorReport(Scheduler& scheduler, Dialogs& dialogs, QWidget* window = nullptr);
  ~UnhandledErrorReport() override;
  UnhandledErrorReport(const UnhandledErrorReport&) = delete;
  UnhandledErrorReport& operator=(const UnhandledErrorReport&) = delete;

  // Takes an error to show; safe to call from anywhere in the program.
  void report(const QString& what);

  // Shows the errors that wait, in the order they came, unless program code is running; then it
  // tries again a little later.
  void showWaiting();

  qsizetype waiting() const { return waiting_.size(); }

 private:
  Scheduler& scheduler_;
  Dialogs& dialogs_;
  QPointer<QWidget> window_;
  QStringList waiting_;
  bool show_posted_ = false;
  QTimer retry_;
  std::function<void(const QString&)> previous_report_;
};
