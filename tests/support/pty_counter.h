#pragma once

#include <QString>
#include <atomic>
#include <deque>
#include <mutex>
#include <thread>
#include <utility>
#include <vector>

#include "support/pty.h"
#include "support/sim_counter.h"

// The simulated counter at the far end of a real pseudo-terminal, in real time: a thread reads
// what the program writes to the slave, feeds the model and writes its replies to the master no
// faster than the wire rate, so the program's real serial path sees a counter's timing. Times in
// the model's log are microseconds since the PtyCounter was made. Faults that concern the port
// itself (Vanish, setOpenFails, goAway) have no effect here.
class PtyCounter {
 public:
  PtyCounter();
  ~PtyCounter();
  PtyCounter(const PtyCounter&) = delete;
  PtyCounter& operator=(const PtyCounter&) = delete;

  bool valid() const { return pty_.valid(); }
  // The path the program opens as its serial port.
  const QString& portPath() const { return pty_.slavePath(); }

  // Runs fn on the model while the serving thread keeps off it: set it up, add faults, read it.
  template <typename Fn>
  auto withCounter(Fn&& fn) {
    std::lock_guard lock(mutex_);
    return std::forward<Fn>(fn)(counter_);
  }
  std::vector<SimCounter::Received> log();

  qint64 nowUs() const;

 private:
  void serve();
  void readInput();
  void writeDueBytes();
  qint64 nextWriteUs() const;

  PseudoTerminal pty_;
  SimCounter counter_;
  std::mutex mutex_;
  std::atomic<bool> stop_{false};
  qint64 epoch_ns_ = 0;
  // Only the serving thread touches what follows.
  std::deque<SimDelivery> outgoing_;
  qsizetype sent_of_front_ = 0;
  qint64 front_start_us_ = 0;
  qint64 line_free_us_ = 0;
  std::thread thread_;
};
