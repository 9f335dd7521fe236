#include "monitor/sampling.h"

#include <QString>
#include <optional>

#include "link/connection.h"
#include "link/port_hand_over.h"
#include "link/protocol.h"
#include "window/telvar.h"

namespace {

constexpr int kCountAttempts = 3;
constexpr int kCountWaitMs = 100;

// Asks the counter for the count of the last second, up to three times. None when every
// attempt failed, or when the connection was not there or went during the attempts.
std::optional<qint32> askCount(TELVAR& window) {
  const std::optional<QByteArray> reply =
      AskOverUserConnection(window, {commandGETCPS(), kCountWaitMs, isCountReply}, kCountAttempts);
  if (!reply) return std::nullopt;
  return decodeCount(*reply);
}

// Takes the port for a run and gives it back when the run ends, however it ends: the downloads wait
// for the run to end and the console needs its timer, so an error part-way, or the window killing
// the thread as it closes, must leave both as a finished run does.
class PortHeldForTheRun {
 public:
  explicit PortHeldForTheRun(TELVAR& window) : window_(window) {
    TakePort(window_, PortUser::CountRatePoll);
  }
  ~PortHeldForTheRun() { GivePortBack(window_, PortUser::CountRatePoll); }
  PortHeldForTheRun(const PortHeldForTheRun&) = delete;
  PortHeldForTheRun& operator=(const PortHeldForTheRun&) = delete;

 private:
  TELVAR& window_;
};

}  // namespace

void TELVAR::GetCPS_Run() {
  const PortHeldForTheRun port(*this);

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
