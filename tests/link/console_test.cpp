#include "link/console.h"

#include <gtest/gtest.h>

#include <QByteArray>
#include <QByteArrayView>
#include <QCoreApplication>
#include <QScrollBar>
#include <QString>
#include <vector>

#include "support/counter_window.h"

namespace {

QByteArray AllByteValues() {
  QByteArray bytes;
  for (int value = 0; value < 256; ++value) bytes.append(char(value));
  return bytes;
}

TEST(ConsoleTextTest, HexShowsEveryByteAsTwoCapitalDigitsAndABlank) {
  EXPECT_EQ(consoleHexText(QByteArrayView("12")), "31 32 ");
  EXPECT_EQ(consoleHexText(QByteArrayView()), "");
  const QString all = consoleHexText(AllByteValues());
  ASSERT_EQ(all.size(), 256 * 3);
  for (int value = 0; value < 256; ++value)
    EXPECT_EQ(all.mid(value * 3, 3), QString::asprintf("%02X ", value)) << value;
}

TEST(ConsoleTextTest, HexOfChunksJoinedIsHexOfTheBytesHoweverTheyWereSplit) {
  const QByteArray bytes = QByteArray("\x00\x7f\x80\xff<GETVER>>\r\n", 15);
  for (qsizetype cut = 0; cut <= bytes.size(); ++cut)
    EXPECT_EQ(consoleHexText(bytes.left(cut)) + consoleHexText(bytes.mid(cut)),
              consoleHexText(bytes))
        << "cut at " << cut;
}

TEST(ConsoleTextTest, AsciiShowsOneCharacterPerByte) {
  const QString text = consoleAsciiText(AllByteValues());
  ASSERT_EQ(text.size(), 256);
  for (int value = 0; value < 256; ++value) EXPECT_EQ(text[value].unicode(), value);
}

TEST(ConsoleTextTest, TheByteCounterAddsToTheNumberItsTextHolds) {
  struct Case {
    const char* shown;
    qsizetype received;
    const char* after;
  };
  const std::vector<Case> cases = {
      {"", 5, "5"},
      {"0", 2, "2"},
      {"5", 0, "5"},
      {"4095", 1, "4096"},
      {"9999999999", 1, "10000000000"},  // past 32 bits
      {"not a number", 3, "3"},
  };
  for (const Case& c : cases)
    EXPECT_EQ(consoleByteCountAfter(QString::fromLatin1(c.shown), c.received), c.after)
        << "'" << c.shown << "' + " << c.received;
}

TEST(ConsoleTextTest, TheEndsLineIsKeptSixLinesBelowTheTopOnceThereAreMoreThanSix) {
  const std::vector<std::pair<int, int>> cases = {{0, 0}, {3, 3},  {6, 6},
                                                  {7, 1}, {10, 4}, {1000, 994}};
  for (const auto& [end_line, first_visible] : cases)
    EXPECT_EQ(consoleScrollPositionForEnd(end_line), first_visible) << end_line;
}

TEST(ConsoleTextTest, ATypedCommandGoesOutAsTypedInUtf8) {
  EXPECT_EQ(consoleTypedCommand("<GETVER>>"), QByteArray("<GETVER>>"));
  EXPECT_EQ(consoleTypedCommand(" spaced \r"), QByteArray(" spaced \r"));
  EXPECT_EQ(consoleTypedCommand(QString::fromUtf8("\xc3\xa9")), QByteArray("\xc3\xa9"));
}

// The window shown, connected to the simulated counter, with the console's traffic the only
// traffic on the line: the count-rate poll, which shares the port, is kept off.
class ConsoleTest : public CounterWindowTest {
 protected:
  int textChanges = 0;
  int ticks = 0;
  size_t writesSeen = 0;

  void SetUp() override {
    CounterWindowTest::SetUp();
    window->GetCPSTimer.setMode(Timer::kOff);
    window->show();
    QCoreApplication::processEvents();
    TELVAR::handlerObserver = [this](const char* name) {
      const QByteArrayView handler(name);
      if (handler == "SerialText_TextChange") ++textChanges;
      if (handler == "SerialTimer_Action") ++ticks;
    };
  }

  void TearDown() override {
    TELVAR::handlerObserver = nullptr;
    CounterWindowTest::TearDown();
  }

