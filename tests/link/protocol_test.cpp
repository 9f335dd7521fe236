#include "link/protocol.h"

#include <gtest/gtest.h>

#include <functional>
#include <limits>
#include <vector>

#include "link/connection.h"
#include "link/exchange.h"
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
  // A byte the bytes lack reads 0.
  EXPECT_EQ(decodeCounterTimestamp(bytes({24, 1, 1, 9})), (CounterTimestamp{2024, 1, 1, 9, 0, 0}));
}

TEST(ReplyRules, YearByteTellsAnEmptyImageSlot) {
  struct Case {
    int year;
    bool empty;
  };
  for (const Case& c : std::vector<Case>{
           {0, true}, {18, true}, {19, false}, {99, false}, {254, false}, {255, true}})
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
    reply = exchange(uart, sim.scheduler, {commandGETCPS(), 100, isCountReply});
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

TEST_F(Exchange, AReplyWholeByTheEndOfItsWaitIsTaken) {
  // However late within its wait a reply ends, it is taken; one whose last bytes come in the
  // wait's final moments is read on until the line is quiet, and taken then.
  const Question count{commandGETCPS(), 100, isCountReply};
  const Question page{commandSPIR(0), 600, isHistoryPageReply};
  const Question version{commandGETVER(), 100, isCounterVersion};
  struct Case {
    const char* name;
    SimCommand kind;
    Question question;
    qint64 reply_ends_ms;  // the reply's last byte, after the command
    qint64 taken_after_ms;
  };
  const Case cases[] = {
      {"a count at 85 ms", SimCommand::GETCPS, count, 85, 120},
      {"a count at 99 ms", SimCommand::GETCPS, count, 99, 120},
      {"a count at 70 ms", SimCommand::GETCPS, count, 70, 100},
      {"a page ending at 587 ms", SimCommand::SPIR, page, 587, 620},
      {"a page ending at 599 ms", SimCommand::SPIR, page, 599, 620},
      {"a page ending at 615 ms", SimCommand::SPIR, page, 615, 640},
      {"a version at 85 ms", SimCommand::GETVER, version, 85, 120},
      {"a version at 99 ms", SimCommand::GETVER, version, 99, 120},
  };
  counter.memory = QByteArray(kHistoryPageBytes, 'm');
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    uart.Close();
    ASSERT_TRUE(uart.Open());
    counter.clearFaults();
    // From the command's last byte at the counter to the reply's last byte at the program.
    const qsizetype reply_bytes = c.kind == SimCommand::GETCPS ? 4
                                  : c.kind == SimCommand::SPIR ? kHistoryPageBytes
                                                               : counter.version.size();
    const qint64 late_us = c.reply_ends_ms * 1000 - wireTimeUs(c.question.command.size()) -
                           counter.latencyUs - wireTimeUs(reply_bytes);
    counter.addFault(c.kind, {SimFault::Kind::Late, 0, late_us});
    const qint64 start = sim.nowUs();
    EXPECT_TRUE(exchangeOnce(c.question.command, c.question.wait_ms, 1, c.question.passes));
    EXPECT_EQ(sim.nowUs() - start, c.taken_after_ms * 1000);
    EXPECT_EQ(lineStateOf(uart), LineState{}) << "a reply taken leaves the line clean";
  }
}

TEST_F(Exchange, AReplyStillArrivingAfterTheReadOnIsRefused) {
  // Four bytes by the end of the wait, as many as a count, but bytes keep coming after it: a
  // reply still arriving, not a whole one.
  counter.addFault(SimCommand::GETCPS, SimFault::noReply());
  const qint64 now = sim.nowUs();
  port.send("ab", now + 60000);
  port.send("cd", now + 95000);
  for (qint64 at_ms = 105; at_ms < 300; at_ms += 15) port.send("e", now + at_ms * 1000);
  EXPECT_EQ(exchangeOnce(commandGETCPS(), 100, 1, isCountReply), std::nullopt);
  EXPECT_EQ(sim.nowUs() - now, (100 + kReadOnLimitMs) * 1000) << "the read-on is bounded";
  const LineState line = lineStateOf(uart);
  EXPECT_EQ(line.kind, LineState::Kind::Owed);
  EXPECT_TRUE(line.heard);
}

