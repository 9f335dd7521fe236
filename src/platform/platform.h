#pragma once

class Scheduler;
class SerialSystem;
class Dialogs;
class QMenuBar;

// The platform services the window reaches: made once at start-up, replaced whole by tests.
struct Platform {
  Scheduler& scheduler;
  SerialSystem& serial;
  Dialogs& dialogs;
  // The application's one menu bar, which the window shows as well; none leaves the window
  // without one.
  QMenuBar* menuBar = nullptr;
};
