#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QtGlobal>
#include <functional>

// The serial line carries replies with no framing: only time tells them apart. This is the one
// record of whose bytes are on the line, and the rules that read it. They are pure functions of
// the record, so that every case can be shown in a table; the exchange (link/exchange.h) does the
// reading, writing and sleeping they ask for.

using ReplyRule = bool (*)(QByteArrayView);

// A question to the counter: its command, how long its reply is waited for, the rule a reply
// must pass (none: any bytes pass) and how many reads make the reply (the second follows the
// first at once). still_wanted, when given, is asked while the line settles: once it says no,
// the question is given up before its command goes out.
struct Question {
  QByteArray command;
  int wait_ms = 0;
  ReplyRule passes = nullptr;
  int reads = 1;
  std::function<bool()> still_wanted = {};
};

// How long the line must be silent at the end of a wait before what was read is taken as it is;
// bytes that come then are read on for a few such periods, and the reply judged once they stop.
constexpr int kQuietTailMs = 20;
constexpr int kReadOnLimitMs = 3 * kQuietTailMs;
// The shortest silence that lets a line settle, whatever the wait.
constexpr int kSettleQuietMs = 50;
// The silence after which nothing more of a reply owed is expected: longer than a counter was
// ever seen to pause within a page, or to be late with a reply. Needed where a late reply could
// pass for the next one (another page, another image's timestamp), and before a page where a page
// stopped part-way: its rest, alone or with the head of the next page, could be a page's length.
constexpr int kOwedReplyQuietMs = 3000;
// A settle gives up this long after its silence could have ended, on a line that never goes
// quiet: time enough for the rest of a page (356 ms on the line) to pass.
constexpr int kSettleGraceMs = 400;

struct LineState {
  enum class Kind {
    // Nothing is owed: whatever arrives is the console's.
    Clean,
    // An exchange took no reply, or was stopped while it waited: its reply, or the rest of it,
    // may still come, and is dropped.
    Owed,
    // A reply was taken on a retry that did not let the line settle first: it may have been the
    // earlier attempt's, this attempt's own still to come. That is the same answer to the same
    // command, but would spoil another question's reply, or pass for it.
    Doubtful,
  };
  Kind kind = Kind::Clean;
  QByteArray command;          // Owed, Doubtful: the command whose reply may come
  ReplyRule passes = nullptr;  // and the rule that reply passes
  int wait_ms = 0;             // and the wait it was given
  // Owed: bytes came on the attempt, or were still coming when it ended: a reply cut or run on.
  bool heard = false;
  // Owed: bytes of pages asked for that have not come.
  qsizetype page_bytes_due = 0;
  // Owed: a settle found the line never silent; settling again would only cost time.
  bool noisy = false;
  // When the exchange that left this state ended, in milliseconds of the scheduler's clock: a
  // doubt lasts kOwedReplyQuietMs from then.
  qint64 since_ms = 0;

  bool operator==(const LineState&) const = default;
};

// What an exchange does with the input pending before it writes its command.
struct Preparation {
  enum class Step {
    HandToConsole,  // a clean line: what is pending belongs to nobody's exchange
    Drop,           // leftovers of a reply owed, or a late reply to this very command
    Settle,         // drop until the line has been silent for quiet_ms (giving up at limit_ms)
  };
  Step step = Step::HandToConsole;
  int quiet_ms = 0;
  int limit_ms = 0;
  // Settle: once this many bytes have been dropped (the rest of the pages owed), the silence
  // needed is only quiet_once_come_ms. 0: no such shortening.
  qsizetype bytes_due = 0;
  int quiet_once_come_ms = 0;
  bool operator==(const Preparation&) const = default;
};

Preparation prepareLine(const LineState& line, const Question& question, qint64 now_ms);

// What a settle found: the bytes it dropped, and whether the line fell silent for the whole
// silence it was prepared with.
struct Settled {
  qsizetype dropped = 0;
  bool silent = false;
};
LineState afterSettle(const LineState& line, const Preparation& preparation,
                      const Settled& settled);

// The state while the command is on its way and its reply awaited: an exchange stopped now (the
// worker killed) leaves its reply owed.
LineState awaitingReply(const LineState& line, const Question& question, qint64 now_ms);

// How an exchange ended: whether its reply was taken, how many bytes it read, and whether bytes
// were still arriving when it stopped reading on.
struct Outcome {
  bool taken = false;
  qsizetype received = 0;
  bool still_arriving = false;
};
// line is the state the exchange wrote its command on (after any settle), step what it did first.
LineState afterExchange(const LineState& line, Preparation::Step step, const Question& question,
                        const Outcome& outcome, qint64 now_ms);

// Bytes of the reply owed were dropped without a silence being proved: by Cancel's drain, or a
// settle that was given up.
LineState afterDrain(const LineState& line, qsizetype dropped);

// Whether what is pending on a line in this state is the console's.
bool pendingIsTheConsoles(const LineState& line, qint64 now_ms);
