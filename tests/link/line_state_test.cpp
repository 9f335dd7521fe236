// The rules that say whose bytes are on the line, as tables: what an exchange does before it
// writes, and what state it leaves.

#include "link/line_state.h"

#include <gtest/gtest.h>

#include <vector>

#include "link/protocol.h"

namespace {

using Kind = LineState::Kind;
using Step = Preparation::Step;

const Question kCount{commandGETCPS(), 100, isCountReply};
const Question kPage0{commandSPIR(0), 600, isHistoryPageReply};
const Question kPage1{commandSPIR(kHistoryPageBytes), 600, isHistoryPageReply};
const Question kTimestamp1{commandGETSSN(1), 500, isTimestampReply};
const Question kTimestamp2{commandGETSSN(2), 500, isTimestampReply};
const Question kBriefQuestion{"<BRIEF>>", 10};

LineState owed(const Question& question, bool heard, qsizetype page_bytes_due = 0,
               bool noisy = false, qint64 since_ms = 1000) {
  LineState line;
  line.kind = Kind::Owed;
  line.command = question.command;
  line.passes = question.passes;
  line.wait_ms = question.wait_ms;
  line.heard = heard;
  line.page_bytes_due = page_bytes_due;
  line.noisy = noisy;
  line.since_ms = since_ms;
  return line;
}

LineState doubtful(const Question& question, qint64 since_ms = 1000) {
  LineState line = owed(question, false, 0, false, since_ms);
  line.kind = Kind::Doubtful;
  return line;
}

Preparation settle(int quiet_ms) { return {Step::Settle, quiet_ms, quiet_ms + kSettleGraceMs}; }

TEST(LineState, WhatAnExchangeDoesBeforeItWrites) {
  struct Case {
    const char* name;
    LineState line;
    Question question;
    qint64 now_ms;
    Preparation expected;
  };
  const Case cases[] = {
      {"clean: pending input is the console's", LineState{}, kCount, 1100, {Step::HandToConsole}},
      {"nothing came: the same command at once", owed(kCount, false), kCount, 1100, {Step::Drop}},
      {"nothing came: another command settles for its wait", owed(kCount, false), kTimestamp1, 1100,
       settle(500)},
      {"part of a count: settles for the wait", owed(kCount, true), kCount, 1100, settle(100)},
      {"never shorter than the shortest silence", owed(kCount, true), kBriefQuestion, 1100,
       settle(kSettleQuietMs)},
      {"no page: the same page at once", owed(kPage0, false, 4096), kPage0, 1700, {Step::Drop}},
      {"no page: another page could take it", owed(kPage0, false, 4096), kPage1, 1700,
       settle(kOwedReplyQuietMs)},
      {"part of a page: its rest may pause long, and once it has come the page is over",
       owed(kPage0, true, 1), kPage0, 1700,
       [] {
         Preparation p = settle(kOwedReplyQuietMs);
         p.bytes_due = 1;
         p.quiet_once_come_ms = 600;
         return p;
       }()},
      {"a page and more: the wait", owed(kPage0, true, 0), kPage0, 1700, settle(600)},
      {"part of a page, then a count: the page's wait", owed(kPage0, true, 96), kCount, 1700,
       settle(600)},
      {"another image's timestamp could take it", owed(kTimestamp1, true), kTimestamp2, 1600,
       settle(kOwedReplyQuietMs)},
      {"a line that never fell silent",
       owed(kCount, true, 0, true),
       kTimestamp1,
       1700,
       {Step::Drop}},
      {"a line that never fell silent, another page", owed(kPage0, true, 4096, true), kPage1, 1700,
       settle(kOwedReplyQuietMs)},
      {"in doubt: the same command at once", doubtful(kPage0), kPage0, 1700, {Step::Drop}},
      {"in doubt: another page could take it", doubtful(kPage0), kPage1, 1700,
       settle(kOwedReplyQuietMs)},
      {"in doubt: another question waits out the late reply", doubtful(kCount), kTimestamp1, 1020,
       settle(80)},
      {"in doubt: never shorter than the shortest silence", doubtful(kCount), kTimestamp1, 1090,
       settle(kSettleQuietMs)},
      {"in doubt: the late reply would have come",
       doubtful(kCount),
       kTimestamp1,
       1100,
       {Step::Drop}},
      {"in doubt for long enough: clean",
       doubtful(kCount),
       kTimestamp1,
       1000 + kOwedReplyQuietMs,
       {Step::HandToConsole}},
  };
  for (const Case& c : cases)
    EXPECT_EQ(prepareLine(c.line, c.question, c.now_ms), c.expected) << c.name;
}

TEST(LineState, WhatAnExchangeLeaves) {
  struct Case {
    const char* name;
    LineState line;  // as the command was written
    Step step;
    Question question;
    Outcome outcome;
    LineState expected;
  };
  const Case cases[] = {
      {"taken on a clean line", LineState{}, Step::HandToConsole, kCount, {true, 4}, LineState{}},
      {"taken after a settle", LineState{}, Step::Settle, kCount, {true, 4}, LineState{}},
      {"nothing came",
       LineState{},
       Step::HandToConsole,
       kPage0,
       {false, 0},
       owed(kPage0, false, 4096, false, 2000)},
      {"a page short by one",
       LineState{},
       Step::HandToConsole,
       kPage0,
       {false, 4095},
       owed(kPage0, true, 1, false, 2000)},
      {"pages not come stay owed",
       owed(kPage0, false, 4096),
       Step::Drop,
       kPage0,
       {false, 0},
       owed(kPage0, false, 8192, false, 2000)},
      {"taken on a retry that did not settle",
       owed(kCount, false),
       Step::Drop,
       kCount,
       {true, 4},
       doubtful(kCount, 2000)},
      {"the same command taken again ends the doubt",
       doubtful(kCount),
       Step::Drop,
       kCount,
       {true, 4},
       LineState{}},
      {"still arriving",
       LineState{},
       Step::HandToConsole,
       kCount,
       {false, 9, true},
       owed(kCount, true, 0, false, 2000)},
      {"a noisy line still noisy",
       owed(kCount, true, 0, true),
       Step::Drop,
       kCount,
       {false, 30},
       owed(kCount, true, 0, true, 2000)},
      {"a noisy line gone quiet",
       owed(kCount, true, 0, true),
       Step::Drop,
       kCount,
       {false, 0},
       owed(kCount, false, 0, false, 2000)},
  };
  for (const Case& c : cases)
    EXPECT_EQ(afterExchange(c.line, c.step, c.question, c.outcome, 2000), c.expected) << c.name;
}

TEST(LineState, WhatASettleAndADrainLeave) {
  EXPECT_EQ(afterSettle(owed(kCount, true), settle(100), {3, true}), LineState{}) << "quiet";
  EXPECT_EQ(afterSettle(owed(kPage0, true, 96), settle(600), {0, true}), owed(kPage0, true, 96))
      << "a page's rest may still come after a short silence";
  EXPECT_EQ(afterSettle(owed(kPage0, true, 96), settle(600), {96, true}), LineState{})
      << "the rest came while the line settled";
  EXPECT_EQ(afterSettle(owed(kPage0, true, 96), settle(kOwedReplyQuietMs), {0, true}), LineState{})
      << "what has not come after the long silence is not coming";
  EXPECT_EQ(afterSettle(owed(kPage0, false, 4096), settle(kOwedReplyQuietMs), {4000, false}),
            owed(kPage0, true, 96, true))
      << "never silent";
  EXPECT_EQ(afterSettle(doubtful(kCount), settle(500), {4, true}), LineState{})
      << "a doubt settled";

  EXPECT_EQ(awaitingReply(LineState{}, kPage1, 1000), owed(kPage1, false, 4096))
      << "an exchange stopped during its wait owes its page";
  EXPECT_EQ(awaitingReply(owed(kPage0, true, 96), kCount, 1000), owed(kCount, false, 96));
  EXPECT_EQ(afterDrain(owed(kPage0, false, 4096), 4000), owed(kPage0, true, 96));
  EXPECT_EQ(afterDrain(owed(kPage0, false, 4096), 0), owed(kPage0, false, 4096));

  EXPECT_TRUE(pendingIsTheConsoles(LineState{}, 0));
  EXPECT_FALSE(pendingIsTheConsoles(owed(kCount, false), 100000));
  EXPECT_FALSE(pendingIsTheConsoles(doubtful(kCount), 1000 + kOwedReplyQuietMs - 1));
  EXPECT_TRUE(pendingIsTheConsoles(doubtful(kCount), 1000 + kOwedReplyQuietMs));
}

}  // namespace
