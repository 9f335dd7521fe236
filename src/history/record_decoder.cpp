#include "history/record_decoder.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <vector>

#include "link/protocol.h"

namespace {

constexpr quint8 kMarkerFirst = 0x55;
constexpr quint8 kMarkerSecond = 0xAA;
constexpr quint8 kEnd = 0xFF;

constexpr quint8 kTimestampType = 0;
constexpr quint8 kPairType = 1;
constexpr quint8 kBlockType = 2;
constexpr quint8 kThreeByteType = 3;
constexpr quint8 kFourByteType = 4;
constexpr quint8 kWindowResetType = 5;

constexpr char kHeader[] = "Time,CPS,CPM\n";

// The longest text one record can add: a timestamp, "_20" and six three-digit numbers with
// their five separators.
constexpr qsizetype kLongestRecordText = 3 + 6 * 3 + 5;

constexpr int kWindowSlots = 60;
constexpr int kLargestSum = kWindowSlots * 255;

// A count line is a copy of two spellings made once, ",<count>," and "<sum>\n", each moved as a
// fixed eight bytes: a million lines then cost no digit arithmetic and no unpredictable branches.
struct Spelling {
  char text[8];
  qsizetype length;
};

Spelling spell(const char* before, int value, const char* after) {
  Spelling spelling{};
  const QByteArray text = before + QByteArray::number(value) + after;
  std::memcpy(spelling.text, text.constData(), static_cast<size_t>(text.size()));
  spelling.length = text.size();
  return spelling;
}

struct CountLineSpellings {
  CountLineSpellings() : sums(kLargestSum + 1) {
    for (int v = 0; v < 256; ++v) counts[v] = spell(",", v, ",");
    for (int s = 0; s <= kLargestSum; ++s) sums[s] = spell("", s, "\n");
  }
  std::array<Spelling, 256> counts;
  std::vector<Spelling> sums;
};

const CountLineSpellings& countLineSpellings() {
  static const CountLineSpellings spellings;
  return spellings;
}

// Lays the text down through a raw pointer into a buffer that is sized up front and grown only
// when a record might not fit, so a 1 MiB history costs one pass and no per-character calls.
class TextBuffer {
 public:
  explicit TextBuffer(qint64 inputLength) {
    // A count line is at most ",255,15300\n": eleven characters for one input byte, so a history
    // of counts never grows the buffer. Timestamps can need more; room() grows it then.
    const qint64 estimate = sizeof(kHeader) + 11 * std::min<qint64>(inputLength, 1 << 21) + 64;
    text_.resize(static_cast<qsizetype>(estimate));
    at_ = text_.data();
  }

  // Makes sure the next record's text fits, with the slack of a spelling's fixed eight bytes.
  void room() {
    if (text_.size() - used() < kLongestRecordText + 8) grow();
  }

  void put(char c) { *at_++ = c; }

  void put(const char* s, qsizetype length) {
    std::memcpy(at_, s, static_cast<size_t>(length));
    at_ += length;
  }

  void countLine(int count, int sum) {
    putSpelling(spellings_.counts[count]);
    putSpelling(spellings_.sums[sum]);
  }

  // 0 to 255 without leading zeros.
  void number(int value) {
    char digits[8];
    char* end = digits + sizeof(digits);
    char* first = end;
    do {
      *--first = static_cast<char>('0' + value % 10);
      value /= 10;
    } while (value != 0);
    put(first, end - first);
  }

  // 0 to 255 with at least two digits.
  void twoDigitsAtLeast(int value) {
    if (value >= 100) put(static_cast<char>('0' + value / 100));
    put(static_cast<char>('0' + value / 10 % 10));
    put(static_cast<char>('0' + value % 10));
  }

  QByteArray take() {
    text_.resize(used());
    return std::move(text_);
  }

 private:
  qsizetype used() const { return at_ - text_.constData(); }

  void putSpelling(const Spelling& spelling) {
    std::memcpy(at_, spelling.text, sizeof(spelling.text));
    at_ += spelling.length;
  }

