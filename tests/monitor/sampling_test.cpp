#include "monitor/sampling.h"

#include <gtest/gtest.h>

#include <QByteArray>
#include <algorithm>
#include <functional>
#include <limits>
#include <memory>
#include <stdexcept>
#include <vector>

#include "link/protocol.h"
#include "platform/scheduler.h"
#include "platform/serial.h"
#include "support/counter_window.h"

namespace {

// Sits between the window and the simulated ports: notes every read and write with the thread
// that made it, lets a test act right after a read, and can make the next write fail.
class TappedSerialSystem final : public SerialSystem {
 public:
  struct Access {
    bool write;
    QByteArray bytes;
    qint64 at_us;
    Thread* thread;  // null on the user-interface thread
  };

  TappedSerialSystem(SerialSystem& inner, Scheduler& scheduler)
      : inner_(inner), scheduler_(scheduler) {}

  std::vector<Access> accesses;
  // Called after every read with what it returned.
  std::function<void(const QByteArray&)> afterRead;
  bool failNextWrite = false;

  // The bytes a thread wrote or read (reads that found nothing left out).
  std::vector<Access> by(const Thread* thread) const {
    std::vector<Access> found;
    for (const Access& a : accesses)
      if (a.thread == thread && (a.write || !a.bytes.isEmpty())) found.push_back(a);
    return found;
  }

  int SerialPortCount() override { return inner_.SerialPortCount(); }
  SerialPort SerialPortAt(int index) override { return inner_.SerialPortAt(index); }
  std::unique_ptr<SerialLine> openLine(const SerialPort& port) override {
    std::unique_ptr<SerialLine> line = inner_.openLine(port);
    if (!line) return nullptr;
    return std::make_unique<Line>(*this, std::move(line));
  }

 private:
  class Line final : public SerialLine {
   public:
    Line(TappedSerialSystem& tap, std::unique_ptr<SerialLine> inner)
        : tap_(tap), inner_(std::move(inner)) {}
    void write(const QByteArray& bytes) override {
      if (tap_.failNextWrite) {
        tap_.failNextWrite = false;
        throw std::runtime_error("the serial driver failed");
      }
      tap_.note(true, bytes);
      inner_->write(bytes);
    }
    QByteArray readAll() override {
      const QByteArray bytes = inner_->readAll();
      tap_.note(false, bytes);
      if (tap_.afterRead) tap_.afterRead(bytes);
      return bytes;
    }

   private:
    TappedSerialSystem& tap_;
    std::unique_ptr<SerialLine> inner_;
  };

  void note(bool write, const QByteArray& bytes) {
    accesses.push_back({write, bytes, scheduler_.nowUs(), scheduler_.currentThread()});
  }

  SerialSystem& inner_;
  Scheduler& scheduler_;
};

QByteArray Bytes(std::initializer_list<int> values) {
  QByteArray out;
  for (int v : values) out.append(char(v));
  return out;
}

// The window over a tapped serial system, with the counter on its only port at first.
class SamplingTest : public CounterWindowTest {
 protected:
  TappedSerialSystem tap{sim.serial, sim.scheduler};

  void SetUp() override {
    counter.plugInto(sim.serial, kCounterPort);
    window = std::make_unique<TELVAR>(Platform{sim.scheduler, tap, sim.dialogs});
  }

  void TearDown() override {
    TELVAR::handlerObserver = nullptr;
    tap.afterRead = nullptr;
    CounterWindowTest::TearDown();
  }

  void advanceTo(qint64 ms) { sim.advance(ms - sim.nowMs()); }
  // The count-rate timer ticks on whole seconds of the window's life.
  qint64 nextTickMs() const { return (sim.nowMs() / 1000 + 1) * 1000; }

  // Series index i holds i + 1; the element past the series holds a mark that must stay.
  static constexpr qint64 kPastTheSeries = -777;
  void fillSeriesWithItsIndices() {
    for (int i = 0; i < kSeriesCounts; ++i) window->CPS[i] = i + 1;
    window->CPS[kSeriesCounts] = kPastTheSeries;
  }
  // True when the series moved by `samples` since fillSeriesWithItsIndices.
  bool seriesMovedBy(int samples) const {
    for (int i = 0; i + samples < kSeriesCounts; ++i)
      if (window->CPS[i] != i + 1 + samples) return false;
    return window->CPS[kSeriesCounts] == kPastTheSeries;
  }

  qint64 newest() const { return window->CPS[kNewestCountIndex]; }

