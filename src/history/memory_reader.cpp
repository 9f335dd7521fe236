#include "history/memory_reader.h"

#include <QByteArray>
#include <QString>
#include <cstring>
#include <optional>

#include "history/history_files.h"
#include "link/connection.h"
#include "window/telvar.h"

namespace {

// One attempt at the page at address: the 4096 bytes, or none. Without a connection the attempt
// still takes its wait, so a download that lost its port asks again at the usual pace.
std::optional<QByteArray> askForPage(TELVAR& window, quint32 address) {
  if (!HoldsUserConnection(window)) {
    window.platform.scheduler.sleepCurrentThread(kHistoryPageWaitMs);
    return std::nullopt;
  }
  // Once Save has been pressed, a page that is still settling is not worth the wait.
  return AskOverUserConnection(window,
                               {commandSPIR(address), kHistoryPageWaitMs, isHistoryPageReply, 1,
                                [&window] { return !window.download_save; }},
                               1);
}

// Reads pages into the buffer until one ends the history, the user asks to save, or the memory
// is read whole; the number of bytes that arrived whole. A page is asked for again until it
// arrives whole; once Save has been pressed a failed attempt ends the reading instead, since the
// Cancel button is disabled then and nothing else could end it.
qint64 readHistoryPages(TELVAR& window, QByteArray& buffer) {
  quint32 address = 0;
  for (;;) {
    window.download_progress = qint64(address) + kHistoryPageBytes;
    std::optional<QByteArray> page;
    while (!(page = askForPage(window, address)))
      if (window.download_save) return address;
    std::memcpy(buffer.data() + address, page->constData(), kHistoryPageBytes);
    const bool stop = window.download_save || isLastHistoryPage(*page);
    address += quint32(kHistoryPageBytes);
    if (stop || address > kLastHistoryPageLimit) return address;
  }
}

}  // namespace

bool isLastHistoryPage(QByteArrayView page) {
  return page.size() == kHistoryPageBytes && quint8(page[kHistoryPageBytes - 2]) == 0xFF &&
         quint8(page[kHistoryPageBytes - 1]) == 0xFF;
}

void TELVAR::DHThread_Run() {
  // The start opens both files before it runs the reader; without them the bytes have nowhere
  // to go, so there is nothing to ask the counter for.
  if (!fileStream || !binaryStream || !fileStream->isOpen() || !binaryStream->isOpen()) return;

  QByteArray buffer(kHistoryBufferBytes, '\0');
  const qint64 downloaded = readHistoryPages(*this, buffer);
  // Already so, unless Save ended the reading at a page that never arrived whole.
  download_progress = downloaded;
  download_failure = writeHistoryFiles(*binaryStream, *fileStream, buffer.constData(), downloaded);
  download_finished = true;
}
