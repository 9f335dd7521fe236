#include "monitor/sampling.h"

#include <QString>
#include <optional>

#include "link/connection.h"
#include "link/protocol.h"
#include "window/telvar.h"

namespace {

constexpr int kCountAttempts = 3;
constexpr int kCountWaitMs = 100;

// Asks the counter for the count of the last second, up to three times. None when every
// attempt failed, or when the connection was not there or went during the attempts.
std::optional<qint32> askCount(TELVAR& window) {
  const std::optional<QByteArray> reply = AskOverUserConnection(
      window, {commandGETCPS(), kCountWaitMs, isCountReply}, kCountAttempts);
  if (!reply) return std::nullopt;
  return decodeCount(*reply);
}

// Gives the port back when a run ends, however it ends: the downloads wait for the flag to
// clear and the console needs its timer, so an error part-way, or the window killing the thread
// as it closes, must leave both as a finished run does.
class PortHandBack {
 public:
  explicit PortHandBack(TELVAR& window) : window_(window) {}
  ~PortHandBack() {
    window_.GetCPSThreadRunning = false;
    window_.SerialTimer.setMode(Timer::kRepeating);
  }
  PortHandBack(const PortHandBack&) = delete;
  PortHandBack& operator=(const PortHandBack&) = delete;

 private:
  TELVAR& window_;
};

}  // namespace

void WaitForRunningPoll(TELVAR& window) {
  while (window.GetCPS.isRunning()) window.platform.scheduler.yieldCurrentThread();
}

void TELVAR::GetCPS_Run() {
  SerialTimer.setMode(Timer::kOff);  // the console keeps off the port until the run is done
  const PortHandBack hand_back(*this);
  GetCPSThreadRunning = true;

  const qint64 count = askCount(*this).value_or(0);
  ShiftInNewestCount(CPS.data(), count, [this] { platform.scheduler.yieldCurrentThread(); });

  // Bytes that came after the reply would otherwise show in the console.
  if (HoldsUserConnection(*this)) UART.ReadAll();
}

void TELVAR::GetCPSTimer_Action() {
  // A history download owns the port while it runs; a Disconnect and a new Connect during it
  // set this timer repeating again, and its ticks then start nothing.
  if (download_started) return;
  if (GetCPSThreadRunning) return;
  GetCPS.Run();
}
