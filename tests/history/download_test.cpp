#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QImage>
#include <functional>
#include <optional>
#include <vector>

#include "history/download_control.h"
#include "history/memory_reader.h"
#include "history/record_decoder.h"
#include "history_download_fixture.h"
#include "support/lowered_limit.h"
#include "support/on_screen.h"

namespace {

QString finished(const char* kilobytes) {
  return QStringLiteral("Finished!\nDownloaded %1 KB.").arg(QLatin1String(kilobytes));
}

std::vector<quint32> pageAddresses(int pages) {
  std::vector<quint32> addresses;
  for (int i = 0; i < pages; ++i) addresses.push_back(quint32(i) * kHistoryPageBytes);
  return addresses;
}

class DownloadTest : public HistoryDownloadTest {
 protected:
  // The dump's path for the download started last: the proposed base name beside the chosen file.
  QString dumpBeside(const QString& chosen) const {
    QString name = sim.dialogs.proposedNames.last();
    name.replace(QStringLiteral(".csv"), QStringLiteral(".bin"));
    return QFileInfo(chosen).absoluteDir().filePath(name);
  }

  // The dump holds the first n bytes of the memory, and the text is what they decode to.
  void expectFiles(const QString& csv, qint64 n) {
    const QByteArray dump = readFile(dumpBeside(csv));
    EXPECT_EQ(dump.size(), n);
    EXPECT_TRUE(dump == counter.memory.left(n)) << "the dump differs from the memory";
    EXPECT_TRUE(readFile(csv) == DecodeHistory(dump, dump.size()))
        << "the comma-separated file is not the decoded dump";
  }

