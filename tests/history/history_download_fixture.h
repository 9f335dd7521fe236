#pragma once

#include <gtest/gtest.h>

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QString>
#include <QStringList>
#include <optional>
#include <ostream>
#include <vector>

#include "link/protocol.h"
#include "support/counter_window.h"

inline void PrintTo(const QString& s, std::ostream* os) { *os << '"' << s.toStdString() << '"'; }
inline void PrintTo(const QStringList& l, std::ostream* os) {
  *os << "{";
  for (const QString& s : l) *os << " \"" << s.toStdString() << "\"";
  *os << " }";
}

// The window connected to a simulated counter, with what a history download test needs: memory
// contents, a way to run a download to its message, and the files it leaves.
class HistoryDownloadTest : public CounterWindowTest {
 protected:
  static constexpr qint64 kPage = kHistoryPageBytes;

  // History that no page ends: counts 0 to 249, so no byte is 0xFF, behind a timestamp.
  static QByteArray endlessHistory() {
    QByteArray memory(kHistoryMemoryBytes, '\0');
    for (qsizetype i = 0; i < memory.size(); ++i) memory[i] = char((i * 13 + 7) % 250);
    const char timestamp[] = {char(0x55), char(0xAA), 0, 24, 3, 5, 14, 7, 9};
    memory.replace(0, sizeof timestamp, QByteArray(timestamp, sizeof timestamp));
    return memory;
  }

  // History whose page `last` (from 0) is the last: it ends in 0xFF 0xFF, erased memory after.
  static QByteArray historyEndingAtPage(qint64 last) {
    QByteArray memory = endlessHistory();
    const qint64 end = (last + 1) * kPage;
    memory[end - 2] = char(0xFF);
    memory[end - 1] = char(0xFF);
    for (qsizetype i = end; i < memory.size(); ++i) memory[i] = char(0xFF);
    return memory;
  }

  static QByteArray readFile(const QString& path) {
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly)) return {};
    return f.readAll();
  }

  static bool exists(const QString& path) { return QFileInfo::exists(path); }

  // The files the test folder holds, by name.
  QStringList folderEntries() const {
    return QDir(sim.folder.path())
        .entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::System);
  }

  // Presses Download History with the save dialog answering path (none: the user refuses).
  void pressDownload(std::optional<QString> path) {
    sim.dialogs.answerSave(path);
    window->DHButton.click();
  }

  // Moves time on until the program shows a message; false when none came within max_ms.
  bool advanceUntilMessage(qint64 max_ms = 200000) {
    const qsizetype before = sim.dialogs.messages.size();
    for (qint64 waited = 0; waited < max_ms; waited += 10) {
      sim.advance(10);
      if (sim.dialogs.messages.size() > before) return true;
    }
    return false;
  }

  // Moves time on in steps of 1 ms until the reader asks for the page at address.
  bool advanceUntilProgress(qint64 progress, qint64 max_ms = 200000) {
    for (qint64 waited = 0; waited < max_ms; ++waited) {
      if (window->download_progress == progress) return true;
      sim.advance(1);
    }
    return window->download_progress == progress;
  }

  // The addresses of the page requests the counter received, in order.
  std::vector<quint32> pageRequests() const {
    std::vector<quint32> addresses;
    for (const SimCounter::Received& r : counter.log())
      if (r.command == SimCommand::SPIR)
        addresses.push_back(quint32(quint8(r.bytes[5])) << 16 | quint32(quint8(r.bytes[6])) << 8 |
                            quint32(quint8(r.bytes[7])));
    return addresses;
  }

  // Waits, if need be, until no count-rate poll runs, so a test can press at a known time.
  void advanceUntilNoPoll() {
    for (int waited = 0; waited < 10000 && window->GetCPS.isRunning(); ++waited) sim.advance(1);
    ASSERT_FALSE(window->GetCPS.isRunning()) << "a count-rate poll does not end";
  }

  // The window as it stands between downloads.
  void expectIdle() {
    EXPECT_FALSE(window->download_started);
    EXPECT_FALSE(window->download_save);
    EXPECT_FALSE(window->download_finished);
    EXPECT_TRUE(window->download_failure.isEmpty());
    EXPECT_EQ(window->download_progress, 0);
    EXPECT_FALSE(window->DHThread.isRunning());
    EXPECT_EQ(window->DHButton.text(), QStringLiteral("Download History"));
    EXPECT_TRUE(window->DHButton.isEnabled());
    EXPECT_TRUE(window->SaveButton.isHidden());
    EXPECT_TRUE(window->DownloadingLabel.isHidden());
    EXPECT_EQ(window->GetCPSTimer.mode(), Timer::kRepeating);
  }
};