  void connectConsole() {
    ASSERT_NO_FATAL_FAILURE(connectToCounter());
    window->GetCPSTimer.setMode(Timer::kOff);
    writesSeen = counter.port()->writes().size();
  }

  // Writes to the counter's port since the last call.
  std::vector<SimPort::Write> newWrites() {
    const auto& all = counter.port()->writes();
    std::vector<SimPort::Write> fresh(all.begin() + qsizetype(writesSeen), all.end());
    writesSeen = all.size();
    return fresh;
  }

  void sendPreset(int row) {
    window->Command1.setCurrentIndex(row);
    window->SendCommand1.click();
  }
  void sendTyped(const QString& text) {
    window->Command2.setText(text);
    window->SendCommand2.click();
  }

  // The console timer ticks every 50 ms from the window's creation at time 0; this runs up to
  // and including the next tick.
  void untilNextTick() { sim.advance(50 - sim.nowMs() % 50); }

  // Long enough for a preset to go out and its reply to come back and be shown.
  void untilShown() { sim.advance(150); }

  QString shown() const { return window->SerialText.text(); }
  QString counted() const { return window->SerialSize.text(); }
};

TEST_F(ConsoleTest, PresetsAndTypedTextGoOutUnchangedInOneWriteAtTheNextTick) {
  ASSERT_NO_FATAL_FAILURE(connectConsole());
  struct Case {
    const char* what;
    int preset;  // a row of Command1, or -1 for typed text
    QString typed;
    QByteArray expected;
  };
  const std::vector<Case> cases = {
      {"GETVER", 0, {}, "<GETVER>>"},
      {"GETSERIAL", 1, {}, "<GETSERIAL>>"},
      {"DSID", 2, {}, "<DSID>>"},
      {"FACTORYRESET", 3, {}, "<FACTORYRESET>>"},
      {"REBOOT", 4, {}, "<REBOOT>>"},
      {"a typed command", -1, "<GETCPS>>", "<GETCPS>>"},
      {"typed text with blanks and a line end", -1, " hello \r", " hello \r"},
      {"typed text beyond ASCII", -1, QString::fromUtf8("caf\xc3\xa9"), "caf\xc3\xa9"},
      {"typed text longer than a line edit takes by default", -1, QString(40000, QLatin1Char('7')),
       QByteArray(40000, '7')},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    if (c.preset >= 0)
      sendPreset(c.preset);
    else
      sendTyped(c.typed);
    EXPECT_EQ(window->TxBuffer, c.expected);
    EXPECT_TRUE(newWrites().empty()) << "a Send only leaves the command for the tick";

    const qint64 pressed_us = sim.nowUs();
    const int ticks_before = ticks;
    sim.advance(50);
    ASSERT_EQ(ticks - ticks_before, 1);
    const auto writes = newWrites();
    ASSERT_EQ(writes.size(), 1u);
    EXPECT_EQ(writes[0].bytes, c.expected);
    EXPECT_GT(writes[0].at_us, pressed_us);
    EXPECT_LE(writes[0].at_us, pressed_us + 50000);
    EXPECT_TRUE(window->TxBuffer.isEmpty());

    sim.advance(200);
    EXPECT_TRUE(newWrites().empty()) << "a command goes out once";
  }
}

TEST_F(ConsoleTest, ASecondSendBeforeTheTickReplacesTheFirst) {
  ASSERT_NO_FATAL_FAILURE(connectConsole());
  sendPreset(1);
  sendTyped("<DSID>>");
  untilShown();
  const auto writes = newWrites();
  ASSERT_EQ(writes.size(), 1u);
  EXPECT_EQ(writes[0].bytes, "<DSID>>");
  EXPECT_EQ(shown(), "DSID SIM");
  EXPECT_EQ(counter.timesReceived(SimCommand::GETSERIAL), 0);
}

TEST_F(ConsoleTest, RepliesAreAppendedAsTextAndCounted) {
  ASSERT_NO_FATAL_FAILURE(connectConsole());
  EXPECT_EQ(counted(), "") << "connecting shows nothing";

  sendPreset(1);
  untilShown();
  EXPECT_EQ(shown(), "SIM-000001");
  EXPECT_EQ(counted(), "10");
  EXPECT_EQ(textChanges, 1) << "one chunk, one change";

  sendPreset(2);
  untilShown();
  EXPECT_EQ(shown(), "SIM-000001DSID SIM");
  EXPECT_EQ(counted(), "18");
  EXPECT_EQ(textChanges, 2);

  // Every byte value stands in the text as the one character of that code.
  counter.serialNumber = AllByteValues();
  sendPreset(1);
  untilShown();
  EXPECT_EQ(shown(), "SIM-000001DSID SIM" + QString::fromLatin1(AllByteValues()));
  EXPECT_EQ(counted(), "274");
}

TEST_F(ConsoleTest, HexShowsTwoDigitsAndABlankPerByteHoweverTheChunksSplit) {
  ASSERT_NO_FATAL_FAILURE(connectConsole());
  sendPreset(2);
  untilShown();
  ASSERT_EQ(shown(), "DSID SIM");

  // Text already shown stays as it is; only later chunks take the new form.
  window->HEXButton.click();
  counter.serialNumber = "123";
  counter.addFault(SimCommand::GETSERIAL, SimFault::split(2, 60));
  sendPreset(1);
  untilNextTick();
  ASSERT_EQ(newWrites().back().bytes, "<GETSERIAL>>");
  sim.advance(50);
  EXPECT_EQ(shown(), "DSID SIM31 32 ");
  EXPECT_EQ(counted(), "10");
  sim.advance(100);
  EXPECT_EQ(shown(), "DSID SIM31 32 33 ");
  EXPECT_EQ(counted(), "11");
  EXPECT_EQ(textChanges, 3) << "a change per chunk";

  window->ASCIIButton.click();
  sendPreset(4);
  untilShown();
  EXPECT_EQ(shown(), "DSID SIM31 32 33 OK");
  EXPECT_EQ(counted(), "13");
}

TEST_F(ConsoleTest, ClearEmptiesTheConsoleDropsPendingInputAndKeepsTheWaitingCommand) {
  ASSERT_NO_FATAL_FAILURE(connectConsole());
  counter.serialNumber = "ABCDE";
  sendPreset(1);
  untilShown();
  ASSERT_EQ(counted(), "5");
  ASSERT_EQ(textChanges, 1);

  // The reply has arrived but no tick has read it yet when Clear is pressed.
  sendPreset(2);
  untilNextTick();
  ASSERT_EQ(newWrites().size(), 2u);
  sim.advance(10);
  ASSERT_GT(counter.port()->pendingToProgram(), 0);
  window->ClearButton.click();
  EXPECT_EQ(shown(), "");
  EXPECT_EQ(counted(), "0");
  EXPECT_EQ(textChanges, 2) << "emptying the text is a change";
  EXPECT_EQ(counter.port()->pendingToProgram(), 0);
  sim.advance(200);
  EXPECT_EQ(shown(), "") << "the dropped reply never shows";
  EXPECT_EQ(counted(), "0");

  // A command waiting for its tick survives Clear.
  sendPreset(4);
  window->ClearButton.click();
  EXPECT_EQ(textChanges, 2) << "clearing an empty console changes nothing";
  untilShown();
  EXPECT_EQ(newWrites().back().bytes, "<REBOOT>>");
  EXPECT_EQ(shown(), "OK");
  EXPECT_EQ(counted(), "2");
}

TEST_F(ConsoleTest, TheTextAreaFollowsTheEndOfItsText) {
  ASSERT_NO_FATAL_FAILURE(connectConsole());
  ConsoleTextArea& area = window->SerialText;
  const QScrollBar& bar = *area.verticalScrollBar();
  ASSERT_GE(bar.pageStep(), 7) << "the design's area shows at least seven lines";

  QByteArray lines;
  for (int i = 0; i < 12; ++i) lines += "line " + QByteArray::number(i) + "\r\n";
  counter.serialNumber = lines;
  for (int round = 1; round <= 3; ++round) {
    SCOPED_TRACE(round);
    sendPreset(1);
    untilShown();
    const int end_line = area.lineNumAtCharPos(area.length());
    EXPECT_EQ(end_line, 12 * round);
    EXPECT_EQ(area.scrollPosition(), std::min(end_line - 6, bar.maximum()));
    EXPECT_LT(end_line, area.scrollPosition() + bar.pageStep()) << "the end is in view";
  }
  EXPECT_EQ(textChanges, 3);

  // A tick that reads nothing leaves the text, the counter and the user's scrolling alone.
  area.setScrollPosition(0);
  const QString counted_before = counted();
  sim.advance(1000);
  EXPECT_EQ(area.scrollPosition(), 0);
  EXPECT_EQ(textChanges, 3);
  EXPECT_EQ(counted(), counted_before);

  // A long HEX run wraps into many lines and is followed as well.
  window->HEXButton.click();
  counter.serialNumber = QByteArray(400, '\x5a');
  sendPreset(1);
  untilShown();
  const int end_line = area.lineNumAtCharPos(area.length());
  EXPECT_GT(end_line, 36 + 10);
  EXPECT_EQ(area.scrollPosition(), std::min(end_line - 6, bar.maximum()));
  EXPECT_LT(end_line, area.scrollPosition() + bar.pageStep());
}

TEST_F(ConsoleTest, NothingIsReceivedOrShownWhileNoPortIsOpen) {
  // Before the first connection discovery probes the counter, but its replies are the probe's.
  sim.advance(2000);
  ASSERT_GE(counter.timesReceived(SimCommand::GETVER), 1);
  EXPECT_EQ(shown(), "");
  EXPECT_EQ(counted(), "");
  EXPECT_EQ(textChanges, 0);

  ASSERT_NO_FATAL_FAILURE(connectConsole());
  sendPreset(1);
  untilNextTick();
  ASSERT_EQ(newWrites().size(), 1u);
  ASSERT_NO_FATAL_FAILURE(disconnect());  // before the reply arrives
  sim.advance(500);
  EXPECT_EQ(shown(), "");
  EXPECT_EQ(counted(), "");
  EXPECT_EQ(textChanges, 0);
}

TEST_F(ConsoleTest, ACommandLeftAtDisconnectGoesNowhere) {
  ASSERT_NO_FATAL_FAILURE(connectConsole());
  sendPreset(1);
  ASSERT_NO_FATAL_FAILURE(disconnect());
  sim.advance(50);
  EXPECT_TRUE(window->TxBuffer.isEmpty()) << "written to the closed port all the same";
  EXPECT_TRUE(newWrites().empty());
  EXPECT_EQ(counter.timesReceived(SimCommand::GETSERIAL), 0);
  EXPECT_EQ(shown(), "");
}

TEST_F(ConsoleTest, ACommandSentDuringAHistoryDownloadWaitsForItsEnd) {
  ASSERT_NO_FATAL_FAILURE(connectConsole());
  window->download_started = true;  // the history reader owns the port
  sendPreset(2);
  sim.advance(500);
  EXPECT_TRUE(newWrites().empty());
  EXPECT_EQ(window->TxBuffer, "<DSID>>");
  EXPECT_EQ(shown(), "");

  window->download_started = false;
  untilShown();
  const auto writes = newWrites();
  ASSERT_EQ(writes.size(), 1u);
  EXPECT_EQ(writes[0].bytes, "<DSID>>");
  EXPECT_EQ(shown(), "DSID SIM");
}

}  // namespace