  void expectIdleAfterRun() {
    EXPECT_FALSE(window->GetCPSThreadRunning);
    EXPECT_EQ(window->SerialTimer.mode(), Timer::kRepeating);
    EXPECT_FALSE(window->GetCPS.isRunning());
  }
};

struct ReplyCase {
  const char* name;
  std::vector<qint32> counts;
  std::vector<SimFault> faults;  // on the first GETCPS replies, one each
  qint64 stored;
  int commands;
  int run_ms;  // from the tick to the end of the run
};

TEST_F(SamplingTest, EachRunStoresOneSampleFromTheFirstFourByteReply) {
  constexpr int kSettle = 100;  // the count's wait
  const std::vector<ReplyCase> cases = {
      {"00 00 01 2C is 300", {300}, {}, 300, 1, 100},
      {"FF FF FF FE is -2", {-2}, {}, -2, 1, 100},
      {"80 00 00 00 keeps its sign",
       {std::numeric_limits<qint32>::min()},
       {},
       std::numeric_limits<qint32>::min(),
       1,
       100},
      {"3, 5 and 0 bytes: three commands, then 0",
       {300},
       {SimFault::shortBy(1), SimFault::longBy(1), SimFault::noReply()},
       0,
       3,
       300 + 2 * kSettle},
      // The run before ended on an attempt that heard nothing: this run's first attempt goes out
      // at once, a late reply to it being the same answer. The second follows two bytes, so the
      // line is let fall silent for a wait before it.
      {"2 bytes, then 4: two commands", {300}, {SimFault::shortBy(2)}, 300, 2, 200 + kSettle},
      // Nothing by the end of the first wait, so the second attempt goes out at once; the late
      // reply joins its reply, and the third, after the line has settled, is taken alone.
      {"a reply later than its wait spoils the next attempt only",
       {300, 41},
       {SimFault::late(150)},
       41,
       3,
       300 + kSettle},
  };
  connectToCounter();
  for (const ReplyCase& c : cases) {
    SCOPED_TRACE(c.name);
    counter.clearFaults();
    counter.answerCounts(c.counts);
    for (const SimFault& fault : c.faults) counter.addFault(SimCommand::GETCPS, fault);
    fillSeriesWithItsIndices();
    const int asked_before = counter.timesReceived(SimCommand::GETCPS);

    advanceTo(nextTickMs());
    EXPECT_TRUE(window->GetCPSThreadRunning);
    EXPECT_EQ(window->SerialTimer.mode(), Timer::kOff) << "the console is off the port";
    sim.advance(c.run_ms - 1);
    EXPECT_TRUE(window->GetCPSThreadRunning) << "the run ends " << c.run_ms << " ms after the tick";
    sim.advance(1);
    expectIdleAfterRun();

    EXPECT_EQ(counter.timesReceived(SimCommand::GETCPS) - asked_before, c.commands);
    EXPECT_EQ(newest(), c.stored);
    EXPECT_TRUE(seriesMovedBy(1)) << "every count moves one place, the oldest goes";
    advanceTo(nextTickMs() - 1);  // let any late bytes arrive before the next case
  }
  for (const SimCounter::Received& r : counter.log()) {
    if (r.command == SimCommand::GETCPS) {
      EXPECT_EQ(r.bytes, QByteArray("<GETCPS>>"));
    }
  }
}

TEST_F(SamplingTest, BytesBeforeTheCommandAndAfterTheReplyNeverCount) {
  connectToCounter();
  counter.answerCounts({300});
  const QByteArray before = Bytes({0x00, 0x00, 0x01});
  const QByteArray after = Bytes({0x7F, 0x7F});
  // Bytes waiting on the line as the run begins, before the console has been stopped.
  TELVAR::handlerObserver = [&](const char* name) {
    if (QByteArray(name) == "GetCPS_Run") counter.port()->send(before, 0);
  };
  // Bytes arriving right after the poll has taken its reply.
  bool sent_after = false;
  // The reply is taken at the read that ends the wait, the one that finds the line quiet.
  bool reply_read = false;
  tap.afterRead = [&](const QByteArray& read) {
    if (sim.scheduler.currentThread() != &window->GetCPS || sent_after) return;
    if (read.size() == 4) reply_read = true;
    if (reply_read && read.isEmpty()) {
      sent_after = true;
      counter.port()->send(after, 0);
    }
  };
  fillSeriesWithItsIndices();
  advanceTo(nextTickMs());
  sim.advance(100);
  expectIdleAfterRun();

  EXPECT_EQ(newest(), 300);
  EXPECT_EQ(counter.timesReceived(SimCommand::GETCPS), 1);
  EXPECT_EQ(counter.port()->pendingToProgram(), 0) << "the run leaves nothing for the console";
  const std::vector<TappedSerialSystem::Access> poll = tap.by(&window->GetCPS);
  ASSERT_EQ(poll.size(), 4u);
  EXPECT_EQ(poll[0].bytes, before);
  EXPECT_TRUE(poll[1].write);
  EXPECT_EQ(poll[2].bytes, Bytes({0x00, 0x00, 0x01, 0x2C}));
  EXPECT_EQ(poll[3].bytes, after);
}

TEST_F(SamplingTest, ATickWhileARunIsUnderWayStartsNothing) {
  connectToCounter();
  counter.addFault(SimCommand::GETCPS, SimFault::noReply(), SimCounter::kAlways);
  fillSeriesWithItsIndices();
  const qint64 tick = nextTickMs();
  for (int after : {0, 50, 150, 250}) {
    advanceTo(tick + after);
    ASSERT_TRUE(window->GetCPSThreadRunning);
    sim.scheduler.runHandler([this] { window->GetCPSTimer_Action(); });
  }
  advanceTo(nextTickMs() - 1);
  expectIdleAfterRun();
  EXPECT_EQ(counter.timesReceived(SimCommand::GETCPS), 3) << "one run of three attempts";
  EXPECT_TRUE(seriesMovedBy(1));
  EXPECT_EQ(newest(), 0);
}

TEST_F(SamplingTest, NoPollStartsWhileAHistoryDownloadOwnsThePort) {
  connectToCounter();
  counter.answerCounts({12});
  fillSeriesWithItsIndices();
  window->download_started = true;
  // As after a Disconnect and a new Connect during a download.
  window->GetCPSTimer.setMode(Timer::kRepeating);
  sim.advance(3000);
  EXPECT_EQ(counter.timesReceived(SimCommand::GETCPS), 0);
  EXPECT_TRUE(seriesMovedBy(0));
  EXPECT_FALSE(window->GetCPSThreadRunning);
  EXPECT_FALSE(window->GetCPS.isRunning());

  window->download_started = false;
  advanceTo(nextTickMs() + 100);
  EXPECT_EQ(counter.timesReceived(SimCommand::GETCPS), 1);
  EXPECT_EQ(newest(), 12);
}

TEST_F(SamplingTest, ARunEndedEarlyStillGivesThePortBack) {
  struct Case {
    const char* name;
    std::function<void()> end_early;
    bool reports_error;
  };
  const std::vector<Case> cases = {
      {"the port raises an error",
       [this] {
         tap.failNextWrite = true;
         advanceTo(nextTickMs());
       },
       true},
      {"the thread is killed during its wait",
       [this] {
         advanceTo(nextTickMs() + 50);
         ASSERT_TRUE(window->GetCPSThreadRunning);
         window->GetCPS.Kill();
       },
       false},
  };
  connectToCounter();
  counter.answerCounts({77});
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    sim.unhandledErrors.clear();
    c.end_early();
    expectIdleAfterRun();
    EXPECT_EQ(sim.unhandledErrors.size(), c.reports_error ? 1 : 0);
    sim.unhandledErrors.clear();

    // The next tick polls as usual.
    window->CPS[kNewestCountIndex] = -1;
    advanceTo(nextTickMs() + 100);
    expectIdleAfterRun();
    EXPECT_EQ(newest(), 77);
  }
}

