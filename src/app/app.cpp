#include "app/app.h"

#include "app/error_report.h"
#include "app/menu_bar.h"
#include "platform/platform.h"
#include "window/telvar.h"

App::App(int& argc, char** argv) : QApplication(argc, argv) {
  setApplicationVersion(QStringLiteral("1.0.0"));
  menu_bar_ = &MainMenuBar::shared();
}

App::~App() {
  // The window has given the menu bar back by now; it must go while the toolkit still runs.
  delete menu_bar_;
}

void App::enableHighResolutionDisplays() {
  // Qt 6 always scales for the display; pass the screen's exact factor through, unrounded.
  QGuiApplication::setHighDpiScaleFactorRoundingPolicy(
      Qt::HighDpiScaleFactorRoundingPolicy::PassThrough);
}

int runTelvar(const Platform& platform) {
  TELVAR& window = TELVAR::shared(platform);
  const UnhandledErrorReport report(platform.scheduler, platform.dialogs, &window);
  const int quit_code = QApplication::exec();
  TELVAR::releaseShared();
  return quit_code;
}
