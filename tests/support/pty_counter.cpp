#include "support/pty_counter.h"

#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>

namespace {

qint64 steadyNs() {
  return std::chrono::duration_cast<std::chrono::nanoseconds>(
             std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

// Longest the thread sleeps without looking at the line, so it notices input and a stop quickly.
constexpr qint64 kIdlePollUs = 2000;

}  // namespace

PtyCounter::PtyCounter() : epoch_ns_(steadyNs()) {
  if (pty_.valid()) thread_ = std::thread([this] { serve(); });
}

PtyCounter::~PtyCounter() {
  stop_ = true;
  if (thread_.joinable()) thread_.join();
}

qint64 PtyCounter::nowUs() const { return (steadyNs() - epoch_ns_) / 1000; }

std::vector<SimCounter::Received> PtyCounter::log() {
  return withCounter([](SimCounter& counter) { return counter.log(); });
}

void PtyCounter::serve() {
  while (!stop_) {
    readInput();
    writeDueBytes();
    const qint64 wait_us = std::clamp<qint64>(nextWriteUs() - nowUs(), 0, kIdlePollUs);
    pollfd p{pty_.masterFd(), POLLIN, 0};
    const timespec timeout{0, long(wait_us * 1000)};
    ::ppoll(&p, 1, &timeout, nullptr);
  }
}

void PtyCounter::readInput() {
  for (;;) {
    char buffer[4096];
    const ssize_t n = ::read(pty_.masterFd(), buffer, sizeof buffer);
    if (n <= 0) return;
    const qint64 at = nowUs();
    std::lock_guard lock(mutex_);
    for (SimDelivery& delivery : counter_.take(QByteArray(buffer, n), at))
      outgoing_.push_back(std::move(delivery));
    counter_.takeVanishRequest();
  }
}

qint64 PtyCounter::nextWriteUs() const {
  if (outgoing_.empty()) return nowUs() + kIdlePollUs;
  if (sent_of_front_ == 0) return std::max(outgoing_.front().start_us, line_free_us_);
  return front_start_us_ + wireTimeUs(sent_of_front_ + 1);
}

// A byte goes out only once the line would have carried it: byte i of a delivery that starts at
// s is due at s + (i + 1) bytes of wire time, and a delivery starts no earlier than the line is
// free of the one before.
void PtyCounter::writeDueBytes() {
  while (!outgoing_.empty()) {
    const SimDelivery& front = outgoing_.front();
    if (sent_of_front_ == 0) front_start_us_ = std::max(front.start_us, line_free_us_);
    const qint64 elapsed = nowUs() - front_start_us_;
    const qsizetype due =
        std::min<qsizetype>(front.bytes.size(), elapsed * kWireBaud / (kWireBitsPerByte * 1000000));
    if (due > sent_of_front_) {
      const ssize_t n = ::write(pty_.masterFd(), front.bytes.constData() + sent_of_front_,
                                size_t(due - sent_of_front_));
      if (n < 0 && errno != EAGAIN && errno != EINTR) return;
      if (n > 0) sent_of_front_ += n;
    }
    if (sent_of_front_ < front.bytes.size()) return;
    line_free_us_ = front_start_us_ + wireTimeUs(front.bytes.size());
    outgoing_.pop_front();
    sent_of_front_ = 0;
  }
}
