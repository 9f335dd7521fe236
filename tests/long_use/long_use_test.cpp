// Hours of use against a counter that misbehaves: late, split, short, long and stray replies,
// replies that never come, a port that goes away and comes back, a disk that fills up, a user who
// connects, disconnects, downloads, stops and cancels at random moments. After every step every
// file the program has finished is held against the counter, and every file it could not finish
// must be gone or said to be kept whole.
//
// Each run is drawn from one seed and printed with it. To replay or widen:
//   TELVAR_LONG_USE_SEED=<n>    runs that seed only
//   TELVAR_LONG_USE_RUNS=<k>    runs k seeds from the first (or from TELVAR_LONG_USE_SEED)
//   TELVAR_LONG_USE_MINUTES=<m> simulated minutes of each run
//   TELVAR_LONG_USE_WIDE=1      short replies may also pause half-way for longer than their wait

#include <gtest/gtest.h>

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QString>
#include <QStringList>
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <optional>
#include <random>
#include <set>
#include <vector>

#include "history/memory_reader.h"
#include "history/record_decoder.h"
#include "link/exchange.h"
#include "link/protocol.h"
#include "monitor/sampling.h"
#include "screenshot/bitmap.h"
#include "screenshot/screenshot_download.h"
#include "support/lowered_limit.h"
#include "support/sim_counter.h"
#include "support/simulation.h"
#include "window/telvar.h"

namespace {

const QString kCounterPort = QStringLiteral("/dev/ttyUSB0");
const QString kOtherPort = QStringLiteral("/dev/ttyS0");

// The counter answers a count from this range, so a count made of two replies falls outside it.
constexpr qint32 kLowestCount = 1000;
constexpr qint32 kCountSpread = 1000;

qint64 envNumber(const char* name, qint64 fallback) {
  const char* text = std::getenv(name);
  return text && *text ? std::strtoll(text, nullptr, 10) : fallback;
}

QByteArray readFile(const QString& path) {
  QFile f(path);
  if (!f.open(QIODevice::ReadOnly)) return {};
  return f.readAll();
}

struct RunFigures {
  qint64 simulated_ms = 0;
  int histories_finished = 0;
  int histories_cancelled = 0;
  int screenshots_finished = 0;
  int screenshots_failed = 0;
  int histories_failed_by_disk = 0;
  int screenshots_failed_by_disk = 0;
  int faults = 0;
};

// The size of the bitmap a screenshot writes.
constexpr qint64 kBitmapBytes = 393270;

// One run of long use, drawn from one seed.
class LongUse {
 public:
  explicit LongUse(quint64 seed) : random_(seed) {
    counter_.plugInto(sim_.serial, kCounterPort);
    sim_.serial.addPort(kOtherPort);
    counter_.countAt = [](qint64 at_us) {
      return qint32(kLowestCount + (at_us / 1000000) % kCountSpread);
    };
    // One memory for the whole run: a late reply to a page asked for in an earlier download is
    // still that page.
    counter_.memory = randomMemory();
    window_ = std::make_unique<TELVAR>(sim_.platform());
  }

  ~LongUse() { window_.reset(); }

  RunFigures figures;

  // Runs the seed's steps for that long, then lets the counter behave; false when anything did
  // not hold.
  bool run(qint64 minutes) {
    const int failures_before = failuresSoFar();
    auto failed = [&] { return failuresSoFar() > failures_before; };
    const qint64 end_ms = minutes * 60 * 1000;
    while (sim_.nowMs() < end_ms && !failed()) {
      step();
      checkEverything();
    }
    if (!failed()) settleWithABehavingCounter();
    figures.simulated_ms = sim_.nowMs();
    EXPECT_TRUE(sim_.unhandledErrors.isEmpty()) << sim_.unhandledErrors.join('\n').toStdString();
    return !failed();
  }

 private:
  struct History {
    QString csv;
    QString dump;
    QByteArray memory;
  };

  static int failuresSoFar() {
    const ::testing::TestResult* result =
        ::testing::UnitTest::GetInstance()->current_test_info()->result();
    int failures = 0;
    for (int i = 0; i < result->total_part_count(); ++i)
      failures += result->GetTestPartResult(i).failed();
    return failures;
  }

  int between(int low, int high) { return std::uniform_int_distribution<int>(low, high)(random_); }
  bool chance(int percent) { return between(1, 100) <= percent; }

