#include "history/record_decoder.h"

#include <gtest/gtest.h>

#include <QByteArray>
#include <QList>
#include <QString>
#include <ostream>
#include <vector>

namespace {

const QByteArray kHeader = "Time,CPS,CPM\n";

QByteArray fromHex(const char* spaced) {
  return QByteArray::fromHex(QByteArray(spaced).replace(' ', ""));
}

// Decodes through both entry points. The pointer form gets a heap block of exactly n bytes, so a
// read past the downloaded length is caught by the address sanitizer.
QByteArray decode(const QByteArray& bytes, qint64 n) {
  const std::vector<char> exact(bytes.constData(), bytes.constData() + n);
  const QByteArray viaPointer = DecodeHistory(exact.data(), n);
  const QByteArray viaArray = DecodeHistory(bytes, n);
  EXPECT_EQ(viaPointer, viaArray);
  return viaArray;
}

QByteArray decode(const QByteArray& bytes) { return decode(bytes, bytes.size()); }

QByteArray body(const QByteArray& text) {
  EXPECT_TRUE(text.startsWith(kHeader)) << text.constData();
  return text.mid(kHeader.size());
}

QByteArray countLine(int cps, int cpm) {
  return "," + QByteArray::number(cps) + "," + QByteArray::number(cpm) + "\n";
}

TEST(DecodeHistory, WorkedExampleLineByLine) {
  const QByteArray bytes = fromHex(
      "55 AA 00 13 05 1E 0C 22 38"
      " 03 05"
      " 55 AA 01 00 2A"
      " 04"
      " 55 AA 02 03 41 42 43"
      " 55 AA 05 00"
      " 02"
      " 55 AA 07 09"
      " 01"
      " FF FF");
  ASSERT_EQ(bytes.size(), 36);

  const QList<QByteArray> lines = decode(bytes).split('\n');

  const QList<QByteArray> expected = {
      "Time,CPS,CPM", "_2019/05/30 12:34:56,3,3", ",5,8", ",4,12", ",2,2", ",9,1,3", ""};
  EXPECT_EQ(lines, expected);
}

struct Case {
  const char* what;
  const char* bytes;  // hexadecimal
  const char* text;   // everything after the header line
};

void PrintTo(const Case& c, std::ostream* os) { *os << c.what; }

class DecodeHistoryCases : public ::testing::TestWithParam<Case> {};

TEST_P(DecodeHistoryCases, WritesTheExpectedText) {
  const Case& c = GetParam();
  EXPECT_EQ(body(decode(fromHex(c.bytes))), QByteArray(c.text)) << c.what;
}

const Case kCases[] = {
    {"nothing downloaded", "", ""},
    {"end of data first", "FF FF 03 04", ""},
    {"end of data after counts ends at once", "03 FF FF 04", ",3,3\n"},
    {"0x55 without 0xAA is a count", "55 07", ",85,85\n,7,92\n"},
    {"0xFF without 0xFF is a count", "FF 01", ",255,255\n,1,256\n"},
    {"0xAA 0x55 is two counts", "AA 55", ",170,170\n,85,255\n"},
    {"window reset starts the sum afresh", "03 05 55 AA 05 00 02", ",3,3\n,5,8\n,2,2\n"},
    {"window reset skips its byte unread", "07 55 AA 05 FF 04", ",7,7\n,4,4\n"},
    {"timestamp is nine bytes", "55 AA 00 13 05 1E 0C 22 38 03", "_2019/05/30 12:34:56,3,3\n"},
    {"timestamp bytes from 100 print three digits", "55 AA 00 64 01 02 03 04 05 01",
     "_20100/01/02 03:04:05,1,1\n"},
    {"end of data inside a timestamp is just two numbers", "55 AA 00 13 FF FF 00 00 00 02",
     "_2019/255/255 00:00:00,2,2\n"},
    {"two timestamps both stand before the next count",
     "55 AA 00 13 05 1E 0C 22 38 55 AA 00 13 05 1E 0C 22 39 03",
     "_2019/05/30 12:34:56_2019/05/30 12:34:57,3,3\n"},
    {"tagged value, then timestamp, then count share one line",
     "55 AA 07 09 55 AA 00 13 05 1E 0C 22 38 03", ",9_2019/05/30 12:34:56,3,3\n"},
    {"type 1 with its two bytes is five bytes", "55 AA 01 12 34 03", ",3,3\n"},
    {"type 1 before a marker is three bytes", "55 AA 01 55 AA 07 09 03", ",9,3,3\n"},
    {"type 1 followed by 0x55 is three bytes", "55 AA 01 55 07", ",85,85\n,7,92\n"},
    {"type 1 whose second byte is 0xAA is three bytes", "55 AA 01 12 AA", ",18,18\n,170,188\n"},
    {"type 2 with no bytes is four bytes", "55 AA 02 00 03", ",3,3\n"},
    {"type 2 hides what its bytes hold", "55 AA 02 03 FF FF 55 04", ",4,4\n"},
    {"type 3 is six bytes", "55 AA 03 FF FF 55 04", ",4,4\n"},
    {"type 4 is seven bytes", "55 AA 04 01 02 03 04 05", ",5,5\n"},
    {"types 1 to 4 leave the minute window alone", "03 55 AA 01 12 34 55 AA 03 01 02 03 04",
     ",3,3\n,4,7\n"},
    {"type 6 is the first tagged value", "55 AA 06 00 01", ",0,1,1\n"},
    {"type 255 is a tagged value", "55 AA FF 0C 01", ",12,1,1\n"},
    {"tagged values add one field each", "55 AA 07 09 55 AA 80 FF 01", ",9,255,1,1\n"},
    // The data runs out inside a record: the missing bytes are zeros.
    {"marker as the last two bytes is a zero timestamp", "03 55 AA", ",3,3\n_2000/00/00 00:00:00"},
    {"timestamp cut short", "55 AA 00 13 05", "_2019/05/00 00:00:00"},
    {"last byte 0xFF is a count", "03 FF", ",3,3\n,255,258\n"},
    {"last byte 0x55 is a count", "55", ",85,85\n"},
    {"tagged value cut short is zero", "55 AA 07", ",0"},
    {"type 1 cut short after its type", "03 55 AA 01", ",3,3\n"},
    {"type 1 cut short after 0x55 leaves the 0x55 a count", "03 55 AA 01 55", ",3,3\n,85,88\n"},
    {"type 2 longer than the data writes nothing", "03 55 AA 02 10 01 02", ",3,3\n"},
    {"type 5 cut short still resets", "55 AA 05", ""},
};

INSTANTIATE_TEST_SUITE_P(Records, DecodeHistoryCases, ::testing::ValuesIn(kCases));

TEST(DecodeHistory, SixtyOneCountsOfOneFillTheMinuteThenHoldAtSixty) {
  const QList<QByteArray> lines = body(decode(QByteArray(61, '\x01'))).split('\n');
  ASSERT_EQ(lines.size(), 62);
  for (int i = 0; i < 60; ++i) EXPECT_EQ(lines[i], ",1," + QByteArray::number(i + 1)) << i;
  EXPECT_EQ(lines[60], ",1,60");
  EXPECT_EQ(lines[61], "");
}

TEST(DecodeHistory, MinuteSumDropsTheOldestCountFirst) {
  // Distinct counts make every slot's place in the sum visible, across a reset too.
  QByteArray bytes;
  for (int i = 1; i <= 130; ++i) {
    bytes.append(char(i));
    if (i == 100) bytes.append(fromHex("55 AA 05 00"));
  }

  QByteArray expected;
  QList<int> window;
  for (int i = 1; i <= 130; ++i) {
    window.append(i);
    if (window.size() > 60) window.removeFirst();
    int sum = 0;
    for (int v : window) sum += v;
    expected += countLine(i, sum);
    if (i == 100) window.clear();
  }
  EXPECT_EQ(body(decode(bytes)), expected);
}

TEST(DecodeHistory, BytesFromTheLengthOnAreZeroEvenWhenPresent) {
  // The reader's buffer is longer than what was downloaded; only the first n bytes count.
  EXPECT_EQ(body(decode(fromHex("03 04 05"), 2)), ",3,3\n,4,7\n");
  EXPECT_EQ(body(decode(fromHex("55 AA 00 13 05 1E 0C 22 38"), 4)), "_2019/00/00 00:00:00");
  EXPECT_EQ(body(decode(fromHex("55 AA 07 09"), 3)), ",0");
  EXPECT_EQ(body(decode(fromHex("55 AA 01 12 34 03"), 4)), "");
  EXPECT_EQ(body(decode(fromHex("FF FF"), 1)), ",255,255\n");
}

TEST(DecodeHistory, LengthBeyondTheArrayDecodesOnlyWhatIsThere) {
  EXPECT_EQ(DecodeHistory(fromHex("03"), 4096), kHeader + ",3,3\n");
  EXPECT_EQ(DecodeHistory(fromHex("03"), -1), kHeader);
  EXPECT_EQ(DecodeHistory(nullptr, 10), kHeader);
}

TEST(DecodeHistory, FullMemoryOfLargeCountsDecodesWhole) {
  // The longest text per byte: every line ",255,<five digits>" once the window is full.
  const qint64 n = 1 << 20;
  QByteArray memory(n + 1, '\0');
  memory.fill('\xFE', n);
  const QByteArray text = DecodeHistory(memory, n);
  EXPECT_EQ(text.count('\n'), n + 1);
  EXPECT_TRUE(text.endsWith(",254,15240\n"));
}

TEST(DecodeHistory, RecordRunningPastAFullMemoryReadsNothingBeyondIt) {
  const qint64 n = 1 << 20;
  std::vector<char> memory(n, '\x01');
  memory[n - 3] = '\x55';
  memory[n - 2] = '\xAA';
  memory[n - 1] = '\x00';
  const QByteArray text = DecodeHistory(memory.data(), n);
  EXPECT_TRUE(text.endsWith(",1,60\n_2000/00/00 00:00:00")) << text.right(40).constData();
}

}  // namespace
