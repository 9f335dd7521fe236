// What a fault costs after it has happened, in the program's own (virtual) time, with the whole
// window and the simulated counter: how long a download takes after one failed page or poll, how
// long a screenshot holds the window, whether the poll keeps its seconds, whether a console reply
// that comes just before a poll is shown. Reported as counters; the real time measured is only the
// cost of simulating it.
#include <benchmark/benchmark.h>

#include <QFileInfo>
#include <functional>
#include <memory>
#include <vector>

#include "history/memory_reader.h"
#include "support/sim_counter.h"
#include "support/simulation.h"
#include "window/telvar.h"

namespace {

const QString kPort = QStringLiteral("/dev/ttyUSB0");

QByteArray endlessMemory() {
  QByteArray memory(1048576, '\0');
  quint32 x = 7;
  for (qsizetype i = 0; i < memory.size(); ++i) {
    x = x * 1103515245u + 12345u;
    memory[i] = char((x >> 16) % 250);
  }
  return memory;
}

// The window connected to a counter that behaves, with no poll running.
struct World {
  Simulation sim;
  SimCounter counter;
  std::unique_ptr<TELVAR> window;

  World() {
    counter.plugInto(sim.serial, kPort);
    static const QByteArray memory = endlessMemory();
    counter.memory = memory;
    window = std::make_unique<TELVAR>(sim.platform());
    for (int i = 0; i < 20 && !window->ConnectButton.isEnabled(); ++i) sim.advance(100);
    window->ConnectButton.click();
    untilNoPoll();
  }
  ~World() { window.reset(); }

  void untilNoPoll() {
    for (int i = 0; i < 5000 && window->GetCPSThreadRunning; ++i) sim.advance(1);
  }
  // Until the next poll has started and ended; how long it ran, in ms.
  qint64 nextPollMs() {
    untilNoPoll();
    for (int i = 0; i < 5000 && !window->GetCPSThreadRunning; ++i) sim.advance(1);
    const qint64 start = sim.nowMs();
    untilNoPoll();
    return sim.nowMs() - start;
  }

  // A whole download of what the memory holds (256 pages): from the first page request to the
  // end of the wait after the last, in seconds; and from the press to the end, in pressed_s.
  double pressed_s = 0;
  double downloadSeconds() {
    untilNoPoll();
    const size_t logged = counter.log().size();
    sim.dialogs.answerSave(sim.path(QStringLiteral("h%1.csv").arg(logged)));
    const qsizetype messages = sim.dialogs.messages.size();
    const qint64 started = sim.nowMs();
    window->DHButton.click();
    while (sim.dialogs.messages.size() == messages && sim.nowMs() - started < 3600 * 1000)
      sim.advance(1);
    pressed_s = double(sim.nowMs() - started) / 1000;
    qint64 first_us = -1, last_us = -1;
    for (size_t i = logged; i < counter.log().size(); ++i) {
      if (counter.log()[i].command != SimCommand::SPIR) continue;
      if (first_us < 0) first_us = counter.log()[i].at_us;
      last_us = counter.log()[i].at_us;
    }
    return double(last_us - first_us) / 1e6 + kHistoryPageWaitMs / 1000.0;
  }

  // How long a press of Download Screenshot holds the window, in seconds.
  double screenshotHoldSeconds() {
    untilNoPoll();
    sim.dialogs.answerSave(sim.path(QStringLiteral("s%1.bmp").arg(counter.log().size())));
    const qint64 start = sim.nowUs();
    window->DSButton.click();
    sim.dialogs.dropUnusedAnswers();
    return double(sim.nowUs() - start) / 1e6;
  }

  // Over the next ten seconds: how many polls ran to their end, and how many of them stored the
  // counter's count (which is never 0 here).
  struct Seconds {
    int polls = 0;
    int counts = 0;
  };
  Seconds nextTenSeconds() {
    Seconds seen;
    bool running = window->GetCPSThreadRunning;
    const qint64 end = sim.nowMs() + 10000;
    while (sim.nowMs() < end) {
      sim.advance(1);
      if (!window->GetCPSThreadRunning && running) ++seen.polls;
      running = window->GetCPSThreadRunning;
    }
    for (int i = kNewestCountIndex - seen.polls + 1; i <= kNewestCountIndex; ++i)
      seen.counts += window->CPS[i] != 0;
    return seen;
  }

  void failNextPoll() {
    counter.addFault(SimCommand::GETCPS, SimFault::noReply(), 3);
    nextPollMs();
  }