  // Presses Download History when the next tick of the 100 ms timer is 50 ms away, so the
  // worker's steps (600 ms apart) and the ticks never fall on the same instant.
  void pressBetweenTicks(const QString& path) {
    advanceUntilNoPoll();
    while (sim.nowMs() % 1000 != 450) sim.advance(1);
    pressDownload(path);
  }
};

TEST_F(DownloadTest, ReadsTheWholeMemoryWhenNoPageEndsIt) {
  counter.memory = endlessHistory();
  connectToCounter();
  advanceUntilNoPoll();
  const QString csv = sim.path("full.csv");
  pressDownload(csv);

  ASSERT_TRUE(window->download_started);
  EXPECT_EQ(window->DHButton.text(), QStringLiteral("Cancel"));
  EXPECT_TRUE(window->DHButton.isEnabled());
  EXPECT_EQ(window->SaveButton.text(), QStringLiteral("Save"));
  EXPECT_FALSE(window->SaveButton.isHidden());
  EXPECT_FALSE(window->DownloadingLabel.isHidden());
  EXPECT_EQ(window->GetCPSTimer.mode(), Timer::kOff);

  const qint64 started = sim.nowMs();
  const int polls = counter.timesReceived(SimCommand::GETCPS);
  struct Shown {
    QString label;
    int bar;
    QString caption;
    bool enabled;
    bool saveHidden;
    bool labelHidden;
    int polls;
  };
  std::optional<Shown> shown;
  sim.dialogs.onMessage = [&](const QString&) {
    shown = Shown{window->DownloadingLabel.text(),
                  window->DownloadProgressBar.value(),
                  window->DHButton.text(),
                  window->DHButton.isEnabled(),
                  window->SaveButton.isHidden(),
                  window->DownloadingLabel.isHidden(),
                  counter.timesReceived(SimCommand::GETCPS)};
  };
  ASSERT_TRUE(advanceUntilMessage());

  // 256 pages, each waited for 600 ms; the completion follows at the next tick.
  const qint64 took = sim.nowMs() - started;
  EXPECT_GE(took, 256 * 600);
  EXPECT_LE(took, 256 * 600 + 100);
  EXPECT_EQ(pageRequests(), pageAddresses(256));
  EXPECT_EQ(counter.log().back().bytes, commandSPIR(0x0FF000));
  expectFiles(csv, kHistoryMemoryBytes);

  EXPECT_EQ(sim.dialogs.events.mid(sim.dialogs.events.size() - 2),
            QStringList({"beep", "message:" + finished("1048")}));
  ASSERT_TRUE(shown);
  EXPECT_EQ(shown->label, QStringLiteral("Downloading...1048 KB"));
  EXPECT_EQ(shown->bar, 100);
  EXPECT_EQ(shown->caption, QStringLiteral("Download History"));
  EXPECT_TRUE(shown->enabled);
  EXPECT_TRUE(shown->saveHidden);
  EXPECT_TRUE(shown->labelHidden);
  EXPECT_EQ(shown->polls, polls) << "a count-rate poll ran during the download";

  expectIdle();
  sim.advance(100);
  EXPECT_EQ(window->DownloadingLabel.text(), QStringLiteral("Downloading...0 KB"));
  EXPECT_EQ(window->DownloadProgressBar.value(), 0);
  sim.advance(2000);
  EXPECT_GT(counter.timesReceived(SimCommand::GETCPS), polls);
}

TEST_F(DownloadTest, StopsAfterThePageThatEndsInTwoErasedBytes) {
  struct Case {
    const char* name;
    std::function<QByteArray()> memory;
    int pages;
    const char* kilobytes;
  };
  auto endsAtPage1With = [](qsizetype first, qsizetype second) {
    return [=] {
      QByteArray memory = historyEndingAtPage(1);
      memory[first] = char(0xFF);
      memory[second] = char(0xFF);
      return memory;
    };
  };
  const std::vector<Case> cases = {
      {"the first page", [] { return historyEndingAtPage(0); }, 1, "4"},
      {"the third page", [] { return historyEndingAtPage(2); }, 3, "12"},
      {"byte 4094 of the first page erased, not 4095", endsAtPage1With(4094, 100), 2, "8"},
      {"byte 4095 of the first page erased, not 4094", endsAtPage1With(4095, 100), 2, "8"},
      {"two erased bytes inside the first page", endsAtPage1With(2000, 2001), 2, "8"},
  };
  connectToCounter();
  for (size_t i = 0; i < cases.size(); ++i) {
    const Case& c = cases[i];
    SCOPED_TRACE(c.name);
    counter.memory = c.memory();
    const size_t requests_before = pageRequests().size();
    const QString csv = sim.path(QStringLiteral("h%1.csv").arg(i));
    pressDownload(csv);
    ASSERT_TRUE(advanceUntilMessage());
    EXPECT_EQ(sim.dialogs.messages.last(), finished(c.kilobytes));
    const std::vector<quint32> requests = pageRequests();
    EXPECT_EQ(std::vector<quint32>(requests.begin() + requests_before, requests.end()),
              pageAddresses(c.pages));
    expectFiles(csv, c.pages * kPage);
    expectIdle();
  }
}

TEST_F(DownloadTest, AsksForAPageAgainUntilItArrivesWhole) {
  struct Case {
    const char* name;
    SimFault fault;
    int attempts;
  };
  const Case cases[] = {
      {"4095 bytes", SimFault::shortBy(1), 2},
      {"4097 bytes", SimFault::longBy(1), 2},
      {"no reply", SimFault::noReply(), 2},
      {"stray bytes before the reply", SimFault::stray(3), 2},
      // Its tail comes after the read; the line is let fall quiet before the next attempt.
      {"a reply that ends after the wait", SimFault::late(300), 2},
  };
  connectToCounter();
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    counter.memory = historyEndingAtPage(1);
    counter.addFault(SimCommand::SPIR, c.fault);
    const size_t requests_before = pageRequests().size();
    const QString csv = sim.path(QStringLiteral("retry.csv"));
    pressDownload(csv);
    std::vector<qint64> progress;
    for (int waited = 0; waited < 20000 && sim.dialogs.messages.isEmpty(); waited += 10) {
      if (progress.empty() || progress.back() != window->download_progress)
        progress.push_back(window->download_progress);
      sim.advance(10);
    }
    ASSERT_FALSE(sim.dialogs.messages.isEmpty());
    // 0 until the worker's first turn; the retries leave 4096 as it was.
    EXPECT_EQ(progress, (std::vector<qint64>{0, 4096, 8192}));
    const std::vector<quint32> requests = pageRequests();
    std::vector<quint32> expected(c.attempts, 0);
    expected.push_back(4096);
    EXPECT_EQ(std::vector<quint32>(requests.begin() + requests_before, requests.end()), expected);
    EXPECT_EQ(sim.dialogs.messages.last(), finished("8"));
    expectFiles(csv, 2 * kPage);
    sim.dialogs.messages.clear();
  }
}