  bool connected() const { return window_->ConnectButton.text() == QStringLiteral("Disconnect"); }
  bool counterPresent() { return sim_.serial.port(kCounterPort) != nullptr; }

  QString newPath(const QString& suffix) {
    return sim_.path(QStringLiteral("f%1%2").arg(++files_made_).arg(suffix));
  }

  // --- The counter's side -------------------------------------------------------------------

  // What the exchange is built to tell apart: a reply that pauses half-way for less than its
  // command's wait, or a page for less than 3 s (the line must be silent that long between
  // attempts, so the rest of such a reply cannot join the next one), and replies up to 3 s late
  // (silence before another page that a late reply could pass for). Set TELVAR_LONG_USE_WIDE=1
  // for pauses of the short replies up to 900 ms too.
  int longestPauseMs(SimCommand command) const {
    const int told_apart = [command] {
      switch (command) {
        case SimCommand::GETCPS: return 100 - kQuietTailMs;
        case SimCommand::GETSSN: return 500 - kQuietTailMs;
        case SimCommand::GETSS: return 1000 - kQuietTailMs;
        default: return kOwedReplyQuietMs - kQuietTailMs;
      }
    }();
    return wide_ ? std::max(told_apart, 900) : told_apart;
  }

  // A reply whose content is wrong but whose shape is right can be told only where the reply
  // has an end marker: the screen-image replies.
  SimFault randomFault(SimCommand command) {
    const bool has_end_marker = command == SimCommand::GETSSN || command == SimCommand::GETSS;
    switch (between(has_end_marker ? 0 : 1, 7)) {
      case 0: return SimFault::wrongLastByte();
      case 1: return SimFault::noReply();
      case 2: return SimFault::shortBy(between(1, 3));
      case 3: return SimFault::longBy(between(1, 3));
      case 4: return SimFault::stray(between(1, 5));
      case 5: return SimFault::split(between(1, 4000), between(1, longestPauseMs(command)));
      default: return {SimFault::Kind::Late, 0, qint64(between(1, 2600000))};
    }
  }

  void misbehave() {
    static constexpr SimCommand kCommands[] = {SimCommand::SPIR, SimCommand::GETCPS,
                                               SimCommand::GETSSN, SimCommand::GETSS};
    const SimCommand command = kCommands[between(0, 3)];
    const SimFault fault = randomFault(command);
    const int times = between(1, 12);
    counter_.addFault(command, fault, times);
    ++figures.faults;
  }

  void portComesOrGoes() {
    // The window's line is on the port as it was: gone, or another by the same name now.
    if (connected()) line_lost_ = true;
    if (counterPresent()) {
      counter_.goAway();
    } else {
      counter_.plugInto(sim_.serial, kCounterPort);
    }
  }

  // History memory that ends at a random page, or never; no page but the last ends in FF FF.
  QByteArray randomMemory() {
    const int last_page = chance(8) ? -1 : between(0, 5);
    QByteArray memory(kHistoryMemoryBytes, char(0xFF));
    const qint64 end = last_page < 0 ? kHistoryMemoryBytes : (last_page + 1) * kHistoryPageBytes;
    for (qint64 i = 0; i < end; ++i) memory[i] = char(random_() & 0xFF);
    for (qint64 page_end = kHistoryPageBytes; page_end <= end; page_end += kHistoryPageBytes)
      memory[page_end - 1] = 0;
    if (last_page >= 0) memory[end - 2] = memory[end - 1] = char(0xFF);
    return memory;
  }

  // --- The user's side ----------------------------------------------------------------------

  void connectOrDisconnect() {
    if (connected()) {
      window_->ConnectButton.click();
    } else if (window_->ConnectButton.isEnabled()) {
      window_->ConnectButton.click();
      if (connected()) line_lost_ = false;
    }
  }

  void startHistory() {
    if (!connected() || window_->download_started || !window_->DHButton.isEnabled()) return;
    const QString csv = newPath(QStringLiteral(".csv"));
    sim_.dialogs.answerSave(csv);
    const qsizetype proposed = sim_.dialogs.proposedNames.size();
    window_->DHButton.click();
    sim_.dialogs.dropUnusedAnswers();
    if (!window_->download_started) return;
    ASSERT_GT(sim_.dialogs.proposedNames.size(), proposed);
    QString dump_name = sim_.dialogs.proposedNames.last();
    dump_name.replace(QStringLiteral(".csv"), QStringLiteral(".bin"));
    history_ = History{csv, sim_.path(dump_name), counter_.memory};
  }

