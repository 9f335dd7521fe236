#include <fcntl.h>
#include <unistd.h>

#include <QDateTime>
#include <QDir>
#include <functional>
#include <optional>
#include <vector>

#include "history/download_control.h"
#include "history/record_decoder.h"
#include "history_download_fixture.h"
#include "support/lowered_limit.h"

namespace {

// The descriptor limit that lets exactly `more` further files open: descriptors are handed out
// lowest first, and each must lie below the limit.
rlim_t limitForOnlyMoreFiles(int more) {
  std::vector<int> probes;
  for (int i = 0; i <= more; ++i) probes.push_back(::open("/dev/null", O_RDONLY));
  const int limit = probes.back();
  for (int fd : probes) ::close(fd);
  return rlim_t(limit);
}

QString native(const QString& path) { return QDir::toNativeSeparators(path); }

class DownloadFilesTest : public HistoryDownloadTest {
 protected:
  static constexpr const char* kBase = "kavhistory_03052024_140709";

  void SetUp() override {
    HistoryDownloadTest::SetUp();
    connectToCounter();
  }

  // Presses Download History at a known time, so the dump's name is known.
  void pressAtKnownTime(const QString& chosen) {
    advanceUntilNoPoll();
    sim.clock.setLocalDateTime(QDateTime({2024, 3, 5}, {14, 7, 9}));
    pressDownload(chosen);
  }

  QString dumpPath() const { return sim.path(QString::fromLatin1(kBase) + ".bin"); }

