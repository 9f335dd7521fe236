#include "link/line_state.h"

#include <algorithm>

#include "link/protocol.h"

namespace {

bool asksForPage(const Asked& asked) { return asked.passes == isHistoryPageReply; }

qsizetype pageBytesAsked(const Asked& asked) { return asksForPage(asked) ? kHistoryPageBytes : 0; }

qsizetype lessBy(qsizetype due, qsizetype came) { return std::max<qsizetype>(0, due - came); }

Preparation settleFor(int quiet_ms) {
  return {Preparation::Step::Settle, quiet_ms, quiet_ms * kSettleLimitFactor};
}

Preparation settleLong() { return settleFor(kOwedReplyQuietMs); }

// A whole late reply to the command owed would pass this question's rule: another page, another
// image's timestamp or picture.
bool owedCouldPassFor(const LineState& line, const Asked& asked) {
  return asked.passes && line.passes == asked.passes && line.command != asked.command;
}

bool doubtOutlived(const LineState& line, qint64 now_ms) {
  return line.kind == LineState::Kind::Doubtful && now_ms - line.since_ms >= kOwedReplyQuietMs;
}

Preparation prepareDoubtful(const LineState& line, const Asked& asked) {
  if (owedCouldPassFor(line, asked)) return settleLong();
  return {Preparation::Step::Drop};
}

Preparation prepareOwed(const LineState& line, const Asked& asked) {
  // Settling a line that never falls silent only costs time.
  if (line.noisy) return {Preparation::Step::Drop};
  // After an attempt on which nothing came, a late reply to the same command is the same answer.
  if (line.command == asked.command && !line.heard) return {Preparation::Step::Drop};
  if (owedCouldPassFor(line, asked)) return settleLong();
  if (line.page_bytes_due > 0 && asksForPage(asked)) return settleLong();
  return settleFor(std::max(kSettleQuietMs, asked.wait_ms));
}

}  // namespace

bool pendingIsTheConsoles(const LineState& line, qint64 now_ms) {
  return line.kind == LineState::Kind::Clean || doubtOutlived(line, now_ms);
}

Preparation prepareLine(const LineState& line, const Asked& asked, qint64 now_ms) {
  if (pendingIsTheConsoles(line, now_ms)) return {Preparation::Step::HandToConsole};
  if (line.kind == LineState::Kind::Doubtful) return prepareDoubtful(line, asked);
  return prepareOwed(line, asked);
}

LineState afterSettle(const LineState& line, const Settled& settled) {
  LineState after = line;
  after.page_bytes_due = lessBy(line.page_bytes_due, settled.dropped);
  if (!settled.silent) {
    after.kind = LineState::Kind::Owed;
    after.heard = true;
    after.noisy = true;
    return after;
  }
  // What has not come after that long a silence is not coming: the reply was cut short.
  if (settled.quiet_ms >= kOwedReplyQuietMs) after.page_bytes_due = 0;
  if (after.page_bytes_due > 0) return after;
  return LineState{};
}

LineState awaitingReply(const LineState& line, const Asked& asked, qint64 now_ms) {
  const bool owed = line.kind == LineState::Kind::Owed;
  LineState awaiting;
  awaiting.kind = LineState::Kind::Owed;
  awaiting.command = asked.command;
  awaiting.passes = asked.passes;
  awaiting.page_bytes_due = (owed ? line.page_bytes_due : 0) + pageBytesAsked(asked);
  awaiting.noisy = owed && line.noisy;
  awaiting.since_ms = now_ms;
  return awaiting;
}

LineState afterExchange(const LineState& line, Preparation::Step step, const Asked& asked,
                        const Outcome& outcome, qint64 now_ms) {
  const bool unsettled_retry = step == Preparation::Step::Drop && line.command == asked.command;
  if (outcome.taken) {
    if (unsettled_retry && line.kind == LineState::Kind::Owed) {
      LineState doubtful;
      doubtful.kind = LineState::Kind::Doubtful;
      doubtful.command = asked.command;
      doubtful.passes = asked.passes;
      doubtful.since_ms = now_ms;
      return doubtful;
    }
    // A reply of another kind says nothing of the one in doubt.
    if (line.kind == LineState::Kind::Doubtful && step == Preparation::Step::Drop &&
        line.command != asked.command)
      return line;
    return LineState{};
  }
  LineState owed = awaitingReply(line, asked, now_ms);
  owed.heard = outcome.received > 0 || outcome.still_arriving;
  owed.page_bytes_due = lessBy(owed.page_bytes_due, outcome.received);
  owed.noisy = owed.noisy && owed.heard;
  return owed;
}

LineState afterDrain(const LineState& line, qsizetype dropped) {
  LineState after = line;
  after.page_bytes_due = lessBy(line.page_bytes_due, dropped);
  if (dropped > 0) after.heard = true;
  return after;
}
