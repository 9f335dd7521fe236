#include "window/telvar.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QLayout>
#include <QMenuBar>
#include <QThread>

namespace {

TELVAR* shared_window = nullptr;

// Ends the event loop with the code. With no loop running (a window closed outside the
// application's loop) there is nothing to end, and an exit request would only make the next
// local event loop return at once.
void quitApplication(int code) {
  if (QThread::currentThread()->loopLevel() > 0) QCoreApplication::exit(code);
}

}  // namespace

TELVAR::TELVAR(const Platform& services)
    : platform(services),
      content_(new ContentArea(QSize(kDesignWidth, kDesignHeight))),
      UART(services.serial),
      PortListUpdater(services.scheduler, 500, Timer::kRepeating),
      SerialTimer(services.scheduler, 50, Timer::kRepeating),
      GetCPS(services.scheduler, 5),
      GetCPSTimer(services.scheduler, 1000, Timer::kRepeating),
      DHThread(services.scheduler, 20),
      Timer100ms(services.scheduler, 100, Timer::kRepeating) {
  content_->resize(kDesignWidth, kDesignHeight);
  setCentralWidget(content_);
  content_->resized = [this] { applyEdgeLocks(*content_); };
  CreateControls();
  Layout();
}

TELVAR::~TELVAR() {
  if (shared_window == this) shared_window = nullptr;
  // The worker threads unwind while everything they may touch still exists.
  GetCPS.Kill();
  DHThread.Kill();
  // The menu bar is shared: it outlives the window.
  if (platform.menuBar && menuWidget() == platform.menuBar) {
    layout()->setMenuBar(nullptr);
    platform.menuBar->setParent(nullptr);
  }
}

TELVAR& TELVAR::shared(const Platform& platform) {
  if (!shared_window) {
    shared_window = new TELVAR(platform);
    shared_window->show();
  }
  return *shared_window;
}

void TELVAR::releaseShared() { delete shared_window; }

void TELVAR::closeEvent(QCloseEvent* event) {
  platform.scheduler.runHandler([this] {
    notifyHandler("Event_Close");
    Event_Close();
  });
  event->accept();
}

void TELVAR::Event_Close() {
  GetCPS.Kill();
  quitApplication(0);
}

void TELVAR::DisableUI() {
  SendCommand1.setEnabled(false);
  SendCommand2.setEnabled(false);
  DHButton.setEnabled(false);
  DSButton.setEnabled(false);
  GetCPSTimer.setMode(Timer::kOff);
}

void TELVAR::EnableUI() {
  SendCommand1.setEnabled(true);
  SendCommand2.setEnabled(true);
  DHButton.setEnabled(true);
  DSButton.setEnabled(true);
  GetCPSTimer.setMode(Timer::kRepeating);
}

void TELVAR::handle(const char* name, void (TELVAR::*handler)()) {
  platform.scheduler.runHandler([this, name, handler] {
    notifyHandler(name);
    (this->*handler)();
  });
}

void TELVAR::notifyHandler(const char* name) {
  if (handlerObserver) handlerObserver(name);
}
