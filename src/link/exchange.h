#pragma once

#include <QByteArray>
#include <optional>

#include "link/line_state.h"

class Scheduler;
class Serial;

// One question to the counter over the open port, on the calling thread (the user-interface
// thread or a worker): prepare the line as its state asks (hand what is pending to the console,
// drop it, or let the line settle), write the command in one write, sleep the wait, read. Bytes
// still arriving at the end of the wait are read on until they stop, for a few tens of ms, and
// the reply is judged on all of it; a reply still arriving after that is not taken.
// Nothing is taken, and nothing read after the wait, when the connection is no longer the one
// the command was written on: a Disconnect, with or without a new Connect, came during the wait.
// On a port that is not open the exchange sleeps the wait and takes nothing.
std::optional<QByteArray> exchange(Serial& uart, Scheduler& scheduler, const Question& question);

// What an exchange read on a clean line before it wrote: the console's, shown at its next tick.
// Bytes kept for a connection that has since been closed are not handed over.
QByteArray takeConsoleInput(const Serial& uart);

// Drops what is pending and what was kept for the console.
void dropPendingInput(Serial& uart);

// Reads what came after an exchange was stopped during its wait: dropped as the rest of the reply
// it owed, or handed to the console when nothing was owed.
void drainStoppedExchange(Serial& uart, Scheduler& scheduler);

// The state of the open connection's line, for tests and diagnosis: clean for a connection no
// exchange has used.
LineState lineStateOf(const Serial& uart);
