#include "link/line_state.h"

#include <algorithm>

#include "link/protocol.h"

namespace {

using Kind = LineState::Kind;
using Step = Preparation::Step;

bool asksForPage(const Question& question) { return question.passes == isHistoryPageReply; }

qsizetype pageBytesAsked(const Question& question) {
  return asksForPage(question) ? kHistoryPageBytes : 0;
}

qsizetype lessBy(qsizetype due, qsizetype came) { return std::max<qsizetype>(0, due - came); }

Preparation settleFor(int quiet_ms) { return {Step::Settle, quiet_ms, quiet_ms + kSettleGraceMs}; }

Preparation settleLong() { return settleFor(kOwedReplyQuietMs); }

// As long a silence as this question's wait; after part of a page, as long as the page's.
Preparation settleShort(const LineState& line, const Question& question) {
  const int owed_wait = line.page_bytes_due > 0 ? line.wait_ms : 0;
  return settleFor(std::max({kSettleQuietMs, question.wait_ms, owed_wait}));
}

// A whole late reply to the command owed would pass this question's rule: another page, another
// image's timestamp or picture.
bool owedCouldPassFor(const LineState& line, const Question& question) {
  return question.passes && line.passes == question.passes && line.command != question.command;
}

bool doubtOutlived(const LineState& line, qint64 now_ms) {
  return line.kind == Kind::Doubtful && now_ms - line.since_ms >= kOwedReplyQuietMs;
}

// The doubtful reply is the retry's own, as late as the earlier attempt's was: that one came
// within the retry's wait, so this one comes within a wait after it, and is dropped on its way.
// Only a reply that could pass for this question's needs longer.
Preparation prepareDoubtful(const LineState& line, const Question& question, qint64 now_ms) {
  if (line.command == question.command) return {Step::Drop};
  if (owedCouldPassFor(line, question)) return settleLong();
  const qint64 due_by_ms = line.since_ms + line.wait_ms;
  if (now_ms >= due_by_ms) return {Step::Drop};
  return settleFor(std::max(kSettleQuietMs, int(due_by_ms - now_ms)));
}

Preparation prepareOwed(const LineState& line, const Question& question) {
  // After an attempt on which nothing came, a late reply to the same command is the same answer.
  if (line.command == question.command && !line.heard) return {Step::Drop};
  if (owedCouldPassFor(line, question)) return settleLong();
  // The rest of a page may come after a long pause; once it has come, the page is over.
  if (line.page_bytes_due > 0 && asksForPage(question)) {
    Preparation preparation = settleLong();
    preparation.bytes_due = line.page_bytes_due;
    preparation.quiet_once_come_ms = settleShort(line, question).quiet_ms;
    return preparation;
  }
  // Settling a line that never falls silent only costs time; and what comes on it spoils any
  // reply, so none is taken from it.
  if (line.noisy) return {Step::Drop};
  return settleShort(line, question);
}

LineState owedBy(const Question& question, qint64 now_ms) {
  LineState owed;
  owed.kind = Kind::Owed;
  owed.command = question.command;
  owed.passes = question.passes;
  owed.wait_ms = question.wait_ms;
  owed.since_ms = now_ms;
  return owed;
}

}  // namespace

bool pendingIsTheConsoles(const LineState& line, qint64 now_ms) {
  return line.kind == Kind::Clean || doubtOutlived(line, now_ms);
}

Preparation prepareLine(const LineState& line, const Question& question, qint64 now_ms) {
  if (pendingIsTheConsoles(line, now_ms)) return {Step::HandToConsole};
  if (line.kind == Kind::Doubtful) return prepareDoubtful(line, question, now_ms);
  return prepareOwed(line, question);
}

LineState afterSettle(const LineState& line, const Preparation& preparation,
                      const Settled& settled) {
  LineState after = afterDrain(line, settled.dropped);
  if (!settled.silent) {
    after.kind = Kind::Owed;
    after.heard = true;
    after.noisy = true;
    return after;
  }
  // What has not come after that long a silence is not coming: the reply was cut short.
  if (preparation.quiet_ms >= kOwedReplyQuietMs) after.page_bytes_due = 0;
  if (after.page_bytes_due > 0) return after;
  return LineState{};
}

LineState awaitingReply(const LineState& line, const Question& question, qint64 now_ms) {
  LineState awaiting = owedBy(question, now_ms);
  // What was owed before is owed still: the bytes of pages not come, a line that never quietens.
  if (line.kind == Kind::Owed) {
    awaiting.page_bytes_due = line.page_bytes_due;
    awaiting.noisy = line.noisy;
  }
  awaiting.page_bytes_due += pageBytesAsked(question);
  return awaiting;
}

LineState afterExchange(const LineState& line, Preparation::Step step, const Question& question,
                        const Outcome& outcome, qint64 now_ms) {
  const bool retried_without_settling = step == Step::Drop && line.command == question.command;
  if (outcome.taken) {
    if (retried_without_settling && line.kind == Kind::Owed) {
      LineState doubtful = owedBy(question, now_ms);
      doubtful.kind = Kind::Doubtful;
      return doubtful;
    }
    return LineState{};
  }
  LineState owed = awaitingReply(line, question, now_ms);
  owed.heard = outcome.received > 0 || outcome.still_arriving;
  owed.page_bytes_due = lessBy(owed.page_bytes_due, outcome.received);
  owed.noisy = owed.noisy && owed.heard;
  return owed;
}

LineState afterDrain(const LineState& line, qsizetype dropped) {
  LineState after = line;
  after.page_bytes_due = lessBy(line.page_bytes_due, dropped);
  if (line.kind == Kind::Owed && dropped > 0) after.heard = true;
  return after;
}