  void stopOrCancelHistory() {
    if (!history_) return;
    if (chance(50) && !window_->SaveButton.isHidden() && window_->SaveButton.isEnabled()) {
      window_->SaveButton.click();
    } else if (window_->DHButton.isEnabled() && window_->download_started) {
      window_->DHButton.click();
      if (!window_->download_started) {
        EXPECT_FALSE(QFileInfo::exists(history_->csv)) << "a cancelled download left its file";
        EXPECT_FALSE(QFileInfo::exists(history_->dump)) << "a cancelled download left its dump";
        ++figures.histories_cancelled;
        history_.reset();
      }
    }
  }

  void screenshot() {
    if (!connected() || window_->download_started) return;
    const int image = between(kFirstScreenImage, kLastScreenImage);
    QRadioButton* choices[] = {&window_->SS1, &window_->SS2, &window_->SS3, &window_->SS4};
    choices[image - 1]->setChecked(true);
    const QString path = newPath(QStringLiteral(".bmp"));
    sim_.dialogs.answerSave(path);
    const qsizetype messages = sim_.dialogs.messages.size();
    const qsizetype proposed = sim_.dialogs.proposedNames.size();
    window_->DSButton.click();
    sim_.dialogs.dropUnusedAnswers();
    ASSERT_GT(sim_.dialogs.messages.size(), messages) << "a screenshot ended without a word";
    const QString said = sim_.dialogs.messages.last();
    const SimCounter::ScreenImage& shown = counter_.images[image - 1];
    if (said == QStringLiteral("Download Finished.")) {
      ++figures.screenshots_finished;
      ASSERT_GT(sim_.dialogs.proposedNames.size(), proposed);
      EXPECT_EQ(sim_.dialogs.proposedNames.last(), proposedScreenshotName(shown.timestamp))
          << "the name is not made from the image's own timestamp";
      EXPECT_TRUE(readFile(path) == PictureToBitmap(shown.picture))
          << "the bitmap is not the counter's picture " << image;
    } else {
      ++figures.screenshots_failed;
      EXPECT_FALSE(QFileInfo::exists(path)) << "a failed screenshot left a file";
      if (said.startsWith(QStringLiteral("Could not"))) {
        ++figures.screenshots_failed_by_disk;
        expectFileFailure(said, {path});
      } else {
        EXPECT_EQ(sim_.dialogs.proposedNames.size(), proposed)
            << "a screenshot that failed to download asked for a file";
      }
    }
    EXPECT_EQ(window_->DSButton.text(), QStringLiteral("Download Screenshot"));
  }

  // --- The disk ------------------------------------------------------------------------------

  // The room a file has on the disk: inside or exactly at the end of a dump (whole pages), inside
  // the comma-separated text (about ten times the dump), inside or at the end of the bitmap; or
  // the disk is freed. The memory mostly ends within its first six pages, or runs to 1 MiB.
  void diskFillsOrEmpties() {
    const qint64 pages = between(1, chance(80) ? 6 : 256);
    switch (between(0, 6)) {
      case 0: disk_room_ = between(0, 4095); break;
      case 1: disk_room_ = pages * kHistoryPageBytes; break;
      case 2: disk_room_ = pages * kHistoryPageBytes + between(-3, 3); break;
      case 3: disk_room_ = pages * kHistoryPageBytes * between(2, 11); break;
      case 4: disk_room_ = kBitmapBytes + between(-2, 0); break;
      case 5: disk_room_ = kBitmapBytes - between(1, 8 * 1024); break;
      default: disk_room_.reset(); break;
    }
  }

  void step() {
    // The program writes its files in the middle of a step: the limit holds for the whole step,
    // and for nothing else of the test.
    std::optional<LoweredLimit> full_disk;
    if (disk_room_) {
      full_disk.emplace(RLIMIT_FSIZE, rlim_t(*disk_room_));
      ASSERT_TRUE(full_disk->ok()) << "the disk's room cannot be set";
    }
    switch (between(0, 20)) {
      case 0:
      case 1:
      case 2:
      case 3: misbehave(); break;
      case 4: portComesOrGoes(); break;
      case 5:
      case 6: connectOrDisconnect(); break;
      case 7:
      case 8:
      case 9: startHistory(); break;
      case 10: stopOrCancelHistory(); break;
      case 11:
      case 12: screenshot(); break;
      case 13: counter_.clearFaults(); break;
      case 14:
      case 15: diskFillsOrEmpties(); break;
      default: break;
    }
    sim_.advance(between(1, 20000));
  }

