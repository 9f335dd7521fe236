#include <gtest/gtest.h>

#include <functional>
#include <limits>

#include "link/connection.h"
#include "link/protocol.h"
#include "platform/scheduler.h"
#include "platform/serial.h"
#include "support/counter_line.h"
#include "support/sim_counter.h"
#include "support/simulation.h"

namespace {

QByteArray bytes(std::initializer_list<int> values) {
  QByteArray out;
  for (int v : values) out.append(char(v));
  return out;
}

QByteArray spir(int a2, int a1, int a0, int l1, int l0) {
  return QByteArray("<SPIR") + bytes({a2, a1, a0, l1, l0}) + ">>";
}

QByteArray endingIn(qsizetype size, char last) {
  QByteArray reply(size, 'x');
  if (size > 0) reply.back() = last;
  return reply;
}

// ---------------------------------------------------------------------------------------------
// Framing

TEST(CommandFraming, EveryCommandOfTheTableToTheByte) {
  struct Case {
    const char* name;
    QByteArray command;
    QByteArray expected;
  };
  const std::vector<Case> cases = {
      {"GETVER", commandGETVER(), "<GETVER>>"},
      {"GETCPS", commandGETCPS(), "<GETCPS>>"},
      {"SPIR first page", commandSPIR(0), spir(0x00, 0x00, 0x00, 0x10, 0x00)},
      {"SPIR second page", commandSPIR(4096), spir(0x00, 0x10, 0x00, 0x10, 0x00)},
      {"SPIR page at 65536", commandSPIR(65536), spir(0x01, 0x00, 0x00, 0x10, 0x00)},
      {"SPIR last page", commandSPIR(1048576 - 4096), spir(0x0F, 0xF0, 0x00, 0x10, 0x00)},
      {"SPIR any address and length", commandSPIR(0xABCDEF, 0x1234),
       spir(0xAB, 0xCD, 0xEF, 0x12, 0x34)},
      {"GETSERIAL", commandGETSERIAL(), "<GETSERIAL>>"},
      {"DSID", commandDSID(), "<DSID>>"},
      {"FACTORYRESET", commandFACTORYRESET(), "<FACTORYRESET>>"},
      {"REBOOT", commandREBOOT(), "<REBOOT>>"},
  };
  for (const Case& c : cases) EXPECT_EQ(c.command, c.expected) << c.name;
  for (const Case& c : cases) {
    if (c.command.startsWith("<SPIR")) {
      EXPECT_EQ(c.command.size(), 12) << c.name;
    }
  }
}

TEST(CommandFraming, ScreenImageQueriesCarryTheImageDigit) {
  for (int image = kFirstScreenImage; image <= kLastScreenImage; ++image) {
    const char digit = char('0' + image);
    EXPECT_EQ(commandGETSSN(image), QByteArray("<GETSSN") + digit + ">>");
    EXPECT_EQ(commandGETSS(image), QByteArray("<GETSS") + digit + ">>");
  }
  EXPECT_EQ(commandGETSSN(3).size(), 10);
  EXPECT_EQ(commandGETSS(3).size(), 9);
}

// ---------------------------------------------------------------------------------------------
// Reply rules

TEST(ReplyRules, AcceptOnlyWhatTheTableAllows) {
  using Rule = std::function<bool(QByteArrayView)>;
  const Rule version = isCounterVersion, count = isCountReply, page = isHistoryPageReply,
             stamp = isTimestampReply, picture = isPictureReply;
  const char aa = kReplyEnd;
  struct Case {
    const char* name;
    Rule rule;
    QByteArray reply;
    bool accepted;
  };
  const std::vector<Case> cases = {
      {"version: KAV", version, "KAV", true},
      {"version: ZUR", version, "ZUR", true},
      {"version: family word after other text", version, "Counter\r\nmodel KAV-7 v2.1\r\n", true},
      {"version: family word at the very end", version, "xxZUR", true},
      {"version: neither word, however long", version, QByteArray(5000, 'A'), false},
      {"version: a word split by a byte", version, "KA V", false},
      {"version: small letters", version, "kav zur", false},
      {"version: empty", version, "", false},
      {"count: 4 bytes of any value", count, bytes({0xFF, 0x00, 0xAA, 0x3E}), true},
      {"count: 3 bytes", count, "abc", false},
      {"count: 5 bytes", count, "abcde", false},
      {"count: empty", count, "", false},
      {"page: 4096 bytes", page, QByteArray(4096, char(0xFF)), true},
      {"page: 4095 bytes", page, QByteArray(4095, '\0'), false},
      {"page: 4097 bytes", page, QByteArray(4097, '\0'), false},
      {"page: empty", page, "", false},
      {"timestamp: 7 bytes ending 0xAA", stamp, endingIn(7, aa), true},
      {"timestamp: 7 bytes ending otherwise", stamp, endingIn(7, char(0xAB)), false},
      {"timestamp: 6 bytes ending 0xAA", stamp, endingIn(6, aa), false},
      {"timestamp: 8 bytes ending 0xAA", stamp, endingIn(8, aa), false},
      {"timestamp: empty", stamp, "", false},
      {"picture: 1025 bytes ending 0xAA", picture, endingIn(1025, aa), true},
      {"picture: 1025 bytes ending otherwise", picture, endingIn(1025, '\0'), false},
      {"picture: 1024 bytes ending 0xAA", picture, endingIn(1024, aa), false},
      {"picture: 1026 bytes ending 0xAA", picture, endingIn(1026, aa), false},
      {"picture: empty", picture, "", false},
  };
  for (const Case& c : cases) EXPECT_EQ(c.rule(c.reply), c.accepted) << c.name;
}

TEST(ReplyRules, CountIsSignedBigEndian) {
  struct Case {
    QByteArray reply;
    qint32 count;
  };
  const std::vector<Case> cases = {
      {bytes({0x00, 0x00, 0x01, 0x2C}), 300},
      {bytes({0xFF, 0xFF, 0xFF, 0xFE}), -2},
      {bytes({0x12, 0x34, 0x56, 0x78}), 0x12345678},
      {bytes({0x7F, 0xFF, 0xFF, 0xFF}), std::numeric_limits<qint32>::max()},
      {bytes({0x80, 0x00, 0x00, 0x00}), std::numeric_limits<qint32>::min()},
  };
  for (const Case& c : cases) EXPECT_EQ(decodeCount(c.reply), c.count) << c.reply.toHex().data();
  EXPECT_EQ(decodeCount(bytes({0x01, 0x02, 0x03})), std::nullopt);
}

TEST(ReplyRules, TimestampBytesHoldTheirNumbersDirectly) {
  // 0x19 is 25, not the BCD for 19.
  EXPECT_EQ(decodeCounterTimestamp(bytes({19, 3, 7, 14, 5, 9})),
            (CounterTimestamp{2019, 3, 7, 14, 5, 9}));
  EXPECT_EQ(decodeCounterTimestamp(bytes({0x19, 0x12, 0x31, 0x23, 0x59, 0x59})),
            (CounterTimestamp{2025, 18, 49, 35, 89, 89}));
  // The timestamp reply: six bytes, then the end marker, which is not part of the time.
  EXPECT_EQ(decodeCounterTimestamp(bytes({24, 12, 31, 23, 59, 58, 0xAA})),
            (CounterTimestamp{2024, 12, 31, 23, 59, 58}));
  EXPECT_EQ(decodeCounterTimestamp(bytes({0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF})),
            (CounterTimestamp{2255, 255, 255, 255, 255, 255}));
  EXPECT_EQ(decodeCounterTimestamp(bytes({24, 1, 1, 0, 0})), std::nullopt);
}

TEST(ReplyRules, YearByteTellsAnEmptyImageSlot) {
  struct Case {
    int year;
    bool empty;
  };
  for (const Case& c : std::vector<Case>{{0, true}, {18, true}, {19, false}, {99, false},
                                         {254, false}, {255, true}})
    EXPECT_EQ(timestampMarksNoImage(bytes({c.year, 1, 1, 0, 0, 0, 0xAA})), c.empty) << c.year;
}

// ---------------------------------------------------------------------------------------------
// The exchange, in virtual time against the simulated counter

struct Exchange : CounterLineTest {};

TEST_F(Exchange, DropsPendingInputThenWritesOnceSleepsAndReads) {
  port.send("left over", sim.nowUs());
  sim.advance(5);
  ASSERT_EQ(port.pendingToProgram(), 9);

  const qint64 start = sim.nowUs();
  const std::optional<QByteArray> reply = exchangeOnce(commandGETVER(), 100);

  EXPECT_EQ(reply, counter.version);
  EXPECT_EQ(sim.nowUs() - start, 100000);
  ASSERT_EQ(port.writes().size(), 1u);
  EXPECT_EQ(port.writes()[0].bytes, "<GETVER>>");
  EXPECT_EQ(port.writes()[0].at_us, start);
  EXPECT_EQ(port.pendingToProgram(), 0);
}

TEST_F(Exchange, SleepsOnAWorkerWithoutHoldingTheWindow) {
  Thread worker(sim.scheduler, 5);
  qint64 started = -1, returned = -1;
  std::optional<QByteArray> reply;
  worker.run = [&] {
    started = sim.nowUs();
    reply = exchange(uart, sim.scheduler, commandGETCPS(), 100, 1, isCountReply);
    returned = sim.nowUs();
  };
  worker.Run();
  sim.advance(60);
  EXPECT_TRUE(worker.isRunning());  // the window went on while the worker slept
  ASSERT_EQ(port.writes().size(), 1u);
  sim.advance(60);
  EXPECT_FALSE(worker.isRunning());
  EXPECT_EQ(returned - started, 100000);
  ASSERT_TRUE(reply);
  EXPECT_EQ(decodeCount(*reply), 25);
}

TEST_F(Exchange, TakesOnlyAReplyThatPassesItsRule) {
  counter.addFault(SimCommand::GETCPS, SimFault::shortBy(1));
  EXPECT_EQ(exchangeOnce(commandGETCPS(), 100, 1, isCountReply), std::nullopt);
  EXPECT_EQ(exchangeOnce(commandGETCPS(), 100, 1, isCountReply)->size(), 4);
}

TEST_F(Exchange, ALateReplyNeverJoinsTheNextOne) {
  // The first reply straddles the read; before the second question the line is let fall quiet,
  // so its tail is dropped, and the second reply is taken alone.
  counter.answerCounts({0x11111111, 0x22222222});
  counter.addFault(SimCommand::GETCPS, {SimFault::Kind::Late, 0, 97600});
  EXPECT_EQ(exchangeOnce(commandGETCPS(), 100, 1, isCountReply), std::nullopt);
  const qint64 start = sim.nowUs();
  const std::optional<QByteArray> second = exchangeOnce(commandGETCPS(), 100, 1, isCountReply);
  ASSERT_TRUE(second);
  EXPECT_EQ(decodeCount(*second), 0x22222222);
  // The line must be silent for as long as the wait; the tail comes during the first such
  // period, so it is given a second one. Then the usual wait.
  EXPECT_EQ(sim.nowUs() - start, 2 * 100000 + 100000);
}

TEST_F(Exchange, AfterPartOfAPageTheLineMustBeSilentLongerThanTheWait) {
  // A counter that stopped part-way through a page, or has not begun it, may go on after the
  // wait, into whatever is asked next: a silence as long as the wait is followed by a longer one.
  // One that sent too much, or the rest of its page while the line settled, has nothing more to
  // come. The short replies keep their wait as their silence.
  const Question page{commandSPIR(0), 600, isHistoryPageReply};
  const Question count{commandGETCPS(), 100, isCountReply};
  struct Case {
    const char* name;
    SimCommand failed_kind;
    Question failed;
    SimFault fault;
    Question next;
    int silence_ms;
  };
  const Case cases[] = {
      {"part of a page, the page again", SimCommand::SPIR, page, SimFault::shortBy(1), page,
       600 + kOwedReplyQuietMs},
      {"part of a page, then a count", SimCommand::SPIR, page, SimFault::shortBy(4), count,
       100 + kOwedReplyQuietMs},
      {"a late page, its rest dropped", SimCommand::SPIR, page, SimFault::late(300), page,
       2 * 600},
      {"a page and a byte", SimCommand::SPIR, page, SimFault::longBy(1), page, 600},
      {"no page", SimCommand::SPIR, page, SimFault::noReply(), page, 600 + kOwedReplyQuietMs},
      {"part of a count", SimCommand::GETCPS, count, SimFault::shortBy(1), count, 100},
  };
  counter.memory = QByteArray(2 * kHistoryPageBytes, 'm');
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    uart.Close();
    ASSERT_TRUE(uart.Open());  // a new connection owes nothing
    counter.clearFaults();
    counter.addFault(c.failed_kind, c.fault);
    EXPECT_EQ(exchangeOnce(c.failed.command, c.failed.wait_ms, 1, c.failed.passes), std::nullopt);
    const qint64 next_start = sim.nowUs();
    EXPECT_TRUE(exchangeOnce(c.next.command, c.next.wait_ms, 1, c.next.passes));
    ASSERT_FALSE(port.writes().empty());
    EXPECT_EQ(port.writes().back().at_us - next_start, qint64(c.silence_ms) * 1000);
  }
}