  // A download under way whose pages fail from the fourth on, for ten seconds.
  void downloadWithFailingPages(SimFault fault) {
    sim.dialogs.answerSave(sim.path(QStringLiteral("f%1.csv").arg(counter.log().size())));
    window->DHButton.click();
    while (window->download_progress < 4 * 4096) sim.advance(10);
    counter.addFault(SimCommand::SPIR, fault, SimCounter::kAlways);
    sim.advance(10000);
  }
  // Until the download has ended; how long that took since start_us, in seconds.
  double untilDownloadEnds(qint64 start) {
    while (window->download_started && sim.nowUs() - start < 600000000) sim.advance(1);
    return double(sim.nowUs() - start) / 1e6;
  }
};

void DownloadAfterOnePageFailedOnce(benchmark::State& state) {
  const SimFault faults[] = {SimFault::noReply(), SimFault::shortBy(1), SimFault::longBy(1),
                             SimFault::stray(3)};
  double seconds = 0, pressed = 0;
  for (auto _ : state) {
    World world;
    world.counter.addFault(SimCommand::SPIR, faults[state.range(0)]);
    seconds = world.downloadSeconds();
    pressed = world.pressed_s;
  }
  state.counters["download_s"] = seconds;
  state.counters["press_to_message_s"] = pressed;
}
BENCHMARK(DownloadAfterOnePageFailedOnce)
    ->DenseRange(0, 3)
    ->Iterations(1)
    ->Unit(benchmark::kMillisecond);

void AfterAFailedPoll(benchmark::State& state) {
  double download = 0, pressed = 0, hold = 0, poll = 0;
  for (auto _ : state) {
    {
      World world;
      world.failNextPoll();
      download = world.downloadSeconds();
      pressed = world.pressed_s;
    }
    {
      World world;
      world.failNextPoll();
      poll = double(world.nextPollMs());
      poll = std::max(poll, double(world.nextPollMs()));
    }
    {
      World world;
      world.failNextPoll();
      world.nextPollMs();
      hold = world.screenshotHoldSeconds();
    }
  }
  state.counters["download_s"] = download;
  state.counters["press_to_message_s"] = pressed;
  state.counters["later_poll_ms"] = poll;
  state.counters["screenshot_hold_s"] = hold;
}
BENCHMARK(AfterAFailedPoll)->Iterations(1)->Unit(benchmark::kMillisecond);

void FaultFreeScreenshot(benchmark::State& state) {
  double hold = 0;
  for (auto _ : state) hold = World().screenshotHoldSeconds();
  state.counters["screenshot_hold_s"] = hold;
}
void FaultFreeDownload(benchmark::State& state) {
  double seconds = 0, pressed = 0;
  for (auto _ : state) {
    World world;
    seconds = world.downloadSeconds();
    pressed = world.pressed_s;
  }
  state.counters["download_s"] = seconds;
  state.counters["press_to_message_s"] = pressed;
}
BENCHMARK(FaultFreeDownload)->Iterations(1)->Unit(benchmark::kMillisecond);

BENCHMARK(FaultFreeScreenshot)->Iterations(1)->Unit(benchmark::kMillisecond);

// 0: the timestamp never answered; 1: answered at the sixth attempt; 2: the picture answered at
// the fourth; 3: both at their last attempt.
void SilentScreenshot(benchmark::State& state) {
  double hold = 0;
  for (auto _ : state) {
    World world;
    const int shape = int(state.range(0));
    if (shape == 0) world.counter.addFault(SimCommand::GETSSN, SimFault::noReply(), 6);
    if (shape == 1 || shape == 3)
      world.counter.addFault(SimCommand::GETSSN, SimFault::noReply(), 5);
    if (shape >= 2) world.counter.addFault(SimCommand::GETSS, SimFault::noReply(), 3);
    hold = world.screenshotHoldSeconds();
  }
  state.counters["screenshot_hold_s"] = hold;
}
BENCHMARK(SilentScreenshot)->DenseRange(0, 3)->Iterations(1)->Unit(benchmark::kMillisecond);

// 0: Save, 1: Cancel, while every page comes one byte short (a page's bytes are still owed).
void SaveOrCancelWhilePagesFail(benchmark::State& state) {
  double ending = 0, hold = 0;
  World::Seconds after;
  for (auto _ : state) {
    for (int part = 0; part < 2; ++part) {
      World world;
      world.downloadWithFailingPages(SimFault::shortBy(1));
      const qint64 pressed = world.sim.nowUs();
      if (state.range(0) == 0)
        world.window->SaveButton.click();
      else
        world.window->DHButton.click();
      ending = world.untilDownloadEnds(pressed);
      world.counter.clearFaults();
      if (part == 0)
        after = world.nextTenSeconds();
      else
        hold = world.screenshotHoldSeconds();
    }
  }
  state.counters["ending_s"] = ending;
  state.counters["polls_in_10s"] = after.polls;
  state.counters["counts_in_10s"] = after.counts;
  state.counters["screenshot_hold_s"] = hold;
}
BENCHMARK(SaveOrCancelWhilePagesFail)
    ->DenseRange(0, 1)
    ->Iterations(1)
    ->Unit(benchmark::kMillisecond);

// Bytes streaming in without end, as the long answer to a typed command: a byte every 5 ms.
void LineThatNeverGoesQuiet(benchmark::State& state) {
  double hold = 0;
  World::Seconds seconds;
  for (auto _ : state) {
    for (int part = 0; part < 2; ++part) {
      World world;
      const qint64 now = world.sim.nowUs();
      for (qint64 at_ms = 0; at_ms < 60000; at_ms += 5)
        world.counter.port()->send("z", now + at_ms * 1000);
      if (part == 0)
        seconds = world.nextTenSeconds();
      else
        hold = world.screenshotHoldSeconds();
    }
  }
  state.counters["polls_in_10s"] = seconds.polls;
  state.counters["screenshot_hold_s"] = hold;
}
BENCHMARK(LineThatNeverGoesQuiet)->Iterations(1)->Unit(benchmark::kMillisecond);

// A "<GETSERIAL>>" written by the console 1 to 49 ms before a poll starts: how many of the 49
// replies show, and how many of the 45 sent 5 to 49 ms before.
void ConsoleReplyJustBeforeAPoll(benchmark::State& state) {
  int shown = 0, shown_from_5 = 0;
  for (auto _ : state) {
    World world;
    TELVAR& w = *world.window;
    for (int before_ms = 1; before_ms <= 49; ++before_ms) {
      world.sim.advance(1500);
      world.untilNoPoll();
      w.ClearButton.click();
      w.GetCPSTimer.setMode(Timer::kOff);
      w.GetCPSTimer.setMode(Timer::kRepeating);
      world.sim.advance(1000 - before_ms - 50);
      w.SerialTimer.setMode(Timer::kOff);
      w.SerialTimer.setMode(Timer::kRepeating);
      w.Command1.setCurrentIndex(1);
      w.SendCommand1.click();
      world.sim.advance(500);
      const bool seen = w.SerialText.text() == QStringLiteral("SIM-000001");
      shown += seen;
      shown_from_5 += seen && before_ms >= 5;
    }
  }
  state.counters["shown_of_49"] = shown;
  state.counters["shown_of_45_from_5ms"] = shown_from_5;
}
BENCHMARK(ConsoleReplyJustBeforeAPoll)->Iterations(1)->Unit(benchmark::kMillisecond);

// Replies whole only late in their wait: counts 85 ms after the command, pages ending 587 ms
// after it, a version 85 and 99 ms after it.
void LateButWholeReplies(benchmark::State& state) {
  double counts = 0, download = 0, versions = 0;
  for (auto _ : state) {
    {
      World world;
      // Less the command's and the reply's own time on the line.
      world.counter.latencyUs = 85000 - wireTimeUs(9) - wireTimeUs(4);
      counts = world.nextTenSeconds().counts;
    }
    {
      World world;
      world.counter.latencyUs = 587000 - wireTimeUs(12) - wireTimeUs(4096);
      QByteArray memory = world.counter.memory.left(2 * 4096);
      memory[2 * 4096 - 2] = memory[2 * 4096 - 1] = char(0xFF);
      world.counter.memory = memory + QByteArray(1048576 - memory.size(), char(0xFF));
      world.untilNoPoll();
      world.sim.dialogs.answerSave(world.sim.path(QStringLiteral("late.csv")));
      const qint64 pressed = world.sim.nowUs();
      world.window->DHButton.click();
      download = world.untilDownloadEnds(pressed);
    }
    versions = 0;
    for (const qint64 ms : {85, 99}) {
      Simulation sim;
      SimCounter counter;
      counter.plugInto(sim.serial, kPort);
      counter.latencyUs = ms * 1000 - wireTimeUs(9) - wireTimeUs(counter.version.size());
      TELVAR window(sim.platform());
      sim.advance(2000);
      versions += window.SerialPortsPopupMenu.currentText() == QString::fromLatin1(counter.version);
    }
  }
  state.counters["counts_in_10s_at_85ms"] = counts;
  state.counters["two_pages_at_587ms_s"] = download;
  state.counters["versions_of_2_listed"] = versions;
}
BENCHMARK(LateButWholeReplies)->Iterations(1)->Unit(benchmark::kMillisecond);

}  // namespace