  // --- What must hold after every step --------------------------------------------------------

  void checkFinishedHistory() {
    const QStringList& messages = sim_.dialogs.messages;
    for (; seen_messages_ < messages.size(); ++seen_messages_) {
      const QString& said = messages[seen_messages_];
      if (history_ && said.startsWith(QStringLiteral("Could not")) &&
          (said.contains(history_->csv) || said.contains(history_->dump))) {
        checkFailedHistory(said);
        continue;
      }
      if (!said.startsWith(QStringLiteral("Finished!"))) continue;
      ASSERT_TRUE(history_) << "a history download finished that was not started";
      const QByteArray dump = readFile(history_->dump);
      EXPECT_EQ(dump.size() % kHistoryPageBytes, 0) << "the dump ends inside a page";
      for (qsizetype page = 0; page * kHistoryPageBytes < dump.size(); ++page)
        ASSERT_TRUE(dump.mid(page * kHistoryPageBytes, kHistoryPageBytes) ==
                    history_->memory.mid(page * kHistoryPageBytes, kHistoryPageBytes))
            << "page " << page << " of " << dump.size() / kHistoryPageBytes
            << " in the dump is not the counter's; it begins with memory byte "
            << history_->memory.indexOf(dump.mid(page * kHistoryPageBytes, 64)) << " at "
            << sim_.nowMs() << " ms";
      EXPECT_TRUE(readFile(history_->csv) == DecodeHistory(dump, dump.size()))
          << "the comma-separated file is not the decoded dump";
      whole_files_.insert(history_->csv);
      whole_files_.insert(history_->dump);
      ++figures.histories_finished;
      history_.reset();
    }
  }

  // The dump of a download that failed may be kept, when it was written whole; the text never is
  // without the dump. Whatever is not kept is gone, and the message says so.
  void checkFailedHistory(const QString& said) {
    ASSERT_FALSE(window_->download_started) << "a download failed and still runs";
    ++figures.histories_failed_by_disk;
    std::vector<QString> removed;
    for (const QString& path : {history_->csv, history_->dump}) {
      if (said.contains(QStringLiteral("Kept %1: it was written whole.").arg(path))) {
        ASSERT_TRUE(QFileInfo::exists(path)) << "a file said to be kept is gone";
        whole_files_.insert(path);
      } else {
        removed.push_back(path);
      }
    }
    const QByteArray dump = readFile(history_->dump);
    if (whole_files_.count(history_->dump)) {
      // Whole pages: none at all when Save came before the first page arrived whole.
      ASSERT_EQ(dump.size() % kHistoryPageBytes, 0)
          << "a kept dump of " << dump.size() << " bytes ends inside a page";
      EXPECT_TRUE(dump == history_->memory.left(dump.size())) << "a kept dump is not the memory";
    }
    EXPECT_FALSE(whole_files_.count(history_->csv) && !whole_files_.count(history_->dump))
        << "the text was kept without its dump";
    expectFileFailure(said, removed);
    history_.reset();
  }

  // "Could not <action> <path>: <reason>." first, then a line for each file that was removed; none
  // of them is left.
  void expectFileFailure(const QString& said, const std::vector<QString>& removed) {
    const QStringList lines = said.split(QLatin1Char('\n'));
    EXPECT_TRUE(lines.first().startsWith(QStringLiteral("Could not ")) &&
                lines.first().contains(QStringLiteral(": ")) && lines.first().endsWith('.'))
        << said.toStdString();
    for (const QString& path : removed) {
      EXPECT_FALSE(QFileInfo::exists(path)) << "a file that failed is left: " << path.toStdString();
      EXPECT_TRUE(lines.contains(QStringLiteral("Removed the unfinished file %1.").arg(path)))
          << "the message does not say that " << path.toStdString()
          << " was removed: " << said.toStdString();
    }
  }

