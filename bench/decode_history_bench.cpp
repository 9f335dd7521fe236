#include <benchmark/benchmark.h>

#include <QByteArray>
#include <random>

#include "history/record_decoder.h"

namespace {

// A full history memory of one-second counts only, as the reader hands it over: 1 MiB of
// downloaded bytes in a buffer with one spare zero byte.
QByteArray fullMemoryOfCounts() {
  const qint64 n = 1 << 20;
  QByteArray memory(n + 1, '\0');
  std::mt19937 random(42);
  std::uniform_int_distribution<int> count(0, 254);
  for (qint64 i = 0; i < n; ++i) {
    int v = count(random);
    if (v == 0x55) v = 0x54;  // counts only: no marker may begin
    memory[i] = char(v);
  }
  return memory;
}

void BM_DecodeHistoryFullMemory(benchmark::State& state) {
  const QByteArray memory = fullMemoryOfCounts();
  const qint64 n = memory.size() - 1;
  for (auto _ : state) {
    QByteArray text = DecodeHistory(memory, n);
    benchmark::DoNotOptimize(text.data());
  }
  state.SetBytesProcessed(state.iterations() * n);
}
BENCHMARK(BM_DecodeHistoryFullMemory)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
