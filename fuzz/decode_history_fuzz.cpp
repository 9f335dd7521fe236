// Feeds arbitrary history memory to DecodeHistory and checks its text against a plain, slow
// decoder written straight from the record grammar, and against the shape every line must have.

#include <QByteArray>
#include <QList>
#include <array>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "history/record_decoder.h"

namespace {

const QByteArray kHeader = "Time,CPS,CPM\n";

[[noreturn]] void fail(const char* why, const QByteArray& text) {
  std::fprintf(stderr, "invariant broken: %s\n%.*s\n", why, int(qMin<qsizetype>(text.size(), 2000)),
               text.constData());
  std::abort();
}

QByteArray twoDigits(int v) { return v < 10 ? "0" + QByteArray::number(v) : QByteArray::number(v); }

// One byte at a time, the window shifted slot by slot and summed afresh for every count.
QByteArray slowDecode(const uint8_t* data, qint64 n) {
  auto byte = [&](qint64 i) -> int { return i < n ? data[i] : 0; };
  std::array<qint64, 60> window{};
  QByteArray text = kHeader;
  qint64 k = 0;
  while (k < n) {
    const int b0 = byte(k), b1 = byte(k + 1);
    if (b0 == 0x55 && b1 == 0xAA) {
      const int type = byte(k + 2);
      if (type == 0) {
        text += "_20" + twoDigits(byte(k + 3)) + "/" + twoDigits(byte(k + 4)) + "/" +
                twoDigits(byte(k + 5)) + " " + twoDigits(byte(k + 6)) + ":" +
                twoDigits(byte(k + 7)) + ":" + twoDigits(byte(k + 8));
        k += 9;
      } else if (type == 1) {
        k += (byte(k + 3) != 0x55 && byte(k + 4) != 0xAA) ? 5 : 3;
      } else if (type == 2) {
        k += 4 + byte(k + 3);
      } else if (type == 3) {
        k += 6;
      } else if (type == 4) {
        k += 7;
      } else if (type == 5) {
        window.fill(0);
        k += 4;
      } else {
        text += "," + QByteArray::number(byte(k + 3));
        k += 4;
      }
    } else if (b0 == 0xFF && b1 == 0xFF) {
      break;
    } else {
      qint64 sum = 0;
      for (int i = 0; i < 59; ++i) {
        window[i] = window[i + 1];
        sum += window[i];
      }
      window[59] = b0;
      sum += b0;
      text += "," + QByteArray::number(b0) + "," + QByteArray::number(sum) + "\n";
      k += 1;
    }
  }
  return text;
}

// Reads digits at p; false when there are fewer than min or more than max of them.
bool digits(const char*& p, const char* end, int min, int max, int* value = nullptr) {
  int count = 0, v = 0;
  while (p < end && *p >= '0' && *p <= '9') {
    v = v * 10 + (*p++ - '0');
    ++count;
  }
  if (value) *value = v;
  return count >= min && count <= max;
}

bool timestamp(const char*& p, const char* end) {
  if (end - p < 3 || std::memcmp(p, "_20", 3) != 0) return false;
  p += 3;
  for (char separator : {'/', '/', ' ', ':', ':', '\0'}) {
    if (!digits(p, end, 2, 3)) return false;
    if (separator == '\0') break;
    if (p == end || *p++ != separator) return false;
  }
  return true;
}

// A line is any run of timestamps and ",<value>" fields; a complete one ends in the count's own
// ",<cps>,<cpm>" with cpm at least cps and at most a minute of 255s.
void checkLine(const QByteArray& line, bool complete, const QByteArray& text) {
  QList<int> fields;
  const char* p = line.constData();
  const char* end = p + line.size();
  while (p < end) {
    if (*p == '_') {
      if (!timestamp(p, end)) fail("malformed timestamp", text);
      fields.clear();
    } else if (*p == ',') {
      ++p;
      int v = 0;
      if (!digits(p, end, 1, 5, &v)) fail("malformed field", text);
      fields.append(v);
    } else {
      fail("unexpected character", text);
    }
  }
  if (!complete) return;
  if (fields.size() < 2) fail("line without its count", text);
  const int cps = fields[fields.size() - 2], cpm = fields.last();
  if (cps > 255 || cpm < cps || cpm > 60 * 255) fail("count or sum out of range", text);
}

void checkShape(const QByteArray& text, qint64 n) {
  if (!text.startsWith(kHeader)) fail("no header", text);
  QList<QByteArray> lines = text.mid(kHeader.size()).split('\n');
  const QByteArray unfinished = lines.takeLast();
  if (lines.size() > n) fail("more lines than bytes", text);
  for (const QByteArray& line : lines) checkLine(line, true, text);
  checkLine(unfinished, false, text);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const qint64 n = qint64(size);
  // An exact-size copy: any read past the downloaded length is a heap overflow.
  const std::vector<char> exact(data, data + size);
  const QByteArray text = DecodeHistory(exact.data(), n);
  checkShape(text, n);
  if (text != slowDecode(data, n)) fail("differs from the plain decoder", text);

  // Only the first n bytes count, whatever follows them in the buffer.
  const qint64 cut = n / 2;
  const QByteArray whole(reinterpret_cast<const char*>(data), qsizetype(size));
  if (DecodeHistory(whole, cut) != slowDecode(data, cut))
    fail("bytes past the length were used", text);
  return 0;
}
