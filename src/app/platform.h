#pragma once

class Scheduler;
class SerialSystem;
class Dialogs;

// The platform services the window reaches: made once at start-up, replaced whole by tests.
struct Platform {
  Scheduler& scheduler;
  SerialSystem& serial;
  Dialogs& dialogs;
};
