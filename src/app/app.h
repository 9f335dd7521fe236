#pragma once

#include <QApplication>
#include <QPointer>

#include "app/menu_bar.h"

struct Platform;

// The application object: Qt's application with the program's version and the shared menu bar.
// It handles no event of its own.
class App final : public QApplication {
  Q_OBJECT
 public:
  App(int& argc, char** argv);
  ~App() override;

  // Switches on the support for high-resolution displays; must run before the application
  // object exists.
  static void enableHighResolutionDisplays();

  // The application's menu bar: the shared one, which the main window shows as well.
  MainMenuBar* menuBar() const { return menu_bar_; }

 private:
  QPointer<MainMenuBar> menu_bar_;
};

// Requests the main window (which shows it), runs the event loop until the program quits, then
// lets the window go; returns the quit code. Meanwhile an error that escapes a handler or a
// worker is shown to the user in a message box.
int runTelvar(const Platform& platform);