TEST_F(SamplingTest, ADisconnectDuringAPollEndsItWithZero) {
  connectToCounter();
  counter.answerCounts({55});
  advanceTo(nextTickMs() + 50);
  ASSERT_TRUE(window->GetCPSThreadRunning);
  disconnect();
  sim.advance(400);
  expectIdleAfterRun();
  EXPECT_EQ(newest(), 0);
  EXPECT_EQ(counter.timesReceived(SimCommand::GETCPS), 1);
}

TEST_F(SamplingTest, BeforeAnyConnectionEachTickStoresZeroAndAsksNothing) {
  for (int i = 0; i < kSeriesCounts; ++i) window->CPS[i] = 7;
  for (int second = 1; second <= 5; ++second) {
    advanceTo(second * 1000 + 500);
    SCOPED_TRACE(second);
    for (int i = kSeriesCounts - second; i < kSeriesCounts; ++i) ASSERT_EQ(window->CPS[i], 0);
    ASSERT_EQ(window->CPS[kSeriesCounts - second - 1], 7) << "one entry a second, no more";
    expectIdleAfterRun();
  }
  EXPECT_EQ(counter.timesReceived(SimCommand::GETCPS), 0);
  EXPECT_TRUE(tap.by(&window->GetCPS).empty()) << "the poll never touched a port";
}