TEST_F(DownloadTest, TheLabelAndTheBarFollowThePages) {
  counter.memory = historyEndingAtPage(3);
  connectToCounter();
  sim.advance(100);
  EXPECT_EQ(window->DownloadingLabel.text(), QStringLiteral("Downloading...0 KB"));
  pressDownload(sim.path("h.csv"));
  QStringList labels;
  std::vector<int> bars;
  for (int waited = 0; waited < 10000 && sim.dialogs.messages.isEmpty(); waited += 10) {
    if (labels.isEmpty() || labels.last() != window->DownloadingLabel.text())
      labels.append(window->DownloadingLabel.text());
    if (bars.empty() || bars.back() != window->DownloadProgressBar.value())
      bars.push_back(window->DownloadProgressBar.value());
    sim.advance(10);
  }
  ASSERT_FALSE(sim.dialogs.messages.isEmpty());
  EXPECT_EQ(labels, QStringList({"Downloading...0 KB", "Downloading...4 KB", "Downloading...8 KB",
                                 "Downloading...12 KB", "Downloading...16 KB"}));
  EXPECT_EQ(bars, (std::vector<int>{0, 1}));
  EXPECT_EQ(sim.dialogs.messages.last(), finished("16"));
}

TEST_F(DownloadTest, SaveKeepsThePageInFlightAndEndsTheDownload) {
  counter.memory = endlessHistory();
  connectToCounter();
  const QString csv = sim.path("saved.csv");
  pressDownload(csv);
  ASSERT_TRUE(advanceUntilProgress(3 * kPage));
  sim.advance(300);  // page 2 is on its way
  window->SaveButton.click();
  EXPECT_EQ(window->SaveButton.text(), QStringLiteral("Saving..."));
  EXPECT_FALSE(window->DHButton.isEnabled());
  EXPECT_EQ(window->DHButton.text(), QStringLiteral("Cancel"));
  EXPECT_TRUE(window->download_save);

  ASSERT_TRUE(advanceUntilMessage());
  EXPECT_EQ(sim.dialogs.messages, QStringList{finished("12")});
  EXPECT_EQ(pageRequests(), pageAddresses(3));
  expectFiles(csv, 3 * kPage);
  expectIdle();

  // The next download offers Save again.
  pressDownload(sim.path("again.csv"));
  EXPECT_EQ(window->SaveButton.text(), QStringLiteral("Save"));
  EXPECT_FALSE(window->SaveButton.isHidden());
}

