#include "link/protocol.h"

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

CounterTimestamp decodeCounterTimestamp(QByteArrayView bytes) {
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