TEST_F(Exchange, ARightLengthWithBytesStillArrivingIsRefused) {
  // Four bytes by the end of the wait, as many as a count, but the last two came in its final
  // moments: a reply still arriving, not a whole one.
  const qint64 now = sim.nowUs();
  counter.addFault(SimCommand::GETCPS, SimFault::noReply());
  port.send("ab", now + 60000);
  port.send("cd", now + 90000);
  EXPECT_EQ(exchangeOnce(commandGETCPS(), 100, 1, isCountReply), std::nullopt);
  // The same four bytes, all come well before the end, pass (on a fresh connection, which owes
  // nothing and so has no need to let the line settle first).
  counter.addFault(SimCommand::GETCPS, SimFault::noReply());
  sim.advance(200);
  uart.Close();
  ASSERT_TRUE(uart.Open());
  port.send("abcd", sim.nowUs() + 60000);
  EXPECT_EQ(exchangeOnce(commandGETCPS(), 100, 1, isCountReply), QByteArray("abcd"));
}

TEST_F(Exchange, NothingIsTakenFromAConnectionMadeDuringTheWait) {
  Thread worker(sim.scheduler, 5);
  std::optional<QByteArray> reply = QByteArray("untouched");
  worker.run = [&] { reply = exchange(uart, sim.scheduler, commandGETCPS(), 100, 1, isCountReply); };
  worker.Run();
  sim.advance(10);
  ASSERT_EQ(port.writes().size(), 1u);
  // Disconnect and Connect again while the worker waits: the count written before is on the line
  // of the new connection too, but it is not the new connection's.
  uart.Close();
  ASSERT_TRUE(uart.Open());
  port.send(QByteArray("\x00\x00\x01\x2C", 4), sim.nowUs());
  sim.advance(200);
  EXPECT_FALSE(worker.isRunning());
  EXPECT_EQ(reply, std::nullopt);
  EXPECT_EQ(port.pendingToProgram(), 4) << "nothing was read from the new connection";
}