TEST_F(DownloadTest, SaveEndsAPageThatNeverArrivesWhole) {
  struct Case {
    const char* name;
    int whole_pages;
    const char* kilobytes;
  };
  const Case cases[] = {
      {"after two pages", 2, "8"},
      {"on the first page", 0, "0"},
  };
  connectToCounter();
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    counter.clearFaults();
    counter.memory = endlessHistory();
    const size_t requests_before = pageRequests().size();
    if (c.whole_pages == 0)
      counter.addFault(SimCommand::SPIR, SimFault::noReply(), SimCounter::kAlways);
    const QString csv = sim.path("stuck.csv");
    pressDownload(csv);
    if (c.whole_pages > 0) {
      ASSERT_TRUE(advanceUntilProgress(c.whole_pages * kPage));
      sim.advance(100);  // that page's request has been answered
      counter.addFault(SimCommand::SPIR, SimFault::noReply(), SimCounter::kAlways);
    }
    // Without Save the page is asked for again and again, each attempt a page's wait after the
    // last: nothing came, so a late reply would be the same page.
    sim.advance(15000);
    EXPECT_GE(pageRequests().size() - requests_before, size_t(c.whole_pages + 3));
    EXPECT_EQ(window->download_progress, (c.whole_pages + 1) * kPage);
    EXPECT_TRUE(sim.dialogs.messages.isEmpty());

    window->SaveButton.click();
    // Save ends the reading with the attempt under way.
    ASSERT_TRUE(advanceUntilMessage(kHistoryPageWaitMs + 200));
    EXPECT_EQ(sim.dialogs.messages, QStringList{finished(c.kilobytes)});
    expectFiles(csv, c.whole_pages * kPage);
    if (c.whole_pages == 0) {
      EXPECT_EQ(readFile(csv), QByteArray("Time,CPS,CPM\n"));
    }
    expectIdle();
    sim.dialogs.messages.clear();
  }
}

TEST_F(DownloadTest, CancelStopsTheReaderAndDeletesBothFiles) {
  counter.memory = endlessHistory();
  connectToCounter();
  const QString csv = sim.path("cancelled.csv");
  pressDownload(csv);
  ASSERT_TRUE(advanceUntilProgress(3 * kPage));
  sim.advance(50);
  ASSERT_TRUE(exists(csv));
  ASSERT_TRUE(exists(dumpBeside(csv)));
  const int polls = counter.timesReceived(SimCommand::GETCPS);

  const qint64 pressed = sim.nowMs();
  window->DHButton.click();
  EXPECT_EQ(sim.nowMs() - pressed, 1000) << "the cancel holds the window for a second";
  EXPECT_TRUE(folderEntries().isEmpty()) << folderEntries().join(", ").toStdString();
  expectIdle();
  EXPECT_TRUE(sim.dialogs.messages.isEmpty());
  EXPECT_EQ(sim.dialogs.beeps, 0);

  const size_t requests = pageRequests().size();
  sim.advance(3000);
  EXPECT_EQ(pageRequests().size(), requests);
  EXPECT_EQ(window->DownloadingLabel.text(), QStringLiteral("Downloading...0 KB"));
  EXPECT_EQ(window->DownloadProgressBar.value(), 0);
  EXPECT_GT(counter.timesReceived(SimCommand::GETCPS), polls);
  EXPECT_TRUE(sim.dialogs.messages.isEmpty());
}

TEST_F(DownloadTest, CancellingIsOnScreenWhileTheCancelHoldsTheWindow) {
  counter.memory = endlessHistory();
  connectToCounter();
  pressDownload(sim.path("cancelled.csv"));
  ASSERT_TRUE(advanceUntilProgress(2 * kPage));
  window->show();
  QCoreApplication::processEvents();
  const QImage before = ShownOnScreen(window->DHButton);
  ASSERT_EQ(before, DrawnNow(window->DHButton)) << "the screen shows the window as it stands";

  const HoldLook look = LookAtButtonDuringHold(sim.scheduler, window->DHButton, window->Graph, 500,
                                               [&] { window->DHButton.click(); });

  ASSERT_TRUE(look.looked);
  SaveForALook(look.shown, "cancelling-on-screen.png");
  EXPECT_EQ(look.caption, QStringLiteral("Cancelling..."));
  EXPECT_EQ(look.shown, look.drawn) << "the screen shows the caption the button has";
  EXPECT_NE(look.shown, before);
  EXPECT_EQ(look.handlers, QStringList{"DHButton_Action"})
      << "no other handler ran, the graph's paint neither";
  expectIdle();
}