namespace {

TEST_F(ConsoleTest, AReplyThatCameJustBeforeAPollIsShownOnce) {
  // The count-rate poll's first step finds the console's reply pending on a clean line: it
  // belongs to nobody's exchange, so it is the console's, and the next tick shows it.
  ASSERT_NO_FATAL_FAILURE(connectConsole());
  for (const int before_poll_ms : {5, 17, 30, 49}) {
    SCOPED_TRACE(before_poll_ms);
    sim.advance(2500);  // a few quiet polls
    for (int i = 0; i < 200 && window->GetCPSThreadRunning; ++i) sim.advance(1);
    window->ClearButton.click();
    // Both timers tick a period after they are set going.
    window->GetCPSTimer.setMode(Timer::kOff);
    window->GetCPSTimer.setMode(Timer::kRepeating);
    sim.advance(1000 - before_poll_ms - 50);
    window->SerialTimer.setMode(Timer::kOff);
    window->SerialTimer.setMode(Timer::kRepeating);
    sendPreset(1);
    sim.advance(50);
    ASSERT_EQ(newWrites().back().bytes, "<GETSERIAL>>");
    sim.advance(before_poll_ms + 1);
    ASSERT_TRUE(window->GetCPSThreadRunning) << "the poll started after the command";
    sim.advance(400);
    EXPECT_EQ(shown(), "SIM-000001");
    EXPECT_EQ(counted(), "10");
    EXPECT_EQ(window->CPS[kNewestCountIndex], 25) << "the poll took its own count";
  }
}

}  // namespace
