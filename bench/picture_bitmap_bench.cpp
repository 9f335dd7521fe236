#include <benchmark/benchmark.h>

#include <QByteArray>
#include <random>

#include "screenshot/bitmap.h"

namespace {

void BM_PictureToBitmap(benchmark::State& state) {
  QByteArray picture(kScreenPictureSize, '\0');
  std::mt19937 random(7);
  for (char& byte : picture) byte = char(random());
  for (auto _ : state) {
    QByteArray file = PictureToBitmap(picture);
    benchmark::DoNotOptimize(file.data());
  }
}
BENCHMARK(BM_PictureToBitmap)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