TEST_F(DownloadTest, CancelAfterTheWorkerFinishedStillCancels) {
  counter.memory = historyEndingAtPage(1);
  connectToCounter();
  const QString csv = sim.path("late_cancel.csv");
  pressBetweenTicks(csv);
  for (int waited = 0; waited < 5000 && !window->download_finished; ++waited) {
    ASSERT_TRUE(sim.dialogs.messages.isEmpty()) << "the tick came first";
    sim.advance(1);
  }
  ASSERT_TRUE(window->download_finished);
  ASSERT_EQ(readFile(dumpBeside(csv)).size(), 2 * kPage);
  ASSERT_TRUE(exists(csv));

  window->DHButton.click();
  sim.advance(500);
  EXPECT_TRUE(folderEntries().isEmpty()) << folderEntries().join(", ").toStdString();
  EXPECT_TRUE(sim.dialogs.messages.isEmpty());
  EXPECT_EQ(sim.dialogs.beeps, 0);
  expectIdle();
}

TEST_F(DownloadTest, NamesComeFromTheClockAndTheDumpLiesBesideTheChosenFile) {
  struct Case {
    QDateTime wall;
    const char* chosen;
    const char* proposed;
    const char* dump;
  };
  const Case cases[] = {
      {{{2024, 3, 5}, {14, 7, 9}},
       "kavhistory_03052024_140709.csv",
       "kavhistory_03052024_140709.csv",
       "kavhistory_03052024_140709.bin"},
      {{{2025, 12, 1}, {9, 5, 3}},
       "sub/mydata.csv",
       "kavhistory_12012025_090503.csv",
       "sub/kavhistory_12012025_090503.bin"},
  };
  ASSERT_TRUE(QDir(sim.folder.path()).mkdir("sub"));
  counter.memory = historyEndingAtPage(0);
  connectToCounter();
  for (const Case& c : cases) {
    SCOPED_TRACE(c.chosen);
    advanceUntilNoPoll();
    sim.clock.setLocalDateTime(c.wall);
    const QString csv = sim.path(QString::fromLatin1(c.chosen));
    pressDownload(csv);
    EXPECT_EQ(sim.dialogs.proposedNames.last(), QString::fromLatin1(c.proposed));
    EXPECT_EQ(window->file, csv);
    EXPECT_EQ(window->file_bin, sim.path(QString::fromLatin1(c.dump)));
    ASSERT_TRUE(advanceUntilMessage());
    EXPECT_EQ(readFile(sim.path(QString::fromLatin1(c.dump))).size(), kPage);
    EXPECT_FALSE(readFile(csv).isEmpty());
  }
  EXPECT_EQ(folderEntries(), QStringList({"kavhistory_03052024_140709.bin",
                                          "kavhistory_03052024_140709.csv", "sub"}));
}

TEST_F(DownloadTest, TheTimeInTheNameIsTakenOnceThePollHasEnded) {
  counter.memory = historyEndingAtPage(0);
  connectToCounter();
  advanceUntilNoPoll();
  counter.addFault(SimCommand::GETCPS, SimFault::noReply(), 3);
  const int polls = counter.timesReceived(SimCommand::GETCPS);
  for (int waited = 0; waited < 2000 && !window->GetCPSThreadRunning; ++waited) sim.advance(1);
  ASSERT_TRUE(window->GetCPSThreadRunning) << "no count-rate poll started";
  sim.clock.setLocalDateTime(QDateTime({2025, 12, 1}, {9, 5, 2, 900}));
  const qint64 pressed = sim.nowMs();

  pressDownload(sim.path("h.csv"));
  // The poll made its three attempts, 100 ms each, before the start went on.
  EXPECT_GE(sim.nowMs() - pressed, 290);
  EXPECT_EQ(counter.timesReceived(SimCommand::GETCPS), polls + 3);
  EXPECT_FALSE(window->GetCPSThreadRunning);
  EXPECT_EQ(sim.dialogs.proposedNames.last(), QStringLiteral("kavhistory_12012025_090503.csv"));
  ASSERT_TRUE(advanceUntilMessage());
  EXPECT_EQ(counter.timesReceived(SimCommand::GETCPS), polls + 3);
}