TEST_F(SamplingTest, APollNeverMixesWithTheVersionProbesOfDiscovery) {
  // The count-rate tick and the discovery tick fall on the same instants, the poll first. A port
  // that has come since the last tick makes discovery probe every port, the counter's first,
  // while the poll of that second is on its attempts.
  for (int second = 1; second <= 3; ++second) {
    advanceTo(second * 1000 - 100);
    sim.serial.addPort(QStringLiteral("/dev/ttyS%1").arg(second));
    advanceTo(second * 1000 + 900);
    SCOPED_TRACE(second);
    ASSERT_EQ(counter.timesReceived(SimCommand::GETVER), second + 1) << "the counter was probed";
    EXPECT_EQ(window->SerialPortsPopupMenu.count(), second + 1);
    EXPECT_EQ(window->SerialPortsPopupMenu.itemText(0).toStdString(), "KAV SIM 1.00");
    EXPECT_EQ(newest(), 0);
  }
  EXPECT_EQ(counter.timesReceived(SimCommand::GETCPS), 0);
  EXPECT_TRUE(counter.ignoredInput().isEmpty());
  EXPECT_TRUE(tap.by(&window->GetCPS).empty());

  // Once connected the poll asks the counter.
  counter.answerCounts({9});
  window->SerialPortsPopupMenu.setCurrentIndex(0);
  connectToCounter();
  advanceTo(nextTickMs() + 100);
  EXPECT_EQ(newest(), 9);
}

TEST(SeriesShift, MovesEveryCountTowardsTheOldestEndAndGivesWayAsItGoes) {
  std::vector<qint64> cps(kSeriesCounts + 1);
  for (int i = 0; i < kSeriesCounts; ++i) cps[i] = 10 * i;
  cps[kSeriesCounts] = -1;
  int turns = 0;
  ShiftInNewestCount(cps.data(), 42, [&] { ++turns; });
  for (int i = 0; i < kNewestCountIndex; ++i) ASSERT_EQ(cps[i], 10 * (i + 1)) << i;
  EXPECT_EQ(cps[kNewestCountIndex], 42);
  EXPECT_EQ(cps[kSeriesCounts], -1) << "the element past the series is never touched";
  EXPECT_GE(turns, kNewestCountIndex / kShiftBlockMoves);
}

}  // namespace

namespace {

// A count that straddles the read at the end of the wait must never be joined with the head of
// the next attempt's count: the stored count is one the counter sent, or 0.
TEST_F(SamplingTest, ACountIsNeverMadeOfTwoReplies) {
  struct Case {
    const char* name;
    SimFault fault;
  };
  const Case cases[] = {
      {"two answered 97.6 ms late", {SimFault::Kind::Late, 0, 97600}},
      {"two in parts with a 97.5 ms pause", {SimFault::Kind::Split, 2, 97500}},
  };
  connectToCounter();
  const std::vector<qint32> counts = {0x11111111, 0x22222222, 0x33333333, 0x44444444};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    counter.clearFaults();
    counter.answerCounts(counts);
    counter.addFault(SimCommand::GETCPS, c.fault, 2);
    advanceTo(nextTickMs());
    sim.advance(900);
    expectIdleAfterRun();
    const qint64 stored = newest();
    EXPECT_TRUE(stored == 0 || std::find(counts.begin(), counts.end(), stored) != counts.end())
        << "stored " << std::hex << stored;
    advanceTo(nextTickMs() - 1);
  }
}

}  // namespace

namespace {

// A count written before a Disconnect and a Connect made during the poll's wait belongs to the
// old connection: the poll takes nothing from the new one, although the caption reads
// "Disconnect" again by the end of the wait, and asks again.
TEST_F(SamplingTest, NothingIsTakenFromAConnectionMadeDuringThePollsWait) {
  connectToCounter();
  counter.answerCounts({300});
  advanceTo(nextTickMs());
  sim.advance(10);
  ASSERT_TRUE(window->GetCPSThreadRunning);
  disconnect();
  window->ConnectButton.click();
  ASSERT_EQ(window->ConnectButton.text(), QStringLiteral("Disconnect"));
  counter.port()->send(Bytes({0x00, 0xAB, 0xCD, 0xEF}), sim.nowUs());
  sim.advance(900);
  expectIdleAfterRun();
  EXPECT_EQ(newest(), 300) << "the count came from the old connection's exchange";
}

}  // namespace