  void grow() {
    const qsizetype keep = used();
    text_.resize(text_.size() * 2 + kLongestRecordText);
    at_ = text_.data() + keep;
  }

  const CountLineSpellings& spellings_ = countLineSpellings();
  QByteArray text_;
  char* at_ = nullptr;
};

// The sum of the last 60 counts. A ring with a running total gives the same sums as shifting
// 60 slots and adding them up again for every count, at a fraction of the cost.
class MinuteWindow {
 public:
  int add(int count) {
    sum_ += count - slots_[oldest_];
    slots_[oldest_] = count;
    if (++oldest_ == slots_.size()) oldest_ = 0;
    return sum_;
  }

  void reset() { *this = MinuteWindow(); }

 private:
  std::array<int, kWindowSlots> slots_{};
  size_t oldest_ = 0;
  int sum_ = 0;
};

class Decoder {
 public:
  Decoder(const char* bytes, qint64 n)
      : bytes_(reinterpret_cast<const quint8*>(bytes)), n_(n), text_(n) {}

  QByteArray run() {
    text_.put(kHeader, sizeof(kHeader) - 1);
    qint64 k = 0;
    while (k < n_) {
      text_.room();
      const quint8 b0 = bytes_[k];  // k < n: always a real byte
      if (b0 != kMarkerFirst && b0 != kEnd) {
        countRow(b0);
        ++k;
        continue;
      }
      const quint8 b1 = byteAt(k + 1);
      if (b0 == kMarkerFirst && b1 == kMarkerSecond) {
        k = marker(k);
      } else if (b0 == kEnd && b1 == kEnd) {
        break;
      } else {
        countRow(b0);
        ++k;
      }
    }
    return text_.take();
  }

 private:
  // Bytes at or past n are the zero bytes that complete a record cut off by the end of the data.
  quint8 byteAt(qint64 i) const { return i < n_ ? bytes_[i] : 0; }

  void countRow(int count) { text_.countLine(count, window_.add(count)); }

  // Handles the marker whose first byte is at m and returns where the next record begins.
  qint64 marker(qint64 m) {
    const quint8 type = byteAt(m + 2);
    switch (type) {
      case kTimestampType: timestamp(m + 3); return m + 9;
      case kPairType: {
        // The pair is there only when neither byte could belong to a marker.
        const bool full = byteAt(m + 3) != kMarkerFirst && byteAt(m + 4) != kMarkerSecond;
        return m + (full ? 5 : 3);
      }
      case kBlockType: return m + 4 + byteAt(m + 3);
      case kThreeByteType: return m + 6;
      case kFourByteType: return m + 7;
      case kWindowResetType: window_.reset(); return m + 4;
      default:
        text_.put(',');
        text_.number(byteAt(m + 3));
        return m + 4;
    }
  }

  // "_20YY/MM/DD hh:mm:ss"; no line end, since the time belongs to the line of the next count.
  void timestamp(qint64 first) {
    static constexpr char kSeparatorBefore[] = "?// ::";  // [i] stands before field i; [0] unused
    const QByteArrayView stamp(reinterpret_cast<const char*>(bytes_) + std::min(first, n_),
                               std::clamp<qint64>(n_ - first, 0, kTimestampBytes));
    const CounterTimestamp at = decodeCounterTimestamp(stamp);
    const int fields[] = {at.yearInCentury(), at.month, at.day, at.hour, at.minute, at.second};
    text_.put("_20", 3);
    for (int i = 0; i < 6; ++i) {
      if (i > 0) text_.put(kSeparatorBefore[i]);
      text_.twoDigitsAtLeast(fields[i]);
    }
  }

  const quint8* bytes_;
  const qint64 n_;
  TextBuffer text_;
  MinuteWindow window_;
};

}  // namespace

QByteArray DecodeHistory(const char* bytes, qint64 n) {
  if (bytes == nullptr || n < 0) n = 0;
  return Decoder(bytes, n).run();
}

QByteArray DecodeHistory(const QByteArray& bytes, qint64 n) {
  return DecodeHistory(bytes.constData(), std::clamp<qint64>(n, 0, bytes.size()));
}