TEST_F(DownloadTest, FilesOfTheSameNamesAreReplaced) {
  counter.memory = historyEndingAtPage(0);
  connectToCounter();
  advanceUntilNoPoll();
  sim.clock.setLocalDateTime(QDateTime({2024, 3, 5}, {14, 7, 9}));
  const QString csv = sim.path("old.csv");
  const QString dump = sim.path("kavhistory_03052024_140709.bin");
  for (const QString& path : {csv, dump}) {
    QFile old(path);
    ASSERT_TRUE(old.open(QIODevice::WriteOnly));
    old.write(QByteArray(3 * kPage, 'x'));
  }
  pressDownload(csv);
  ASSERT_TRUE(advanceUntilMessage());
  expectFiles(csv, kPage);
}

TEST_F(DownloadTest, ARefusedSaveDialogChangesNothing) {
  connectToCounter();
  advanceUntilNoPoll();
  const int polls = counter.timesReceived(SimCommand::GETCPS);
  pressDownload(std::nullopt);
  EXPECT_EQ(sim.dialogs.proposedNames.size(), 1);
  EXPECT_FALSE(window->file.has_value());
  expectIdle();
  EXPECT_TRUE(folderEntries().isEmpty());
  EXPECT_TRUE(sim.dialogs.messages.isEmpty());
  EXPECT_EQ(sim.dialogs.beeps, 0);
  sim.advance(2000);
  EXPECT_TRUE(pageRequests().empty());
  EXPECT_GT(counter.timesReceived(SimCommand::GETCPS), polls);
}

TEST_F(DownloadTest, ADownloadSurvivesAReconnectionWithoutSharingThePort) {
  counter.memory = historyEndingAtPage(9);
  connectToCounter();
  const QString csv = sim.path("reconnected.csv");
  pressDownload(csv);
  ASSERT_TRUE(advanceUntilProgress(3 * kPage));
  // The page request is on its way; its wait ends while discovery probes the counter's port.
  sim.advance(50);
  const int polls = counter.timesReceived(SimCommand::GETCPS);

  disconnect();
  EXPECT_FALSE(window->DHButton.isEnabled());
  const size_t requests = pageRequests().size();
  const int probes = counter.timesReceived(SimCommand::GETVER);
  // A port that comes and goes makes discovery probe the counter's port again and again, each
  // time holding it open for 100 ms while the reader's thread runs.
  for (int i = 0; i < 12; ++i) {
    if (i % 2 == 0)
      sim.serial.addPort(QStringLiteral("/dev/ttyS9"));
    else
      sim.serial.removePort(QStringLiteral("/dev/ttyS9"));
    sim.advance(500);
    EXPECT_EQ(window->SerialPortsPopupMenu.itemText(0), QString::fromLatin1(counter.version))
        << "the reader took the reply of a version probe";
  }
  sim.advance(600);
  EXPECT_GE(counter.timesReceived(SimCommand::GETVER), probes + 10);
  EXPECT_EQ(pageRequests().size(), requests) << "the reader used a port that discovery probed";
  EXPECT_EQ(window->SerialPortsPopupMenu.currentText(), QString::fromLatin1(counter.version));
  connectToCounter();
  EXPECT_EQ(window->GetCPSTimer.mode(), Timer::kRepeating);
  EXPECT_TRUE(window->DHButton.isEnabled());
  EXPECT_EQ(window->DHButton.text(), QStringLiteral("Cancel"));

  std::optional<int> polls_at_end;
  sim.dialogs.onMessage = [&](const QString&) {
    polls_at_end = counter.timesReceived(SimCommand::GETCPS);
  };
  ASSERT_TRUE(advanceUntilMessage());
  EXPECT_EQ(sim.dialogs.messages, QStringList{finished("40")});
  EXPECT_EQ(polls_at_end, polls) << "a count-rate poll shared the port with the reader";
  expectFiles(csv, 10 * kPage);
  expectIdle();
  sim.advance(2000);
  EXPECT_GT(counter.timesReceived(SimCommand::GETCPS), polls);
}

