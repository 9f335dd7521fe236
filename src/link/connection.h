#pragma once

#include <QByteArray>
#include <QString>
#include <optional>

#include "link/exchange.h"

class TELVAR;

// True while the user's connection is open. Without it the serial object belongs to port
// discovery, which opens each port in turn and waits for its version reply while the worker
// threads run: a worker's exchange then would go into a probed port and take or drop the probe's
// reply. Discovery probes only while the caption reads "Connect", and the caption cannot change
// while a probe waits (its sleep holds the window), so a worker that tests this before every use
// of the port keeps off the probes. The workers share the window's OS thread, so the read is safe.
bool HoldsUserConnection(const TELVAR& window);

// Asks over the user's connection until a reply passes or `attempts` have failed; on a worker
// thread the other threads get a turn between two attempts. The reply that passed, or none.
// Nothing is written when there is no such connection, and nothing is taken when it was closed
// during a wait, even if the user has connected again since.
std::optional<QByteArray> AskOverUserConnection(TELVAR& window, const Question& question,
                                                int attempts);
