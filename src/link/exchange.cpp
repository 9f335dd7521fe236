#include "link/exchange.h"

#include <algorithm>
#include <unordered_map>
#include <utility>

#include "platform/scheduler.h"
#include "platform/serial.h"

namespace {

// How often a settling line is read to see whether anything still comes.
constexpr int kSettleStepMs = 50;

// The line's state belongs to the connection: a new connection starts clean. Connections are
// numbered afresh for the whole process, so a record can never pass to a serial object made
// later at the same address.
struct LineRecord {
  quint64 connection = 0;
  LineState state;
  QByteArray for_console;
};

LineRecord& recordOf(const Serial& uart) {
  static std::unordered_map<const Serial*, LineRecord> records;
  LineRecord& record = records[&uart];
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

// Drops input until nothing has come for the silence asked for, or the limit has passed. None
// when the connection went meanwhile or the question is no longer wanted.
std::optional<Settled> settleLine(Serial& uart, Scheduler& scheduler, quint64 connection,
                                  const Preparation& preparation, const Question& question) {
  Settled settled{uart.ReadAll().size(), false, preparation.quiet_ms};
  const qint64 start = nowMs(scheduler);
  qint64 last_heard = start;
  for (;;) {
    const qint64 now = nowMs(scheduler);
    if (now - last_heard >= preparation.quiet_ms) {
      settled.silent = true;
      return settled;
    }
    if (now - start >= preparation.limit_ms) return settled;
    if (question.still_wanted && !question.still_wanted()) return std::nullopt;
    const qint64 step = std::min<qint64>({kSettleStepMs, preparation.quiet_ms - (now - last_heard),
                                          preparation.limit_ms - (now - start)});
    scheduler.sleepCurrentThread(int(step));
    if (!stillConnected(uart, connection)) return std::nullopt;
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
  LineRecord& line = recordOf(uart);
  const Asked asked{question.command, question.passes, question.wait_ms};
  const Preparation preparation = prepareLine(line.state, asked, nowMs(scheduler));
  switch (preparation.step) {
    case Preparation::Step::HandToConsole:
      line.for_console.append(uart.ReadAll());
      break;
    case Preparation::Step::Drop:
      uart.ReadAll();
      break;
    case Preparation::Step::Settle: {
      const std::optional<Settled> settled =
          settleLine(uart, scheduler, connection, preparation, question);
      if (!settled) return std::nullopt;
      line.state = afterSettle(line.state, *settled);
      break;
    }
  }

  const LineState written_on = line.state;
  line.state = awaitingReply(written_on, asked, nowMs(scheduler));
  uart.Write(question.command);
  const std::optional<Reading> reading = readReply(uart, scheduler, connection, question);
  if (!reading) return std::nullopt;

  const bool taken =
      !reading->still_arriving && (!question.passes || question.passes(reading->reply));
  line.state = afterExchange(written_on, preparation.step, asked,
                             {taken, reading->reply.size(), reading->still_arriving},
                             nowMs(scheduler));
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

LineState lineStateOf(const Serial& uart) { return recordOf(uart).state; }
