#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QtGlobal>
#include <optional>

// The counter's wire format. A command is "<", the command word in capitals, its argument bytes,
// then ">>": no line end, no length, no checksum. Replies carry no marker or length of their own;
// a reply is whatever arrives during the wait after its command, judged by its content (version)
// or its exact length (all others), the screen-image replies also by their end byte.

// Reply sizes and the marker that ends both screen-image replies.
constexpr qsizetype kCountReplyBytes = 4;
constexpr qsizetype kHistoryPageBytes = 4096;
constexpr qsizetype kHistoryMemoryBytes = 1048576;
constexpr qsizetype kTimestampBytes = 6;
constexpr qsizetype kTimestampReplyBytes = kTimestampBytes + 1;
constexpr qsizetype kPictureBytes = 1024;
constexpr qsizetype kPictureReplyBytes = kPictureBytes + 1;
constexpr char kReplyEnd = char(0xAA);

// The screen images the counter stores are numbered from 1.
constexpr int kFirstScreenImage = 1;
constexpr int kLastScreenImage = 4;

// The picture query reads twice: a reply that long may straddle the end of the first read.
constexpr int kPictureReads = 2;

// Commands, byte for byte.
QByteArray frameCommand(QByteArrayView word, QByteArrayView arguments = {});
QByteArray commandGETVER();
QByteArray commandGETCPS();
// The history memory from a byte address (24 bits, most significant byte first) for a length
// (16 bits, most significant byte first).
QByteArray commandSPIR(quint32 address, quint16 length = quint16(kHistoryPageBytes));
// Timestamp and picture of stored screen image 1 to 4, the number sent as its decimal digit.
QByteArray commandGETSSN(int image);
QByteArray commandGETSS(int image);
QByteArray commandGETSERIAL();
QByteArray commandDSID();
QByteArray commandFACTORYRESET();
QByteArray commandREBOOT();

// Reply rules.
// A counter answers the version query with a text holding one of its two family words.
bool isCounterVersion(QByteArrayView reply);
bool isCountReply(QByteArrayView reply);
bool isHistoryPageReply(QByteArrayView reply);
bool isTimestampReply(QByteArrayView reply);
bool isPictureReply(QByteArrayView reply);

// The count of the last second: signed 32 bits, most significant byte first. Needs four bytes.
std::optional<qint32> decodeCount(QByteArrayView reply);

// The counter's six-byte timestamp; each byte holds its number directly.
struct CounterTimestamp {
  static constexpr int kCentury = 2000;
  int year = 0;  // kCentury + the year within the century
  int month = 0;
  int day = 0;
  int hour = 0;
  int minute = 0;
  int second = 0;
  bool operator==(const CounterTimestamp&) const = default;
  // The number of the year's byte, as file names and the history text write it.
  int yearInCentury() const { return year - kCentury; }
};
// The timestamp in the first six bytes, a byte missing from them read as 0: a record cut off by
// the end of the history memory still has its time, and so has a file name.
CounterTimestamp decodeCounterTimestamp(QByteArrayView bytes);

// A timestamp reply whose year byte is below 19 or 0xFF says that the counter holds no such image.
bool timestampMarksNoImage(QByteArrayView reply);