TEST_F(DownloadTest, ADownloadThatEndsWithoutAConnectionGivesNoFeatureBack) {
  struct Case {
    const char* name;
    std::function<void()> end;
    QString message_start;  // empty: no message
  };
  const std::vector<Case> cases = {
      {"Save, then the completion",
       [this] {
         window->SaveButton.click();
         ASSERT_TRUE(advanceUntilMessage(2000));
       },
       finished("8")},
      {"Save, then files that cannot be written",
       [this] {
         LoweredLimit limit(RLIMIT_FSIZE, kPage);
         ASSERT_TRUE(limit.ok());
         window->SaveButton.click();
         ASSERT_TRUE(advanceUntilMessage(2000));
       },
       QStringLiteral("Could not write ")},
      // The button is off without a connection, so no press reaches the cancel; the rule holds
      // for it all the same.
      {"cancel", [this] { sim.scheduler.runHandler([this] { window->DHButton_Action(); }); }, {}},
  };
  counter.memory = endlessHistory();
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    connectToCounter();
    const QString csv = sim.path("unplugged.csv");
    pressDownload(csv);
    ASSERT_TRUE(advanceUntilProgress(3 * kPage));
    disconnect();

    c.end();

    if (c.message_start.isEmpty()) {
      EXPECT_TRUE(sim.dialogs.messages.isEmpty());
    } else {
      ASSERT_EQ(sim.dialogs.messages.size(), 1);
      EXPECT_TRUE(sim.dialogs.messages.first().startsWith(c.message_start))
          << sim.dialogs.messages.first().toStdString();
    }
    EXPECT_FALSE(window->download_started);
    EXPECT_FALSE(window->DHThread.isRunning());
    EXPECT_EQ(window->DHButton.text(), QStringLiteral("Download History"));
    EXPECT_FALSE(window->DHButton.isEnabled());
    EXPECT_TRUE(window->SaveButton.isHidden());
    EXPECT_EQ(window->GetCPSTimer.mode(), Timer::kOff);
    const std::vector<qint64> series = window->CPS;
    const int polls = counter.timesReceived(SimCommand::GETCPS);
    sim.advance(5000);
    EXPECT_TRUE(window->CPS == series) << "a sample was stored without a connection";
    EXPECT_EQ(counter.timesReceived(SimCommand::GETCPS), polls);

    // The features come back with the connection.
    connectToCounter();
    EXPECT_TRUE(window->DHButton.isEnabled());
    EXPECT_EQ(window->GetCPSTimer.mode(), Timer::kRepeating);
    disconnect();
    sim.dialogs.messages.clear();
    QDir(sim.folder.path()).removeRecursively();
    QDir().mkpath(sim.folder.path());
  }
}

TEST_F(DownloadTest, TheDumpCannotBeTheChosenFile) {
  connectToCounter();
  for (const bool existed : {false, true}) {
    SCOPED_TRACE(existed ? "the file exists" : "no such file yet");
    advanceUntilNoPoll();
    sim.clock.setLocalDateTime(QDateTime({2024, 3, 5}, {14, 7, 9}));
    const QString chosen = sim.path("kavhistory_03052024_140709.bin");
    if (existed) {
      QFile earlier(chosen);
      ASSERT_TRUE(earlier.open(QIODevice::WriteOnly));
      earlier.write("earlier dump");
    }
    pressDownload(chosen);
    EXPECT_EQ(sim.dialogs.messages, QStringList{chosenFileIsDumpMessage(chosen)});
    expectIdle();
    EXPECT_EQ(folderEntries(),
              existed ? QStringList{"kavhistory_03052024_140709.bin"} : QStringList{});
    if (existed) {
      EXPECT_EQ(readFile(chosen), QByteArray("earlier dump"));
    }
    sim.advance(1000);
    EXPECT_TRUE(pageRequests().empty());
    sim.dialogs.messages.clear();
  }
}

}  // namespace
