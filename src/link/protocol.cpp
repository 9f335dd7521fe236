#include "link/protocol.h"

#include "platform/scheduler.h"
#include "platform/serial.h"

#include <algorithm>

namespace {

constexpr char kCommandStart = '<';
constexpr char kCommandEnd[] = ">>";
constexpr quint8 kFirstImageYear = 19;
constexpr quint8 kErasedByte = 0xFF;

quint8 byteAt(QByteArrayView bytes, qsizetype index) { return quint8(bytes[index]); }

bool endsWithReplyEnd(QByteArrayView reply) {
  return !reply.isEmpty() && reply.back() == kReplyEnd;
}

}  // namespace

QByteArray frameCommand(QByteArrayView word, QByteArrayView arguments) {
  QByteArray command;
  command.reserve(1 + word.size() + arguments.size() + 2);
  command.append(kCommandStart);
  command.append(word);
  command.append(arguments);
  command.append(kCommandEnd);
  return command;
}

QByteArray commandGETVER() { return frameCommand("GETVER"); }
QByteArray commandGETCPS() { return frameCommand("GETCPS"); }

QByteArray commandSPIR(quint32 address, quint16 length) {
  const char arguments[] = {char((address >> 16) & 0xFF), char((address >> 8) & 0xFF),
                            char(address & 0xFF), char((length >> 8) & 0xFF), char(length & 0xFF)};
  return frameCommand("SPIR", QByteArrayView(arguments, sizeof arguments));
}

QByteArray commandGETSSN(int image) { return frameCommand("GETSSN", QByteArray::number(image)); }
QByteArray commandGETSS(int image) { return frameCommand("GETSS", QByteArray::number(image)); }
QByteArray commandGETSERIAL() { return frameCommand("GETSERIAL"); }
QByteArray commandDSID() { return frameCommand("DSID"); }
QByteArray commandFACTORYRESET() { return frameCommand("FACTORYRESET"); }
QByteArray commandREBOOT() { return frameCommand("REBOOT"); }

bool isCounterVersion(QByteArrayView reply) {
  return reply.contains(QByteArrayView("ZUR")) || reply.contains(QByteArrayView("KAV"));
}

bool isCountReply(QByteArrayView reply) { return reply.size() == kCountReplyBytes; }
bool isHistoryPageReply(QByteArrayView reply) { return reply.size() == kHistoryPageBytes; }

bool isTimestampReply(QByteArrayView reply) {
  return reply.size() == kTimestampReplyBytes && endsWithReplyEnd(reply);
}

bool isPictureReply(QByteArrayView reply) {
  return reply.size() == kPictureReplyBytes && endsWithReplyEnd(reply);
}

std::optional<qint32> decodeCount(QByteArrayView reply) {
  if (reply.size() < kCountReplyBytes) return std::nullopt;
  const quint32 bits = quint32(byteAt(reply, 0)) << 24 | quint32(byteAt(reply, 1)) << 16 |
                       quint32(byteAt(reply, 2)) << 8 | quint32(byteAt(reply, 3));
  return qint32(bits);
}

std::optional<CounterTimestamp> decodeCounterTimestamp(QByteArrayView bytes) {
  if (bytes.size() < kTimestampBytes) return std::nullopt;
  return decodeCounterTimestampPadded(bytes);
}

CounterTimestamp decodeCounterTimestampPadded(QByteArrayView bytes) {
  const auto at = [bytes](qsizetype index) {
    return index < bytes.size() ? int(byteAt(bytes, index)) : 0;
  };
  return CounterTimestamp{CounterTimestamp::kCentury + at(0), at(1), at(2), at(3), at(4), at(5)};
}

bool timestampMarksNoImage(QByteArrayView reply) {
  if (reply.isEmpty()) return true;
  const quint8 year = byteAt(reply, 0);
  return year < kFirstImageYear || year == kErasedByte;
}

