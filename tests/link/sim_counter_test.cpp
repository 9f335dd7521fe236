#include "support/sim_counter.h"

#include <gtest/gtest.h>

#include "link/protocol.h"
#include "platform/scheduler.h"
#include "platform/serial.h"
#include "support/counter_line.h"
#include "support/simulation.h"

namespace {

QByteArray bytes(std::initializer_list<int> values) {
  QByteArray out;
  for (int v : values) out.append(char(v));
  return out;
}

QByteArray countBytes(qint32 count) {
  const quint32 bits = quint32(count);
  return bytes(
      {int(bits >> 24), int((bits >> 16) & 0xFF), int((bits >> 8) & 0xFF), int(bits & 0xFF)});
}

QByteArray patternedMemory() {
  QByteArray memory(kHistoryMemoryBytes, '\0');
  for (qsizetype i = 0; i < memory.size(); ++i) memory[i] = char((i / 4096 + i * 13) & 0xFF);
  return memory;
}

struct Counter : CounterLineTest {
  // Writes raw bytes and collects what arrives within wait_ms.
  QByteArray writeAndCollect(const QByteArray& written, int wait_ms) {
    uart.Write(written);
    sim.advance(wait_ms);
    return uart.ReadAll();
  }
};

TEST_F(Counter, AnswersTheWholeCommandTable) {
  counter.memory = patternedMemory();
  counter.countAt = [](qint64 at_us) { return qint32(-at_us / 1000); };
  const QByteArray third_page = counter.memory.mid(2 * 4096, 4096);
  struct Case {
    QByteArray command;
    int wait_ms;
    QByteArray reply;
  };
  const std::vector<Case> cases = {
      {commandGETVER(), 100, counter.version},
      // The count is taken when the command's last byte arrives: 100 ms into the run plus 9
      // bytes on the wire.
      {commandGETCPS(), 100, countBytes(-100)},
      {commandSPIR(2 * 4096), 600, third_page},
      {commandSPIR(1048576 - 16, 16), 100, counter.memory.right(16)},
      {commandSPIR(1048576 - 16, 4096), 600, counter.memory.right(16)},
      {commandGETSSN(1), 100, counter.images[0].timestamp + kReplyEnd},
      {commandGETSSN(4), 100, counter.images[3].timestamp + kReplyEnd},
      {commandGETSS(3), 1000, counter.images[2].picture + kReplyEnd},
      {commandGETSERIAL(), 100, counter.serialNumber},
      {commandDSID(), 100, counter.dsid},
      {commandFACTORYRESET(), 100, counter.factoryResetReply},
      {commandREBOOT(), 100, counter.rebootReply},
  };
  for (const Case& c : cases)
    EXPECT_EQ(ask(c.command, c.wait_ms), c.reply) << c.command.toHex().data();
  EXPECT_EQ(counter.log().size(), cases.size());
  EXPECT_EQ(counter.images[2].picture.size(), kPictureBytes);
}

TEST_F(Counter, DefaultsSuitAFreshCounterWithFourImages) {
  EXPECT_TRUE(isCounterVersion(counter.version));
  EXPECT_EQ(counter.memory, QByteArray(kHistoryMemoryBytes, char(0xFF)));
  for (int n = 1; n <= 4; ++n) {
    const QByteArray stamp = ask(commandGETSSN(n), 500);
    EXPECT_TRUE(isTimestampReply(stamp)) << n;
    EXPECT_FALSE(timestampMarksNoImage(stamp)) << n;
    EXPECT_TRUE(isPictureReply(ask(commandGETSS(n), 1000))) << n;
  }
  EXPECT_NE(counter.images[0].picture, counter.images[1].picture);
  counter.clearImage(2);
  EXPECT_TRUE(timestampMarksNoImage(ask(commandGETSSN(2), 500)));
}

TEST_F(Counter, FaultKnobsDoWhatTheySay) {
  const QByteArray four = countBytes(25);
  const QByteArray page(4096, char(0xFF));
  const QByteArray stamp = counter.images[0].timestamp + kReplyEnd;
  const QByteArray picture = counter.images[0].picture + kReplyEnd;
  QByteArray stamp_wrong_end = stamp;
  stamp_wrong_end.back() = char(0x55);
  struct Case {
    const char* name;
    SimCommand command;
    QByteArray sent;
    int wait_ms;
    QByteArray normal;
    SimFault fault;
    QByteArray faulty;
  };
  const std::vector<Case> cases = {
      {"no reply", SimCommand::GETVER, commandGETVER(), 100, counter.version, SimFault::noReply(),
       ""},
      {"short", SimCommand::GETCPS, commandGETCPS(), 100, four, SimFault::shortBy(1), four.left(3)},
      {"short by more", SimCommand::SPIR, commandSPIR(0), 600, page, SimFault::shortBy(96),
       page.left(4000)},
      {"long", SimCommand::GETCPS, commandGETCPS(), 100, four, SimFault::longBy(1), four + '\0'},
      {"wrong last byte", SimCommand::GETSSN, commandGETSSN(1), 500, stamp,
       SimFault::wrongLastByte(), stamp_wrong_end},
      {"split, both parts within the wait", SimCommand::GETSS, commandGETSS(1), 1000, picture,
       SimFault::split(500, 300), picture},
      {"split, second part after the wait", SimCommand::GETSS, commandGETSS(1), 1000, picture,
       SimFault::split(500, 1000), picture.left(500)},
      {"late beyond the wait", SimCommand::GETVER, commandGETVER(), 100, counter.version,
       SimFault::late(150), ""},
      {"late within the wait", SimCommand::GETVER, commandGETVER(), 100, counter.version,
       SimFault::late(50), counter.version},
      {"stray bytes before the reply", SimCommand::GETCPS, commandGETCPS(), 100, four,
       SimFault::stray(3), "???" + four},
  };
  for (const Case& c : cases) {
    const int reads = c.command == SimCommand::GETSS ? kPictureReads : 1;
    counter.addFault(c.command, c.fault);
    EXPECT_EQ(ask(c.sent, c.wait_ms, reads), c.faulty) << c.name;
    sim.advance(2000);  // a late part passes before the next exchange drops it
    EXPECT_EQ(ask(c.sent, c.wait_ms, reads), c.normal) << c.name << ": one reply only";
  }
}

TEST_F(Counter, AFaultAppliesToItsCountOfRepliesOrToAll) {
  counter.addFault(SimCommand::GETCPS, SimFault::noReply(), 2);
  counter.addFault(SimCommand::GETCPS, SimFault::shortBy(1));
  counter.addFault(SimCommand::GETCPS, SimFault::longBy(1));
  counter.addFault(SimCommand::GETVER, SimFault::noReply(), SimCounter::kAlways);
  QList<qsizetype> sizes;
  for (int i = 0; i < 6; ++i) sizes.append(ask(commandGETCPS(), 100).size());
  EXPECT_EQ(sizes, (QList<qsizetype>{0, 0, 3, 5, 4, 4}));
  for (int i = 0; i < 5; ++i) EXPECT_EQ(ask(commandGETVER(), 100), "") << i;

  counter.clearFaults();
  EXPECT_EQ(ask(commandGETVER(), 100), counter.version);
}

TEST_F(Counter, OpenFailsWhileAskedTo) {
  uart.Close();
  counter.setOpenFails(true);
  EXPECT_FALSE(uart.Open());
  counter.setOpenFails(false);
  EXPECT_TRUE(uart.Open());
}

TEST_F(Counter, ThePortGoesAwayOnRequestOrAtACommand) {
  counter.addFault(SimCommand::SPIR, SimFault::vanish());
  EXPECT_EQ(ask(commandSPIR(0), 600), "");
  EXPECT_EQ(sim.serial.SerialPortCount(), 0);
  EXPECT_EQ(ask(commandGETVER(), 100), "");  // the open line reads nothing now
  EXPECT_FALSE(uart.Open());

  Simulation other;
  SimCounter second;
  second.plugInto(other.serial, "ttyACM0");
  EXPECT_EQ(other.serial.SerialPortCount(), 1);
  second.goAway();
  EXPECT_EQ(other.serial.SerialPortCount(), 0);
}

TEST_F(Counter, CountsComeFromTheSourceOrInTurn) {
  counter.countAt = [](qint64 at_us) { return qint32(at_us / 1000); };
  sim.advance(1000);
  EXPECT_EQ(decodeCount(ask(commandGETCPS(), 100)), 1000);
  counter.answerCounts({300, -2});
  QList<qint32> counts;
  for (int i = 0; i < 3; ++i) counts.append(*decodeCount(ask(commandGETCPS(), 100)));
  EXPECT_EQ(counts, (QList<qint32>{300, -2, -2}));
}

TEST_F(Counter, LogsEveryCommandWithTheTimeItsLastByteArrived) {
  // Two commands in one write, then one in three pieces.
  const qint64 t0 = sim.nowUs();
  EXPECT_EQ(writeAndCollect("<GETVER>><GETCPS>>", 50), counter.version + countBytes(25));
  const qint64 t1 = sim.nowUs();
  uart.Write("<SP");
  sim.advance(20);
  uart.Write(QByteArray("IR") + bytes({0x00, 0x10}));
  sim.advance(20);
  const qint64 t2 = sim.nowUs();
  uart.Write(bytes({0x00, 0x00, 0x08}) + ">>");
  sim.advance(50);
  EXPECT_EQ(uart.ReadAll(), QByteArray(8, char(0xFF)));

  ASSERT_EQ(counter.log().size(), 3u);
  EXPECT_EQ(counter.log()[0].command, SimCommand::GETVER);
  EXPECT_EQ(counter.log()[0].bytes, "<GETVER>>");
  EXPECT_EQ(counter.log()[0].at_us, t0 + wireTimeUs(9));
  EXPECT_EQ(counter.log()[1].command, SimCommand::GETCPS);
  EXPECT_EQ(counter.log()[1].at_us, t0 + wireTimeUs(18));
  EXPECT_EQ(counter.log()[2].command, SimCommand::SPIR);
  EXPECT_EQ(counter.log()[2].bytes, commandSPIR(0x1000, 8));
  EXPECT_EQ(counter.log()[2].at_us, t2 + wireTimeUs(5));
  EXPECT_GT(t2, t1);
  EXPECT_EQ(counter.timesReceived(SimCommand::SPIR), 1);
  EXPECT_EQ(counter.timesReceived(SimCommand::DSID), 0);
  EXPECT_TRUE(counter.ignoredInput().isEmpty());
}

TEST_F(Counter, IgnoresWhatIsNoCommandItKnows) {
  struct Case {
    const char* name;
    QByteArray sent;
  };
  const std::vector<Case> cases = {
      {"typed text", "hello counter\r\n"},
      {"unknown word", "<GETTIME>>"},
      {"small letters", "<getver>>"},
      {"broken end", "<GETVER>x"},
      {"image number out of range", "<GETSSN5>>"},
      {"image number not a digit", "<GETSS\x01>>"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(writeAndCollect(c.sent, 50), "") << c.name;
    EXPECT_EQ(writeAndCollect(commandGETVER(), 50), counter.version) << c.name << ": still listens";
  }
  EXPECT_TRUE(counter.ignoredInput().contains("hello counter"));
  EXPECT_EQ(counter.timesReceived(SimCommand::GETVER), int(cases.size()));
}

TEST_F(Counter, FindsACommandBehindNoiseAndArgumentsThatLookLikeFraming) {
  counter.memory = patternedMemory();
  // The address 0x0F3E00 and the length 0x003E carry ">" as argument bytes; a "<" of noise
  // comes first.
  const QByteArray command = commandSPIR(0x0F3E00, 0x003E);
  EXPECT_EQ(writeAndCollect("<<GE" + command, 50), counter.memory.mid(0x0F3E00, 0x3E));
  EXPECT_EQ(counter.ignoredInput(), "<<GE");
  EXPECT_EQ(writeAndCollect(commandSPIR(0x3C3C00, 4096), 50), "");  // beyond the memory
}

TEST_F(Counter, AClosedLineAbandonsACommandInPieces) {
  uart.Write("<GETV");
  sim.advance(10);
  uart.Close();
  ASSERT_TRUE(uart.Open());
  EXPECT_EQ(writeAndCollect("ER>>", 50), "");
  EXPECT_EQ(writeAndCollect(commandGETVER(), 50), counter.version);
}

// ---------------------------------------------------------------------------------------------
// Wire timing

TEST_F(Counter, AHistoryPageTakesItsTimeOnTheLine) {
  const qint64 t0 = sim.nowUs();
  uart.Write(commandSPIR(0));
  const qint64 last_byte = t0 + wireTimeUs(12) + counter.latencyUs + wireTimeUs(4096);
  EXPECT_NEAR(double(last_byte - t0), 357e3, 1.5e3);  // about 356 ms on the line
  sim.scheduler.runUntil(last_byte - 1);
  EXPECT_EQ(uart.ReadAll().size(), 4095);
  sim.scheduler.runUntil(last_byte);
  EXPECT_EQ(uart.ReadAll().size(), 1);
}

TEST_F(Counter, AHistoryPageIsWholeAfterSixHundredMillisecondsButNotAfterThreeHundred) {
  const QByteArray cut = ask(commandSPIR(0), 300);
  EXPECT_GT(cut.size(), 3300);
  EXPECT_LT(cut.size(), 4096);
  sim.advance(1000);
  EXPECT_TRUE(isHistoryPageReply(ask(commandSPIR(0), 600)));
}

TEST_F(Counter, LatencyIsConfigurable) {
  counter.latencyUs = 20000;
  const qint64 t0 = sim.nowUs();
  uart.Write(commandGETVER());
  const qint64 first_byte = t0 + wireTimeUs(9) + 20000 + wireTimeUs(1);
  sim.scheduler.runUntil(first_byte - 1);
  EXPECT_EQ(uart.ReadAll(), "");
  sim.scheduler.runUntil(first_byte);
  EXPECT_EQ(uart.ReadAll(), counter.version.left(1));
}

}  // namespace
