#pragma once

class TELVAR;

// One serial port serves every feature and nothing locks it: the features keep out of each
// other's exchanges by handing it over, and these two calls are the whole of that.
//
// - The count-rate poll takes it from the console: the console's timer stops for the run, and
//   GetCPSThreadRunning says that a poll holds the port.
// - A download takes it from the poll: it waits until a running poll has ended, then stops the
//   poll's timer. A history download also raises download_started (its own business, since its
//   start may still be refused after this), which keeps the console's ticks and a screenshot
//   away while its reader runs. Port discovery probes only while no port is connected.
//
// Giving it back undoes the taking, but the poll goes on only over a connection: after a
// Disconnect during a history download, the features stay as the Disconnect left them.
enum class PortUser { CountRatePoll, Download };

void TakePort(TELVAR& window, PortUser user);
void GivePortBack(TELVAR& window, PortUser user);
