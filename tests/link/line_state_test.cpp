// The rules that say whose bytes are on the line, as tables: what an exchange does before it
// writes, and what state it leaves.

#include <gtest/gtest.h>

#include <vector>

#include "link/line_state.h"
#include "link/protocol.h"

namespace {

using Kind = LineState::Kind;
using Step = Preparation::Step;

const Asked kCount{commandGETCPS(), isCountReply, 100};
const Asked kPage0{commandSPIR(0), isHistoryPageReply, 600};
const Asked kPage1{commandSPIR(kHistoryPageBytes), isHistoryPageReply, 600};
const Asked kTimestamp1{commandGETSSN(1), isTimestampReply, 500};
const Asked kTimestamp2{commandGETSSN(2), isTimestampReply, 500};
const Asked kBriefQuestion{"<BRIEF>>", nullptr, 10};

LineState owed(const Asked& asked, bool heard, qsizetype page_bytes_due = 0, bool noisy = false) {
  LineState line;
  line.kind = Kind::Owed;
  line.command = asked.command;
  line.passes = asked.passes;
  line.heard = heard;
  line.page_bytes_due = page_bytes_due;
  line.noisy = noisy;
  line.since_ms = 1000;
  return line;
}

LineState doubtful(const Asked& asked) {
  LineState line;
  line.kind = Kind::Doubtful;
  line.command = asked.command;
  line.passes = asked.passes;
  line.since_ms = 1000;
  return line;
}

Preparation settle(int quiet_ms) {
  return {Step::Settle, quiet_ms, quiet_ms * kSettleLimitFactor};
}

TEST(LineState, WhatAnExchangeDoesBeforeItWrites) {
  struct Case {
    const char* name;
    LineState line;
    Asked asked;
    qint64 now_ms;
    Preparation expected;
  };
  const Case cases[] = {
      {"clean: pending input is the console's", LineState{}, kCount, 1100, {Step::HandToConsole}},
      {"nothing came: the same command at once", owed(kCount, false), kCount, 1100, {Step::Drop}},
      {"nothing came: another command settles for its wait", owed(kCount, false), kTimestamp1,
       1100, settle(500)},
      {"part of a count: settles for the wait", owed(kCount, true), kCount, 1100, settle(100)},
      {"never shorter than the shortest silence", owed(kCount, true), kBriefQuestion, 1100,
       settle(kSettleQuietMs)},
      {"no page: the same page at once", owed(kPage0, false, 4096), kPage0, 1700, {Step::Drop}},
      {"no page: another page could take it", owed(kPage0, false, 4096), kPage1, 1700,
       settle(kOwedReplyQuietMs)},
      {"part of a page: its rest may pause long", owed(kPage0, true, 1), kPage0, 1700,
       settle(kOwedReplyQuietMs)},
      {"a page and more: the wait", owed(kPage0, true, 0), kPage0, 1700, settle(600)},
      {"part of a page, then a count: the count's wait", owed(kPage0, true, 96), kCount, 1700,
       settle(100)},
      {"another image's timestamp could take it", owed(kTimestamp1, true), kTimestamp2, 1600,
       settle(kOwedReplyQuietMs)},
      {"a line that never fell silent", owed(kPage0, true, 4096, true), kPage1, 1700,
       {Step::Drop}},
      {"in doubt: the same command at once", doubtful(kPage0), kPage0, 1700, {Step::Drop}},
      {"in doubt: another page could take it", doubtful(kPage0), kPage1, 1700,
       settle(kOwedReplyQuietMs)},
      {"in doubt: a reply of another kind cannot", doubtful(kCount), kTimestamp1, 1100,
       {Step::Drop}},
      {"in doubt for long enough: clean", doubtful(kCount), kTimestamp1, 1000 + kOwedReplyQuietMs,
       {Step::HandToConsole}},
  };
  for (const Case& c : cases) EXPECT_EQ(prepareLine(c.line, c.asked, c.now_ms), c.expected) << c.name;
}

TEST(LineState, WhatAnExchangeLeaves) {
  struct Case {
    const char* name;
    LineState line;  // as the command was written
    Step step;
    Asked asked;
    Outcome outcome;
    LineState expected;
  };
  LineState silent_page = owed(kPage0, false, 4096);
  silent_page.since_ms = 2000;
  LineState short_page = owed(kPage0, true, 1);
  short_page.since_ms = 2000;
  LineState doubtful_count = doubtful(kCount);
  doubtful_count.since_ms = 2000;
  LineState still_noisy = owed(kCount, true, 0, true);
  still_noisy.since_ms = 2000;
  LineState quiet_now = owed(kCount, false);
  quiet_now.since_ms = 2000;
  const Case cases[] = {
      {"taken on a clean line", LineState{}, Step::HandToConsole, kCount, {true, 4}, LineState{}},
      {"taken after a settle", LineState{}, Step::Settle, kCount, {true, 4}, LineState{}},
      {"nothing came", LineState{}, Step::HandToConsole, kPage0, {false, 0}, silent_page},
      {"a page short by one", LineState{}, Step::HandToConsole, kPage0, {false, 4095}, short_page},
      {"taken on a retry that did not settle", owed(kCount, false), Step::Drop, kCount, {true, 4},
       doubtful_count},
      {"a reply of another kind leaves the doubt", doubtful(kCount), Step::Drop, kTimestamp1,
       {true, 7}, doubtful(kCount)},
      {"the same command taken again ends it", doubtful(kCount), Step::Drop, kCount, {true, 4},
       LineState{}},
      {"still arriving", LineState{}, Step::HandToConsole, kCount, {false, 9, true},
       [] {
         LineState l = owed(kCount, true);
         l.since_ms = 2000;
         return l;
       }()},
      {"a noisy line still noisy", owed(kCount, true, 0, true), Step::Drop, kCount, {false, 30},
       still_noisy},
      {"a noisy line gone quiet", owed(kCount, true, 0, true), Step::Drop, kCount, {false, 0},
       quiet_now},
  };
  for (const Case& c : cases)
    EXPECT_EQ(afterExchange(c.line, c.step, c.asked, c.outcome, 2000), c.expected) << c.name;
}

TEST(LineState, WhatASettleAndADrainLeave) {
  EXPECT_EQ(afterSettle(owed(kCount, true), {3, true, 100}), LineState{}) << "proved quiet";
  EXPECT_EQ(afterSettle(owed(kPage0, true, 96), {0, true, 100}), owed(kPage0, true, 96))
      << "a page's rest may still come after a short silence";
  EXPECT_EQ(afterSettle(owed(kPage0, true, 96), {96, true, 100}), LineState{})
      << "the rest came while the line settled";
  EXPECT_EQ(afterSettle(owed(kPage0, true, 96), {0, true, kOwedReplyQuietMs}), LineState{})
      << "what has not come after the long silence is not coming";
  EXPECT_EQ(afterSettle(owed(kPage0, false, 4096), {4000, false, kOwedReplyQuietMs}),
            owed(kPage0, true, 96, true))
      << "never silent";

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
