#include "platform/clock.h"

#include <chrono>
#include <thread>

qint64 SteadyClock::nowUs() const {
  using namespace std::chrono;
  return duration_cast<microseconds>(steady_clock::now().time_since_epoch()).count();
}

QDateTime SteadyClock::localDateTime() const { return QDateTime::currentDateTime(); }

void SteadyClock::waitUntil(qint64 us) {
  const qint64 delay = us - nowUs();
  if (delay > 0) std::this_thread::sleep_for(std::chrono::microseconds(delay));
}
