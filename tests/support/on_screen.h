#pragma once

#include <QImage>
#include <QString>
#include <QStringList>
#include <functional>
#include <memory>
#include <ostream>

#include "platform/scheduler.h"

class QAbstractButton;
class QWidget;

// An image in a failure message: its size, not its bytes.
inline void PrintTo(const QImage& image, std::ostream* os) {
  *os << "image " << image.width() << " x " << image.height();
}

// What the screen shows of a control now: the window as last put on the screen, not a fresh
// drawing of it.
QImage ShownOnScreen(QWidget& control);
// What the screen would show of the control were the window drawn now.
QImage DrawnNow(QWidget& control);

// Writes an image beside the build, for a person to look at.
void SaveForALook(const QImage& image, const char* name);

// Looks once, on a fiber, after ms: the user-interface thread runs due fibers while it is held,
// so the look comes in the middle of a hold that outlasts ms.
class LookDuringHold {
 public:
  LookDuringHold(Scheduler& scheduler, int ms, std::function<void()> look);
  bool looked() const { return looked_; }

 private:
  std::unique_ptr<Thread> fiber_;
  bool looked_ = false;
};

// A button as it stood ms into the hold of the window that `press` begins: its caption, what the
// screen showed of it, what a drawing of it would show, and the handlers that had run by then.
struct HoldLook {
  bool looked = false;
  QString caption;
  QImage shown;
  QImage drawn;
  QStringList handlers;
};
// A paint of `waiting` is asked for before the press, so a paint that runs too early shows.
HoldLook LookAtButtonDuringHold(Scheduler& scheduler, QAbstractButton& button, QWidget& waiting,
                                int ms, const std::function<void()>& press);