namespace {

bool stillConnected(const Serial& uart, quint64 connection) {
  return connection != 0 && uart.connection() == connection;
}

QByteArray readTimes(Serial& uart, int reads) {
  QByteArray got;
  for (int read = 0; read < reads; ++read) got.append(uart.ReadAll());
  return got;
}

struct Dropped {
  qsizetype bytes = 0;
  bool silent = false;  // the line was silent for a whole period at the end
};

// Reads and drops until nothing has come for quiet_ms (or kSettleRounds such periods have gone
// by). None when the connection went meanwhile.
std::optional<Dropped> dropUntilQuiet(Serial& uart, Scheduler& scheduler, quint64 connection,
                                      int quiet_ms) {
  Dropped dropped{uart.ReadAll().size()};
  for (int round = 0; round < kSettleRounds && !dropped.silent; ++round) {
    scheduler.sleepCurrentThread(quiet_ms);
    if (!stillConnected(uart, connection)) return std::nullopt;
    const qsizetype came = uart.ReadAll().size();
    dropped.bytes += came;
    dropped.silent = came == 0;
  }
  return dropped;
}

// How long the line must be silent before this command goes out, given what is owed.
int settleQuietMs(const Serial::Unanswered& owed, const QByteArray& command, int wait_ms,
                  bool (*passes)(QByteArrayView)) {
  const bool owed_could_pass = passes && owed.passes == passes && owed.command != command;
  return owed_could_pass ? kOwedReplyQuietMs : std::max(kSettleQuietMs, wait_ms);
}

qsizetype lessBy(qsizetype due, qsizetype came) { return std::max<qsizetype>(0, due - came); }

// Drops input until the line has been silent long enough that nothing of the replies owed can be
// taken for this command's; the bytes of pages asked for that may still come. None when the
// connection went meanwhile.
std::optional<qsizetype> settle(Serial& uart, Scheduler& scheduler, quint64 connection,
                                const QByteArray& command, int wait_ms,
                                bool (*passes)(QByteArrayView)) {
  const Serial::Unanswered owed = *uart.unanswered();
  int quiet_ms = settleQuietMs(owed, command, wait_ms, passes);
  std::optional<Dropped> dropped = dropUntilQuiet(uart, scheduler, connection, quiet_ms);
  if (!dropped) return std::nullopt;
  qsizetype due = lessBy(owed.reply_bytes_due, dropped->bytes);
  if (due > 0 && quiet_ms < kOwedReplyQuietMs) {
    quiet_ms = kOwedReplyQuietMs;
    dropped = dropUntilQuiet(uart, scheduler, connection, quiet_ms);
    if (!dropped) return std::nullopt;
    due = lessBy(due, dropped->bytes);
  }
  // What has not come after that long a silence is not coming: the reply was cut short.
  if (quiet_ms >= kOwedReplyQuietMs && dropped->silent) due = 0;
  return due;
}

}  // namespace

std::optional<QByteArray> exchange(Serial& uart, Scheduler& scheduler, const QByteArray& command,
                                   int wait_ms, int reads, bool (*passes)(QByteArrayView)) {
  const quint64 connection = uart.connection();
  if (connection == 0) {
    scheduler.sleepCurrentThread(wait_ms);
    return std::nullopt;
  }
  // After an exchange that took nothing, the counter may still be sending, or have yet to send,
  // the reply it was given a wait for: the line must stay silent for as long before this command
  // goes out, or that reply would be taken, whole or in part, as this one's.
  const bool settling = uart.unanswered().has_value();
  qsizetype reply_bytes_due = 0;
  if (settling) {
    const std::optional<qsizetype> due =
        settle(uart, scheduler, connection, command, wait_ms, passes);
    if (!due) return std::nullopt;
    reply_bytes_due = *due;
  } else {
    uart.ReadAll();  // leftovers of an earlier reply, or anything the counter sent unasked
  }
  uart.Write(command);
  // Of the replies whose length is known, only a page is long enough to stop part-way and go on.
  if (passes == isHistoryPageReply) reply_bytes_due += kHistoryPageBytes;

  const int tail_ms = wait_ms > kQuietTailMs ? kQuietTailMs : 0;
  scheduler.sleepCurrentThread(wait_ms - tail_ms);
  if (!stillConnected(uart, connection)) return std::nullopt;
  QByteArray reply = readTimes(uart, reads);
  bool quiet_at_end = true;
  if (tail_ms > 0) {
    scheduler.sleepCurrentThread(tail_ms);
    if (!stillConnected(uart, connection)) return std::nullopt;
    const QByteArray tail = readTimes(uart, reads);
    quiet_at_end = tail.isEmpty();
    reply.append(tail);
  }

  const bool taken = quiet_at_end && (!passes || passes(reply));
  reply_bytes_due = lessBy(reply_bytes_due, reply.size());
  // A reply taken after failed attempts may have been an earlier attempt's, its own still to
  // come: the next exchange lets the line settle too.
  if (!taken || settling)
    uart.setUnanswered(Serial::Unanswered{command, passes, reply_bytes_due});
  else
    uart.setUnanswered(std::nullopt);
  if (!taken) return std::nullopt;
  return reply;
}
