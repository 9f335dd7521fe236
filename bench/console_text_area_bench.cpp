#include <benchmark/benchmark.h>

#include <QApplication>
#include <QByteArray>
#include <QElapsedTimer>
#include <QImage>
#include <QString>
#include <memory>

#include "widgets/console_text_area.h"

namespace {

constexpr qsizetype kShownCharacters = 10 * 1000 * 1000;
constexpr qsizetype kOneMegabyte = 1000 * 1000;
constexpr int kChunkBytes = 1024;

// The console's HEX form: two digits and a blank per byte, no line break anywhere.
QString HexText(const QByteArray& bytes) {
  static const char kDigits[] = "0123456789ABCDEF";
  QString hex(bytes.size() * 3, u' ');
  QChar* out = hex.data();
  for (qsizetype i = 0; i < bytes.size(); ++i) {
    const auto byte = static_cast<unsigned char>(bytes[i]);
    out[i * 3] = QLatin1Char(kDigits[byte >> 4]);
    out[i * 3 + 1] = QLatin1Char(kDigits[byte & 0xF]);
  }
  return hex;
}

QByteArray Chunk(int seed) {
  QByteArray bytes(kChunkBytes, '\0');
  for (int i = 0; i < kChunkBytes; ++i) bytes[i] = static_cast<char>((i * 131 + seed) & 0xFF);
  return bytes;
}

// An area at the console's size holding `shown` characters (10 MB unless told) of one wrapped
// HEX line.
std::unique_ptr<ConsoleTextArea> FullConsole(benchmark::State& state,
                                             qsizetype shown = kShownCharacters) {
  auto area = std::make_unique<ConsoleTextArea>();
  area->resize(285, 137);
  area->show();
  QString text;
  text.reserve(shown);
  for (int seed = 0; text.size() < shown; ++seed) text += HexText(Chunk(seed));
  text.truncate(shown);
  QElapsedTimer clock;
  clock.start();
  area->setText(text);
  state.counters["build_ms"] = static_cast<double>(clock.nsecsElapsed()) / 1e6;
  state.counters["lines"] = area->lineCount();
  return area;
}

// What the console does per received chunk: append it, then scroll so its end is in view.
void ShowChunk(ConsoleTextArea& area, const QString& chunk) {
  area.appendText(chunk);
  const int n = area.lineNumAtCharPos(area.length());
  area.setScrollPosition(n > 6 ? n - 6 : n);
}

void BM_AppendHexChunkTo10MB(benchmark::State& state) {
  auto area = FullConsole(state);
  const QString chunk = HexText(Chunk(7));
  for (auto _ : state) {
    ShowChunk(*area, chunk);
    benchmark::DoNotOptimize(area->scrollPosition());
  }
  state.counters["final_chars"] = static_cast<double>(area->length());
}
BENCHMARK(BM_AppendHexChunkTo10MB)->Unit(benchmark::kMicrosecond)->Iterations(2000);

// The same on a console that has shown about 1 MB, a long session's worth.
void BM_AppendHexChunkTo1MB(benchmark::State& state) {
  auto area = FullConsole(state, kOneMegabyte);
  const QString chunk = HexText(Chunk(7));
  for (auto _ : state) {
    ShowChunk(*area, chunk);
    benchmark::DoNotOptimize(area->scrollPosition());
  }
  state.counters["final_chars"] = static_cast<double>(area->length());
}
BENCHMARK(BM_AppendHexChunkTo1MB)->Unit(benchmark::kMicrosecond)->Iterations(2000);

// The same with the repaint that follows each append in the running program, to show that
// painting depends on the view's size and not on the text's.
void BM_AppendHexChunkTo10MBAndRepaint(benchmark::State& state) {
  auto area = FullConsole(state);
  const QString chunk = HexText(Chunk(7));
  QImage image(area->viewport()->size(), QImage::Format_ARGB32_Premultiplied);
  for (auto _ : state) {
    ShowChunk(*area, chunk);
    area->viewport()->render(&image);
    benchmark::DoNotOptimize(image.constBits());
  }
}
BENCHMARK(BM_AppendHexChunkTo10MBAndRepaint)->Unit(benchmark::kMicrosecond)->Iterations(500);

// Building 10 MB from 1 KB chunks, as a long session does.
void BM_Build10MBFromChunks(benchmark::State& state) {
  const QString chunk = HexText(Chunk(3));
  for (auto _ : state) {
    ConsoleTextArea area;
    area.resize(285, 137);
    area.show();
    while (area.length() < kShownCharacters) ShowChunk(area, chunk);
    benchmark::DoNotOptimize(area.lineCount());
  }
}
BENCHMARK(BM_Build10MBFromChunks)->Unit(benchmark::kMillisecond)->Iterations(1);

}  // namespace