TEST_F(Exchange, PictureReadsTwiceAndJoinsThePartsOfASplitReply) {
  uart.Close();
  SplitReadSerialSystem splitting(sim.serial);
  Serial split_uart(splitting);
  split_uart.setSerialPort(splitting.SerialPortAt(0));
  ASSERT_TRUE(split_uart.Open());

  splitting.splitNextRead(600);
  Scheduler::HandlerScope handler(sim.scheduler);
  const std::optional<QByteArray> reply =
      exchange(split_uart, sim.scheduler, commandGETSS(2), 1000, kPictureReads, isPictureReply);
  EXPECT_EQ(reply, counter.images[1].picture + kReplyEnd);

  // With one read, the part the driver held back comes at the end of the wait, as bytes still
  // arriving do: no reply is taken.
  splitting.splitNextRead(600);
  EXPECT_EQ(exchange(split_uart, sim.scheduler, commandGETSS(2), 1000, 1, isPictureReply),
            std::nullopt);
}

TEST_F(Exchange, OnAClosedPortSleepsAndReadsNothing) {
  uart.Close();
  const qint64 start = sim.nowUs();
  EXPECT_EQ(exchangeOnce(commandGETVER(), 100), std::nullopt);
  EXPECT_EQ(sim.nowUs() - start, 100000);
  EXPECT_TRUE(port.writes().empty());
}

}  // namespace
