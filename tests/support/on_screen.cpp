#include "support/on_screen.h"

#include <QAbstractButton>
#include <QDir>
#include <QPixmap>
#include <QScreen>
#include <QWidget>

#include "window/telvar.h"

namespace {

QRect areaInWindow(QWidget& control) {
  return QRect(control.mapTo(control.window(), QPoint(0, 0)), control.size());
}

}  // namespace

QImage ShownOnScreen(QWidget& control) {
  QWidget* top = control.window();
  const QRect area = areaInWindow(control);
  return top->screen()
      ->grabWindow(top->winId(), area.x(), area.y(), area.width(), area.height())
      .toImage()
      .convertToFormat(QImage::Format_RGB32);
}

QImage DrawnNow(QWidget& control) {
  return control.window()
      ->grab(areaInWindow(control))
      .toImage()
      .convertToFormat(QImage::Format_RGB32);
}

void SaveForALook(const QImage& image, const char* name) {
  image.save(QDir(QStringLiteral(TELVAR_BUILD_DIR)).filePath(QLatin1String(name)));
}

LookDuringHold::LookDuringHold(Scheduler& scheduler, int ms, std::function<void()> look)
    : fiber_(std::make_unique<Thread>(scheduler, 5)) {
  fiber_->run = [this, &scheduler, ms, look = std::move(look)] {
    scheduler.sleepCurrentThread(ms);
    look();
    looked_ = true;
  };
  fiber_->Run();
}

HoldLook LookAtButtonDuringHold(Scheduler& scheduler, QAbstractButton& button, QWidget& waiting,
                                int ms, const std::function<void()>& press) {
  HoldLook look;
  QStringList handlers;
  TELVAR::handlerObserver = [&handlers](const char* name) { handlers.append(name); };
  waiting.update();
  const LookDuringHold during(scheduler, ms, [&] {
    look.handlers = handlers;
    look.caption = button.text();
    look.shown = ShownOnScreen(button);
    look.drawn = DrawnNow(button);
  });
  press();
  TELVAR::handlerObserver = nullptr;
  look.looked = during.looked();
  return look;
}
