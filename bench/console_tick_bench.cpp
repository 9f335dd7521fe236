// One console tick that shows a received chunk, with everything the window does for it (the
// text-change handler and its scrolling, the byte counter), while about 1 MB is already shown.
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QByteArray>
#include <memory>

#include "support/simulation.h"
#include "window/telvar.h"

namespace {

constexpr int kChunkBytes = 1024;
constexpr qsizetype kShownBefore = 1000 * 1000;

QByteArray Chunk() {
  QByteArray bytes(kChunkBytes, '\0');
  for (int i = 0; i < kChunkBytes; ++i) bytes[i] = char((i * 131 + 7) & 0xFF);
  return bytes;
}

// A port on which a chunk has always just arrived.
class StreamingLine final : public SerialLine {
 public:
  void write(const QByteArray&) override {}
  QByteArray readAll() override { return Chunk(); }
};

class StreamingSystem final : public SerialSystem {
 public:
  int SerialPortCount() override { return 1; }
  SerialPort SerialPortAt(int) override { return {"stream", "stream"}; }
  std::unique_ptr<SerialLine> openLine(const SerialPort&) override {
    return std::make_unique<StreamingLine>();
  }
};

void ConsoleTick(benchmark::State& state, bool hex) {
  Simulation sim;
  StreamingSystem serial;
  TELVAR window(Platform{sim.scheduler, serial, sim.dialogs});
  window.show();
  QApplication::processEvents();
  window.UART.setSerialPort(serial.SerialPortAt(0));
  window.UART.Open();
  (hex ? window.HEXButton : window.ASCIIButton).setChecked(true);
  while (window.SerialText.length() < kShownBefore) window.SerialTimer_Action();

  for (auto _ : state) {
    window.SerialTimer_Action();
    benchmark::DoNotOptimize(window.SerialText.scrollPosition());
  }
  state.counters["shown_chars"] = static_cast<double>(window.SerialText.length());
}

void BM_ConsoleTickAsciiOn1MB(benchmark::State& state) { ConsoleTick(state, false); }
void BM_ConsoleTickHexOn1MB(benchmark::State& state) { ConsoleTick(state, true); }
BENCHMARK(BM_ConsoleTickAsciiOn1MB)->Unit(benchmark::kMicrosecond)->Iterations(2000);
BENCHMARK(BM_ConsoleTickHexOn1MB)->Unit(benchmark::kMicrosecond)->Iterations(2000);

}  // namespace