TEST_F(Exchange, AfterAFaultTheLineSettlesOnceAndAsLongAsTheFaultNeeds) {
  // Nothing came: a retry of the same command goes out at once, a late reply to it being the same
  // answer. Part of a reply, or too much: as long a silence as the next wait first (after part of
  // a page, at least the page's). Before another page, after part of a page or where a late reply
  // could pass for the next question's, a longer silence, since a counter may pause within a page
  // or be late for that long.
  const Question page{commandSPIR(0), 600, isHistoryPageReply};
  const Question next_page{commandSPIR(kHistoryPageBytes), 600, isHistoryPageReply};
  const Question count{commandGETCPS(), 100, isCountReply};
  const Question timestamp{commandGETSSN(1), 500, isTimestampReply};
  struct Failed {
    SimCommand kind;
    Question question;
    SimFault fault;
    bool taken = false;  // the fault is on an earlier attempt, and this one took its reply
  };
  struct Case {
    const char* name;
    std::vector<Failed> before;
    Question next;
    int silence_ms;
  };
  const SimFault none = SimFault::noReply();
  const Case cases[] = {
      {"part of a page, the page again",
       {{SimCommand::SPIR, page, SimFault::shortBy(1)}},
       page,
       kOwedReplyQuietMs},
      {"part of a page, then a count",
       {{SimCommand::SPIR, page, SimFault::shortBy(4)}},
       count,
       600},
      {"a page and a byte, the page again",
       {{SimCommand::SPIR, page, SimFault::longBy(1)}},
       page,
       600},
      {"no page, the page again", {{SimCommand::SPIR, page, none}}, page, 0},
      {"no page, then the next page",
       {{SimCommand::SPIR, page, none}},
       next_page,
       kOwedReplyQuietMs},
      {"a page taken on a retry, then the next page",
       {{SimCommand::SPIR, page, none}, {SimCommand::SPIR, page, none, true}},
       next_page,
       kOwedReplyQuietMs},
      {"part of a count, the count again",
       {{SimCommand::GETCPS, count, SimFault::shortBy(1)}},
       count,
       100},
      {"no count, the count again", {{SimCommand::GETCPS, count, none}}, count, 0},
      {"no count, then a timestamp", {{SimCommand::GETCPS, count, none}}, timestamp, 500},
      {"a count taken on a retry, then a timestamp",
       {{SimCommand::GETCPS, count, none}, {SimCommand::GETCPS, count, none, true}},
       timestamp,
       100},
      {"a count taken on a retry, then the count again",
       {{SimCommand::GETCPS, count, none}, {SimCommand::GETCPS, count, none, true}},
       count,
       0},
  };
  counter.memory = QByteArray(2 * kHistoryPageBytes, 'm');
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    uart.Close();
    ASSERT_TRUE(uart.Open());  // a new connection owes nothing
    counter.clearFaults();
    for (const Failed& f : c.before) {
      if (!f.taken) counter.addFault(f.kind, f.fault);
      const std::optional<QByteArray> reply =
          exchangeOnce(f.question.command, f.question.wait_ms, 1, f.question.passes);
      EXPECT_EQ(reply.has_value(), f.taken);
    }
    const qint64 next_start = sim.nowUs();
    EXPECT_TRUE(exchangeOnce(c.next.command, c.next.wait_ms, 1, c.next.passes));
    ASSERT_FALSE(port.writes().empty());
    EXPECT_EQ(port.writes().back().at_us - next_start, qint64(c.silence_ms) * 1000);
    // Once settled, the line costs nothing more.
    const qint64 after_start = sim.nowUs();
    EXPECT_TRUE(exchangeOnce(c.next.command, c.next.wait_ms, 1, c.next.passes));
    EXPECT_EQ(port.writes().back().at_us, after_start);
  }
}

TEST_F(Exchange, ALateReplyToAnotherPageNeverPassesForThisOne) {
  // Page 0 is late by more than its wait and is asked for again; the reply taken may be the first
  // attempt's, the second attempt's still to come. Page 1 waits until it has come and gone.
  counter.memory = QByteArray(kHistoryPageBytes, 'a') + QByteArray(kHistoryPageBytes, 'b');
  counter.addFault(SimCommand::SPIR, SimFault::late(700), 2);
  EXPECT_EQ(exchangeOnce(commandSPIR(0), 600, 1, isHistoryPageReply), std::nullopt);
  EXPECT_EQ(exchangeOnce(commandSPIR(0), 600, 1, isHistoryPageReply),
            QByteArray(kHistoryPageBytes, 'a'));
  EXPECT_EQ(exchangeOnce(commandSPIR(kHistoryPageBytes), 600, 1, isHistoryPageReply),
            QByteArray(kHistoryPageBytes, 'b'));
}