  // A file left in the folder is one the program finished and that was checked then, or one that
  // the running download is still writing.
  void checkNoFileLooksWhole() {
    const QDir folder(sim_.folder.path());
    for (const QString& name : folder.entryList(QDir::Files)) {
      const QString path = folder.filePath(name);
      if (history_ && (path == history_->csv || path == history_->dump)) {
        if (!window_->download_finished) {
          EXPECT_EQ(QFileInfo(path).size(), 0) << "a running download's file holds bytes";
        }
        continue;
      }
      if (name.endsWith(QStringLiteral(".bmp"))) {
        EXPECT_EQ(QFileInfo(path).size(), 393270) << name.toStdString();
        continue;
      }
      EXPECT_TRUE(whole_files_.count(path)) << "a file nobody finished: " << name.toStdString();
    }
  }

  // The counts stored since the last step (a step is at most 20 s): each is 0, for a poll that
  // failed, or one the counter sent.
  void checkCounts() {
    for (int i = kNewestCountIndex - 30; i <= kNewestCountIndex; ++i) {
      const qint64 count = window_->CPS[i];
      ASSERT_TRUE(count == 0 || (count >= kLowestCount && count < kLowestCount + kCountSpread))
          << "a count the counter never sent: " << count;
    }
  }

  void checkEverything() {
    checkFinishedHistory();
    checkNoFileLooksWhole();
    checkCounts();
  }

  void connectAgain() {
    if (connected()) window_->ConnectButton.click();
    for (int i = 0; i < 100 && !connected(); ++i) {
      sim_.advance(500);
      if (window_->ConnectButton.isEnabled()) window_->ConnectButton.click();
    }
    line_lost_ = false;
  }

  // Once the counter behaves and is there, and the user is connected to it, a running
  // download ends by itself and every feature works again.
  void settleWithABehavingCounter() {
    counter_.clearFaults();
    disk_room_.reset();
    if (!counterPresent()) counter_.plugInto(sim_.serial, kCounterPort);
    sim_.advance(3000);
    // A connection that saw the faults is kept: the faults must cost nothing once they stop.
    const bool on_the_counter = window_->UART.serialPort().location == kCounterPort;
    if (!connected() || line_lost_ || !on_the_counter) connectAgain();
    ASSERT_TRUE(connected()) << "the counter could not be connected again";
    // A download still running goes on, once the line has settled, at the fixed schedule.
    const qint64 reconnected_ms = sim_.nowMs();
    for (int i = 0; i < 400 && window_->download_started; ++i) {
      sim_.advance(1000);
      checkEverything();
    }
    EXPECT_FALSE(window_->download_started) << "the download does not end with a good counter";
    EXPECT_LE(sim_.nowMs() - reconnected_ms, 256 * kHistoryPageWaitMs + 8000)
        << "the download went on slower than its pages' waits";
    sim_.advance(3000);
    checkEverything();

    for (int i = 0; i < 1000 && window_->GetCPS.isRunning(); ++i) sim_.advance(1);
    EXPECT_EQ(window_->DHButton.text(), QStringLiteral("Download History"));
    EXPECT_TRUE(window_->DHButton.isEnabled());
    EXPECT_EQ(window_->DSButton.text(), QStringLiteral("Download Screenshot"));
    EXPECT_EQ(window_->GetCPSTimer.mode(), Timer::kRepeating);
    EXPECT_EQ(window_->SerialTimer.mode(), Timer::kRepeating);
    const qint64 newest = window_->CPS[kNewestCountIndex];
    EXPECT_TRUE(newest >= kLowestCount && newest < kLowestCount + kCountSpread)
        << "the poll does not store the counter's count: " << newest;

    expectThePollEverySecond();

    const int finished = figures.histories_finished;
    const size_t logged = counter_.log().size();
    startHistory();
    for (int i = 0; i < 400 && window_->download_started; ++i) sim_.advance(1000);
    checkEverything();
    EXPECT_EQ(figures.histories_finished, finished + 1) << "a download with a good counter failed";
    expectTheFixedSchedule(logged);
    expectThePollEverySecond();
    const int shots = figures.screenshots_finished;
    screenshot();
    EXPECT_EQ(figures.screenshots_finished, shots + 1) << "a screenshot with a good counter failed";
  }

