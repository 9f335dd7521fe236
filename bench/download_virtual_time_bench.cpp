// How long a history download takes in the program's own (virtual) time: a full 1 MiB download
// from a counter that answers every page at once, and a short one from a busy counter whose page
// replies come late, counted in attempts per page. Reported as counters; the real time measured
// is only the cost of simulating it.
#include <benchmark/benchmark.h>

#include <QFileInfo>
#include <memory>
#include <utility>
#include <vector>

#include "history/memory_reader.h"
#include "link/protocol.h"
#include "support/sim_counter.h"
#include "support/simulation.h"
#include "window/telvar.h"

namespace {

struct DownloadRun {
  double virtual_seconds = 0;
  int page_requests = 0;
  int first_page_requests = 0;
  bool whole = false;
};

// Connects to the counter, downloads its history into the simulation's folder and tells how
// long it took, how many page requests went out and whether the dump is the counter's memory.
DownloadRun download(const QByteArray& memory,
                     const std::vector<std::pair<SimFault, int>>& page_faults) {
  Simulation sim;
  SimCounter counter;
  counter.plugInto(sim.serial, QStringLiteral("/dev/ttyUSB0"));
  counter.memory = memory;
  TELVAR window(sim.platform());
  for (int i = 0; i < 20 && !window.ConnectButton.isEnabled(); ++i) sim.advance(100);
  window.ConnectButton.click();
  while (window.GetCPS.isRunning()) sim.advance(1);
  for (const auto& [fault, times] : page_faults) counter.addFault(SimCommand::SPIR, fault, times);

  const QString csv = sim.path(QStringLiteral("h.csv"));
  sim.dialogs.answerSave(csv);
  const qint64 started = sim.nowMs();
  window.DHButton.click();
  while (sim.dialogs.messages.isEmpty() && sim.nowMs() - started < 3600 * 1000) sim.advance(10);

  // The reader's time: from its first page request to the end of the wait after its last.
  DownloadRun run;
  qint64 first_us = -1, last_us = -1;
  for (const SimCounter::Received& r : counter.log()) {
    if (r.command != SimCommand::SPIR) continue;
    if (first_us < 0) first_us = r.at_us;
    last_us = r.at_us;
    ++run.page_requests;
    if (r.bytes.mid(5, 3) == QByteArray(3, '\0')) ++run.first_page_requests;
  }
  run.virtual_seconds = double(last_us - first_us) / 1e6 + kHistoryPageWaitMs / 1000.0;
  QString dump_name = sim.dialogs.proposedNames.value(0);
  dump_name.replace(QStringLiteral(".csv"), QStringLiteral(".bin"));
  QFile dump(sim.path(dump_name));
  run.whole = dump.open(QIODevice::ReadOnly) && [&] {
    const QByteArray bytes = dump.readAll();
    return !bytes.isEmpty() && bytes == memory.left(bytes.size());
  }();
  return run;
}

QByteArray endlessMemory() {
  QByteArray memory(kHistoryMemoryBytes, '\0');
  quint32 x = 1;
  for (qsizetype i = 0; i < memory.size(); ++i) {
    x = x * 1103515245u + 12345u;
    memory[i] = char((x >> 16) % 250);
  }
  return memory;
}

QByteArray memoryOfPages(int pages) {
  QByteArray memory = endlessMemory();
  const qsizetype end = qsizetype(pages) * kHistoryPageBytes;
  memory[end - 2] = memory[end - 1] = char(0xFF);
  for (qsizetype i = end; i < memory.size(); ++i) memory[i] = char(0xFF);
  return memory;
}

void report(benchmark::State& state, const DownloadRun& run, int pages) {
  state.counters["reader_virtual_s"] = run.virtual_seconds;
  state.counters["page_requests"] = run.page_requests;
  state.counters["requests_per_page"] = double(run.page_requests) / pages;
  state.counters["first_page_requests"] = run.first_page_requests;
  state.counters["dump_is_the_memory"] = run.whole ? 1 : 0;
}

void FullDownloadWithoutFaults(benchmark::State& state) {
  const QByteArray memory = endlessMemory();
  DownloadRun run;
  for (auto _ : state) run = download(memory, {});
  report(state, run, 256);
}
BENCHMARK(FullDownloadWithoutFaults)->Iterations(1)->Unit(benchmark::kMillisecond);

// Two pages; the first page's replies come late in the ways a busy counter answers.
void TwoPagesWithLateReplies(benchmark::State& state) {
  const std::vector<std::vector<std::pair<SimFault, int>>> shapes = {
      {{SimFault::late(2371), 3}, {SimFault::late(362), 10}},
      {{SimFault::late(300), 2}},
      {{SimFault::late(450), 20}},
  };
  const auto& shape = shapes.at(size_t(state.range(0)));
  DownloadRun run;
  for (auto _ : state) run = download(memoryOfPages(2), shape);
  report(state, run, 2);
}
BENCHMARK(TwoPagesWithLateReplies)->DenseRange(0, 2)->Iterations(1)->Unit(benchmark::kMillisecond);

}  // namespace