TEST_F(Exchange, ALateCountNeverJoinsAPageCutShort) {
  // Two counts late by more than their wait: the retry takes the first, the second comes after
  // it. A page asked next that comes four bytes short must not be made whole by that count.
  counter.memory = QByteArray(kHistoryPageBytes, 'p');
  counter.addFault(SimCommand::GETCPS, SimFault::late(150), 2);
  EXPECT_EQ(exchangeOnce(commandGETCPS(), 100, 1, isCountReply), std::nullopt);
  EXPECT_TRUE(exchangeOnce(commandGETCPS(), 100, 1, isCountReply));
  counter.addFault(SimCommand::SPIR, SimFault::shortBy(4));
  EXPECT_EQ(exchangeOnce(commandSPIR(0), 600, 1, isHistoryPageReply), std::nullopt);
  EXPECT_EQ(exchangeOnce(commandSPIR(0), 600, 1, isHistoryPageReply),
            QByteArray(kHistoryPageBytes, 'p'));
}

TEST_F(Exchange, AClearLineHandsWhatIsPendingToTheConsoleAnOwingOneDropsIt) {
  port.send("console reply", sim.nowUs());
  sim.advance(5);
  EXPECT_TRUE(exchangeOnce(commandGETCPS(), 100, 1, isCountReply));
  EXPECT_EQ(takeConsoleInput(uart), QByteArray("console reply"));
  EXPECT_TRUE(takeConsoleInput(uart).isEmpty()) << "handed over once";

  counter.addFault(SimCommand::GETCPS, SimFault::shortBy(2));
  EXPECT_FALSE(exchangeOnce(commandGETCPS(), 100, 1, isCountReply));
  port.send("rest", sim.nowUs());
  sim.advance(5);
  EXPECT_TRUE(exchangeOnce(commandGETCPS(), 100, 1, isCountReply));
  EXPECT_TRUE(takeConsoleInput(uart).isEmpty()) << "the rest of an owed reply is dropped";

  port.send("kept", sim.nowUs());
  sim.advance(5);
  EXPECT_TRUE(exchangeOnce(commandGETCPS(), 100, 1, isCountReply));
  uart.Close();
  ASSERT_TRUE(uart.Open());
  EXPECT_TRUE(takeConsoleInput(uart).isEmpty()) << "bytes of a closed connection";
}

TEST_F(Exchange, ALineThatNeverFallsSilentIsSettledOnceAndForABoundedTime) {
  // Bytes streaming in without end, as the long answer to a typed command.
  const qint64 start = sim.nowUs();
  for (qint64 at_ms = 0; at_ms < 20000; at_ms += 10) port.send("z", start + at_ms * 1000);
  std::vector<qint64> written_after_ms;
  for (int attempt = 0; attempt < 4; ++attempt) {
    const qint64 before = sim.nowUs();
    EXPECT_FALSE(exchangeOnce(commandGETCPS(), 100, 1, isCountReply));
    written_after_ms.push_back((port.writes().back().at_us - before) / 1000);
  }
  // The first settle gives up a while after its silence could have ended; the next ones know
  // better.
  EXPECT_EQ(written_after_ms, (std::vector<qint64>{0, 100 + kSettleGraceMs, 0, 0}));
  EXPECT_TRUE(lineStateOf(uart).noisy);
}

TEST_F(Exchange, NothingIsTakenFromAConnectionMadeDuringTheWait) {
  Thread worker(sim.scheduler, 5);
  std::optional<QByteArray> reply = QByteArray("untouched");
  worker.run = [&] { reply = exchange(uart, sim.scheduler, {commandGETCPS(), 100, isCountReply}); };
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
      exchange(split_uart, sim.scheduler, {commandGETSS(2), 1000, isPictureReply, kPictureReads});
  EXPECT_EQ(reply, counter.images[1].picture + kReplyEnd);

  // With one read, the part the driver held back comes at the end of the wait, as bytes still
  // arriving do: it is read on, and the reply taken once the line is quiet.
  splitting.splitNextRead(600);
  const qint64 start = sim.nowUs();
  EXPECT_EQ(exchange(split_uart, sim.scheduler, {commandGETSS(2), 1000, isPictureReply}),
            counter.images[1].picture + kReplyEnd);
  EXPECT_EQ(sim.nowUs() - start, (1000 + kQuietTailMs) * 1000);
}

TEST_F(Exchange, OnAClosedPortSleepsAndReadsNothing) {
  uart.Close();
  const qint64 start = sim.nowUs();
  EXPECT_EQ(exchangeOnce(commandGETVER(), 100), std::nullopt);
  EXPECT_EQ(sim.nowUs() - start, 100000);
  EXPECT_TRUE(port.writes().empty());
}

}  // namespace
