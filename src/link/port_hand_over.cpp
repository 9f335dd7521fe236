#include "link/port_hand_over.h"

#include "link/connection.h"
#include "window/telvar.h"

namespace {

// The poll raises GetCPSThreadRunning at its first turn, not when its thread is started, and
// only the poll clears it: so the port is the poll's for exactly as long as its thread runs.
// Waiting for the thread also covers a poll started but not yet begun, and never waits on a flag
// that nothing is left to clear.
void waitForRunningPoll(TELVAR& window) {
  while (window.GetCPS.isRunning()) window.platform.scheduler.yieldCurrentThread();
}

}  // namespace

void TakePort(TELVAR& window, PortUser user) {
  switch (user) {
    case PortUser::CountRatePoll:
      window.SerialTimer.setMode(Timer::kOff);
      window.GetCPSThreadRunning = true;
      return;
    case PortUser::Download:
      waitForRunningPoll(window);
      window.GetCPSTimer.setMode(Timer::kOff);
      return;
  }
}

void GivePortBack(TELVAR& window, PortUser user) {
  switch (user) {
    case PortUser::CountRatePoll:
      window.GetCPSThreadRunning = false;
      window.SerialTimer.setMode(Timer::kRepeating);
      return;
    case PortUser::Download:
      if (HoldsUserConnection(window)) window.GetCPSTimer.setMode(Timer::kRepeating);
      return;
  }
}