  // A fault costs its own time and nothing after it: with a good counter, every page is asked
  // for once, a page's wait after the one before.
  void expectTheFixedSchedule(size_t logged_before) {
    std::vector<qint64> pages_at_us;
    std::set<QByteArray> asked;
    for (size_t i = logged_before; i < counter_.log().size(); ++i) {
      const SimCounter::Received& r = counter_.log()[i];
      if (r.command != SimCommand::SPIR) continue;
      EXPECT_TRUE(asked.insert(r.bytes).second) << "a page of a good counter was asked for again";
      pages_at_us.push_back(r.at_us);
    }
    for (size_t i = 1; i < pages_at_us.size(); ++i)
      ASSERT_EQ(pages_at_us[i] - pages_at_us[i - 1], qint64(kHistoryPageWaitMs) * 1000)
          << "page " << i << " of a good counter's download was asked for late";
  }

  // And the poll takes the counter's count in each second.
  void expectThePollEverySecond() {
    const int polls = counter_.timesReceived(SimCommand::GETCPS);
    sim_.advance(10000);
    EXPECT_EQ(counter_.timesReceived(SimCommand::GETCPS) - polls, 10)
        << "the poll does not ask once a second";
    for (int i = kNewestCountIndex - 8; i <= kNewestCountIndex; ++i)
      EXPECT_TRUE(window_->CPS[i] >= kLowestCount && window_->CPS[i] < kLowestCount + kCountSpread)
          << "a second of a good counter was stored as " << window_->CPS[i];
  }

  bool wide_ = envNumber("TELVAR_LONG_USE_WIDE", 0) != 0;
  bool line_lost_ = false;
  std::mt19937_64 random_;
  Simulation sim_;
  SimCounter counter_;
  std::unique_ptr<TELVAR> window_;
  std::optional<History> history_;
  // The room a file has on the disk; none while the disk has room for everything.
  std::optional<qint64> disk_room_;
  std::set<QString> whole_files_;
  qsizetype seen_messages_ = 0;
  int files_made_ = 0;
};

std::vector<quint64> seedsToRun() {
  const qint64 runs = envNumber("TELVAR_LONG_USE_RUNS", 0);
  const qint64 first = envNumber("TELVAR_LONG_USE_SEED", -1);
  if (first >= 0 || runs > 0) {
    std::vector<quint64> seeds;
    for (qint64 i = 0; i < std::max<qint64>(runs, 1); ++i)
      seeds.push_back(quint64(std::max<qint64>(first, 1) + i));
    return seeds;
  }
  return {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12};
}

TEST(LongUse, EveryFinishedFileIsTheCountersAndTheWindowReturnsToIdle) {
  const qint64 minutes = envNumber("TELVAR_LONG_USE_MINUTES", 30);
  RunFigures total;
  int failed_runs = 0;
  const std::vector<quint64> seeds = seedsToRun();
  for (quint64 seed : seeds) {
    SCOPED_TRACE(::testing::Message() << "replay with TELVAR_LONG_USE_SEED=" << seed);
    LongUse run(seed);
    const bool failed = !run.run(minutes);
    const RunFigures& f = run.figures;
    failed_runs += failed;
    std::printf(
        "seed %llu: %s, %.1f simulated min, %d faults, %d histories finished, %d "
        "cancelled, %d failed by the disk, %d screenshots finished, %d failed (%d by the "
        "disk)\n",
        (unsigned long long)seed, failed ? "FAILED" : "ok", f.simulated_ms / 60000.0, f.faults,
        f.histories_finished, f.histories_cancelled, f.histories_failed_by_disk,
        f.screenshots_finished, f.screenshots_failed, f.screenshots_failed_by_disk);
    total.simulated_ms += f.simulated_ms;
    total.histories_finished += f.histories_finished;
    total.screenshots_finished += f.screenshots_finished;
    total.histories_failed_by_disk += f.histories_failed_by_disk;
    total.screenshots_failed_by_disk += f.screenshots_failed_by_disk;
    total.faults += f.faults;
  }
  std::printf(
      "%zu seeds, %.2f simulated hours, %d faults, %d histories and %d screenshots "
      "finished, %d histories and %d screenshots failed by the disk, %d runs failed\n",
      seeds.size(), total.simulated_ms / 3600000.0, total.faults, total.histories_finished,
      total.screenshots_finished, total.histories_failed_by_disk, total.screenshots_failed_by_disk,
      failed_runs);
}

}  // namespace
