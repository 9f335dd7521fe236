#include "support/pty_counter.h"

#include <gtest/gtest.h>

#include <QElapsedTimer>
#include <QThread>

#include "link/exchange.h"
#include "link/protocol.h"
#include "platform/clock.h"
#include "platform/qt_serial.h"
#include "platform/scheduler.h"
#include "platform/serial.h"
#include "support/serial_reads.h"

namespace {

// A history memory in which a page taken from the wrong place shows.
QByteArray patternedMemory() {
  QByteArray memory(kHistoryMemoryBytes, '\0');
  for (qsizetype i = 0; i < memory.size(); ++i) memory[i] = char(i * 31 + 7);
  return memory;
}

// The simulated counter behind a real pseudo-terminal, reached through the program's own Qt
// serial path, in real time. Bounds are generous: only lower bounds on time are exact, since
// the counter never sends a byte before the line would have carried it.
struct CounterOverPty : ::testing::Test {
  PtyCounter counter;
  QtSerialSystem system{QStringList{counter.portPath()}};
  Serial uart{system};
  SteadyClock clock;
  Scheduler scheduler{clock};

  void SetUp() override {
    ASSERT_TRUE(counter.valid());
    uart.setSerialPort(system.SerialPortAt(system.SerialPortCount() - 1));
    ASSERT_TRUE(uart.Open());
  }
};

TEST_F(CounterOverPty, AnswersTheVersionQueryThroughTheExchange) {
  const QByteArray version = counter.withCounter([](SimCounter& c) { return c.version; });
  EXPECT_EQ(exchange(uart, scheduler, {commandGETVER(), 100}), version);
  const auto log = counter.log();
  ASSERT_EQ(log.size(), 1u);
  EXPECT_EQ(log[0].command, SimCommand::GETVER);
}

TEST_F(CounterOverPty, PacesAHistoryPageAtTheWireRate) {
  const QByteArray memory = patternedMemory();
  counter.withCounter([&](SimCounter& c) { c.memory = memory; });

  QElapsedTimer elapsed;
  elapsed.start();
  uart.Write(commandSPIR(4096));
  QThread::msleep(200);
  const QByteArray early = uart.ReadAll();
  EXPECT_LT(early.size(), 4096);
  const QByteArray page = early + readAtLeast(uart, 4096 - early.size());
  const qint64 took_ms = elapsed.elapsed();

  EXPECT_EQ(page, memory.mid(4096, 4096));
  EXPECT_GE(took_ms, 355);
  EXPECT_LT(took_ms, 3000);
}

TEST_F(CounterOverPty, FaultsApplyOverThePseudoTerminalToo) {
  counter.withCounter([](SimCounter& c) {
    c.addFault(SimCommand::GETCPS, SimFault::split(2, 300));
    c.answerCounts({300});
  });
  uart.Write(commandGETCPS());
  const QByteArray first = readAtLeast(uart, 2);
  QElapsedTimer gap;
  gap.start();
  const QByteArray rest = readAtLeast(uart, 2);
  EXPECT_EQ(first, QByteArray::fromHex("0000"));
  EXPECT_EQ(rest, QByteArray::fromHex("012c"));
  EXPECT_GE(gap.elapsed(), 250);
}

// Over a real line: a whole page comes within its wait and is taken; a reply that pauses
// half-way past the end of its wait is not, nor is its rest joined with the next reply.
TEST_F(CounterOverPty, TheExchangeTakesOnlyWholeRepliesOverThePseudoTerminal) {
  const QByteArray memory = patternedMemory();
  counter.withCounter([&](SimCounter& c) {
    c.memory = memory;
    c.addFault(SimCommand::SPIR, SimFault::split(2000, 400));
  });
  EXPECT_EQ(exchange(uart, scheduler, {commandSPIR(0), 600, isHistoryPageReply}), std::nullopt);
  const std::optional<QByteArray> page =
      exchange(uart, scheduler, {commandSPIR(0), 600, isHistoryPageReply});
  ASSERT_TRUE(page);
  EXPECT_TRUE(*page == memory.left(4096));
}

// A page that stops part-way for longer than the wait and then goes on: the line is let fall
// silent for long enough that its rest cannot join the head of the next reply, which has a
// page's length when the next reply stops at the same place.
TEST_F(CounterOverPty, TheRestOfAPageAfterALongPauseJoinsNoOtherReply) {
  const QByteArray memory = patternedMemory();
  counter.withCounter([&](SimCounter& c) {
    c.memory = memory;
    c.addFault(SimCommand::SPIR, SimFault::split(3905, 900), 2);
  });
  std::optional<QByteArray> page;
  int attempts = 0;
  while (!page && attempts < 4) {
    page = exchange(uart, scheduler, {commandSPIR(0), 600, isHistoryPageReply});
    ++attempts;
  }
  ASSERT_TRUE(page);
  EXPECT_TRUE(*page == memory.left(4096))
      << "the page begins with memory byte " << memory.indexOf(page->left(64));
  EXPECT_EQ(attempts, 3);
}

}  // namespace
