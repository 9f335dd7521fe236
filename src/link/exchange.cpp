#include "link/exchange.h"

#include <algorithm>
#include <unordered_map>
#include <utility>

#include "platform/scheduler.h"
#include "platform/serial.h"

namespace {

// How often a settling line is read to see whether anything still comes: no less often than the
// shortest silence it may be asked for.
constexpr int kSettleStepMs = kSettleQuietMs;

// The line's state belongs to the connection: a new connection starts clean. Connections are
// numbered afresh for the whole process, so a record left by a serial object that is gone can
// never pass to one made later at the same address. All of it lives on the user-interface
// thread, as the workers do.
struct LineRecord {
  quint64 connection = 0;
  LineState state;
  QByteArray for_console;
};

std::unordered_map<const Serial*, LineRecord>& records() {
  static std::unordered_map<const Serial*, LineRecord> all;
  return all;
}

LineRecord& recordOf(const Serial& uart) {
  LineRecord& record = records()[&uart];
  if (record.connection != uart.connection()) {
    record = LineRecord();
    record.connection = uart.connection();
  }
  return record;
}

qint64 nowMs(Scheduler& scheduler) { return scheduler.nowUs() / 1000; }

bool stillConnected(const Serial& uart, quint64 connection) {
  return connection != 0 && uart.connection() == connection;
}

QByteArray readTimes(Serial& uart, int reads) {
  QByteArray got;
  for (int read = 0; read < reads; ++read) got.append(uart.ReadAll());
  return got;
}

struct Settling {
  Settled settled;
  bool given_up = false;  // the connection went, or the question is no longer wanted
};

// Drops input until nothing has come for the silence asked for, or the limit has passed.
Settling settleLine(Serial& uart, Scheduler& scheduler, quint64 connection,
                    const Preparation& preparation, const Question& question) {
  Settling settling{{uart.ReadAll().size(), false}};
  Settled& settled = settling.settled;
  const qint64 start = nowMs(scheduler);
  qint64 last_heard = start;
  for (;;) {
    const qint64 now = nowMs(scheduler);
    const bool due_came =
        preparation.quiet_once_come_ms > 0 && settled.dropped >= preparation.bytes_due;
    const int quiet_ms = due_came ? preparation.quiet_once_come_ms : preparation.quiet_ms;
    if (now - last_heard >= quiet_ms) {
      settled.silent = true;
      return settling;
    }
    if (now - start >= preparation.limit_ms) return settling;
    settling.given_up = question.still_wanted && !question.still_wanted();
    if (settling.given_up) return settling;
    const qint64 step = std::min<qint64>(
        {kSettleStepMs, quiet_ms - (now - last_heard), preparation.limit_ms - (now - start)});
    scheduler.sleepCurrentThread(int(step));
    settling.given_up = !stillConnected(uart, connection);
    if (settling.given_up) return settling;
    if (const qsizetype came = uart.ReadAll().size(); came > 0) {
      settled.dropped += came;
      last_heard = nowMs(scheduler);
    }
  }
}

struct Reading {
  QByteArray reply;
  bool still_arriving = false;
};

// Sleeps the wait and reads what came, reading on while bytes keep coming at its end. None when
// the connection went meanwhile.
std::optional<Reading> readReply(Serial& uart, Scheduler& scheduler, quint64 connection,
                                 const Question& question) {
  const int tail_ms = question.wait_ms > kQuietTailMs ? kQuietTailMs : 0;
  scheduler.sleepCurrentThread(question.wait_ms - tail_ms);
  if (!stillConnected(uart, connection)) return std::nullopt;
  Reading reading{readTimes(uart, question.reads)};
  if (tail_ms == 0) return reading;
  for (int read_on_ms = 0;; read_on_ms += kQuietTailMs) {
    scheduler.sleepCurrentThread(kQuietTailMs);
    if (!stillConnected(uart, connection)) return std::nullopt;
    const QByteArray more = readTimes(uart, question.reads);
    reading.reply.append(more);
    if (more.isEmpty()) return reading;
    if (read_on_ms >= kReadOnLimitMs) {
      reading.still_arriving = true;
      return reading;
    }
  }
}

}  // namespace

std::optional<QByteArray> exchange(Serial& uart, Scheduler& scheduler, const Question& question) {
  const quint64 connection = uart.connection();
  if (connection == 0) {
    scheduler.sleepCurrentThread(question.wait_ms);
    return std::nullopt;
  }
  // Held across the sleeps below: a new connection would reset it in place, so after each sleep
  // nothing is written to it unless the connection is still the one it was taken for.
  LineRecord& line = recordOf(uart);
  const Preparation preparation = prepareLine(line.state, question, nowMs(scheduler));
  switch (preparation.step) {
    case Preparation::Step::HandToConsole: line.for_console.append(uart.ReadAll()); break;
    case Preparation::Step::Drop: uart.ReadAll(); break;
    case Preparation::Step::Settle: {
      const Settling settling = settleLine(uart, scheduler, connection, preparation, question);
      if (!stillConnected(uart, connection)) return std::nullopt;
      if (settling.given_up) {
        line.state = afterDrain(line.state, settling.settled.dropped);
        return std::nullopt;
      }
      line.state = afterSettle(line.state, preparation, settling.settled);
      break;
    }
  }

  const LineState written_on = line.state;
  line.state = awaitingReply(written_on, question, nowMs(scheduler));
  uart.Write(question.command);
  const std::optional<Reading> reading = readReply(uart, scheduler, connection, question);
  if (!reading) return std::nullopt;

  const bool taken =
      !reading->still_arriving && (!question.passes || question.passes(reading->reply));
  line.state =
      afterExchange(written_on, preparation.step, question,
                    {taken, reading->reply.size(), reading->still_arriving}, nowMs(scheduler));
  if (!taken) return std::nullopt;
  return reading->reply;
}

QByteArray takeConsoleInput(const Serial& uart) {
  if (uart.connection() == 0) return {};
  return std::exchange(recordOf(uart).for_console, QByteArray());
}

void dropPendingInput(Serial& uart) {
  uart.ReadAll();
  if (uart.connection() != 0) recordOf(uart).for_console.clear();
}

void drainStoppedExchange(Serial& uart, Scheduler& scheduler) {
  if (uart.connection() == 0) {
    uart.ReadAll();
    return;
  }
  LineRecord& line = recordOf(uart);
  const QByteArray pending = uart.ReadAll();
  if (pendingIsTheConsoles(line.state, nowMs(scheduler)))
    line.for_console.append(pending);
  else
    line.state = afterDrain(line.state, pending.size());
}

LineState lineStateOf(const Serial& uart) {
  const auto found = records().find(&uart);
  if (found == records().end() || found->second.connection != uart.connection()) return {};
  return found->second.state;
}
