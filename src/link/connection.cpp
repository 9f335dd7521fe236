#include "link/connection.h"

#include "link/protocol.h"
#include "window/telvar.h"

bool HoldsUserConnection(const TELVAR& window) {
  return window.ConnectButton.text() == kDisconnectCaption;
}

std::optional<QByteArray> AskOverUserConnection(TELVAR& window, const Question& question,
                                                int attempts) {
  Scheduler& scheduler = window.platform.scheduler;
  for (int attempt = 0; attempt < attempts; ++attempt) {
    if (attempt > 0 && scheduler.currentThread()) scheduler.yieldCurrentThread();
    if (!HoldsUserConnection(window)) return std::nullopt;
    // The exchange compares the connection itself: a Disconnect and a new Connect during the
    // wait leave the caption as it was, but not the connection.
    if (std::optional<QByteArray> reply = exchange(window.UART, scheduler, question)) return reply;
  }
  return std::nullopt;
}