  static void makeFolder(const QString& path) {
    ASSERT_TRUE(QDir().mkpath(path));
    QFile inside(QDir(path).filePath("inside"));
    ASSERT_TRUE(inside.open(QIODevice::WriteOnly));
  }
};

TEST_F(DownloadFilesTest, AStartThatCannotMakeItsFilesSaysWhyAndStaysIdle) {
  struct Case {
    const char* name;
    QString chosen;
    std::function<void()> prepare;
    int files_that_open;  // -1: no descriptor limit
    QStringList lines;    // the message, line by line; a line ending in ": " is a prefix
    QStringList left;
  };
  const QString csv = sim.path("h.csv");
  const QString dump = dumpPath();
  const QString folder_csv = sim.path("taken.csv");
  const QString missing = sim.path("missing/h.csv");
  const std::vector<Case> cases = {
      {"the chosen file is a folder",
       folder_csv,
       [&] { makeFolder(folder_csv); },
       -1,
       {"Could not delete " + native(folder_csv) + ": "},
       {"taken.csv"}},
      {"the chosen file's folder is missing",
       missing,
       [] {},
       -1,
       {"Could not find the folder of " + native(missing) + ": No such folder."},
       {}},
      {"the comma-separated file cannot be created",
       csv,
       [] {},
       0,
       {"Could not create " + native(csv) + ": Too many open files."},
       {}},
      {"the dump is a folder that cannot be deleted",
       csv,
       [&] { makeFolder(dump); },
       -1,
       {"Could not delete " + native(dump) + ": ",
        "Removed the unfinished file " + native(csv) + "."},
       {QString::fromLatin1(kBase) + ".bin"}},
      {"the dump cannot be created",
       csv,
       [] {},
       1,
       {"Could not create " + native(dump) + ": Too many open files.",
        "Removed the unfinished file " + native(csv) + "."},
       {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    c.prepare();
    {
      std::optional<LoweredLimit> limit;
      if (c.files_that_open >= 0) {
        limit.emplace(RLIMIT_NOFILE, limitForOnlyMoreFiles(c.files_that_open));
        ASSERT_TRUE(limit->ok());
      }
      pressAtKnownTime(c.chosen);
    }
    ASSERT_EQ(sim.dialogs.messages.size(), 1);
    const QStringList lines = sim.dialogs.messages.first().split('\n');
    ASSERT_EQ(lines.size(), c.lines.size()) << sim.dialogs.messages.first().toStdString();
    for (qsizetype i = 0; i < lines.size(); ++i) {
      if (c.lines[i].endsWith(": ")) {
        EXPECT_TRUE(lines[i].startsWith(c.lines[i]) && lines[i].size() > c.lines[i].size() + 1)
            << lines[i].toStdString();
      } else {
        EXPECT_EQ(lines[i], c.lines[i]);
      }
    }
    expectIdle();
    EXPECT_EQ(sim.dialogs.beeps, 0);
    EXPECT_EQ(folderEntries(), c.left);
    sim.advance(1000);
    EXPECT_TRUE(pageRequests().empty());
    QDir(sim.folder.path()).removeRecursively();
    QDir().mkpath(sim.folder.path());
    sim.dialogs.messages.clear();
  }

  // Nothing is stuck: the next download runs to its end.
  counter.memory = historyEndingAtPage(0);
  pressAtKnownTime(csv);
  ASSERT_TRUE(advanceUntilMessage());
  EXPECT_EQ(sim.dialogs.messages, QStringList{"Finished!\nDownloaded 4 KB."});
}

TEST_F(DownloadFilesTest, AFailedWriteRemovesWhatIsIncompleteAndKeepsAWholeDump) {
  struct Case {
    const char* name;
    int pages;
    rlim_t file_size_limit;
    bool dump_kept;
  };
  const Case cases[] = {
      {"the dump", 3, 2 * kHistoryPageBytes, false},
      {"the comma-separated file", 1, 4 * kHistoryPageBytes, true},
  };
  const QString csv = sim.path("h.csv");
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    counter.memory = historyEndingAtPage(c.pages - 1);
    const qint64 n = c.pages * kPage;
    ASSERT_GT(DecodeHistory(counter.memory, n).size(), qsizetype(c.file_size_limit));
    {
      LoweredLimit limit(RLIMIT_FSIZE, c.file_size_limit);
      ASSERT_TRUE(limit.ok());
      pressAtKnownTime(csv);
      ASSERT_TRUE(advanceUntilMessage());
    }
    const QString failed = c.dump_kept ? csv : dumpPath();
    const QString dump_line = c.dump_kept
                                  ? "Kept " + native(dumpPath()) + ": it was written whole."
                                  : "Removed the unfinished file " + native(dumpPath()) + ".";
    const QStringList lines = {"Could not write " + native(failed) + ": File too large.",
                               "Removed the unfinished file " + native(csv) + ".", dump_line};
    EXPECT_EQ(sim.dialogs.messages, QStringList{lines.join('\n')});
    EXPECT_EQ(sim.dialogs.beeps, 0);
    expectIdle();
    if (c.dump_kept) {
      EXPECT_EQ(folderEntries(), QStringList{QString::fromLatin1(kBase) + ".bin"});
      EXPECT_TRUE(readFile(dumpPath()) == counter.memory.left(n));
    } else {
      EXPECT_TRUE(folderEntries().isEmpty()) << folderEntries().join(", ").toStdString();
    }
    sim.advance(200);
    EXPECT_EQ(sim.dialogs.messages.size(), 1);
    sim.dialogs.messages.clear();
    QFile::remove(dumpPath());
  }
}

TEST_F(DownloadFilesTest, ACancelThatCannotDeleteAFileSaysSo) {
  counter.memory = endlessHistory();
  const QString csv = sim.path("h.csv");
  pressAtKnownTime(csv);
  ASSERT_TRUE(advanceUntilProgress(2 * kPage));
  // Something else has put a folder where the comma-separated file was.
  ASSERT_TRUE(QFile::remove(csv));
  makeFolder(csv);

  window->DHButton.click();
  ASSERT_EQ(sim.dialogs.messages.size(), 1);
  EXPECT_TRUE(sim.dialogs.messages.first().startsWith("Could not delete " + native(csv) + ": "))
      << sim.dialogs.messages.first().toStdString();
  expectIdle();
  EXPECT_FALSE(exists(dumpPath()));
  sim.advance(1000);
  EXPECT_EQ(sim.dialogs.messages.size(), 1);
}

}  // namespace
