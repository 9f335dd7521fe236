#include <gtest/gtest.h>

#include <QByteArray>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include "history/download_control.h"
#include "history/memory_reader.h"

namespace {

TEST(ProposedHistoryName, MonthDayYearThenTimeFromOneReading) {
  struct Case {
    QDate date;
    QTime time;
    const char* base;
  };
  const Case cases[] = {
      {{2024, 3, 5}, {14, 7, 9}, "kavhistory_03052024_140709"},
      {{2025, 12, 1}, {9, 5, 3}, "kavhistory_12012025_090503"},
      {{2026, 12, 31}, {23, 59, 59}, "kavhistory_12312026_235959"},
      {{2001, 1, 9}, {0, 0, 0}, "kavhistory_01092001_000000"},
  };
  for (const Case& c : cases)
    EXPECT_EQ(proposedHistoryBaseName(QDateTime(c.date, c.time)), QString::fromLatin1(c.base));
}

TEST(DownloadProgress, LabelBarAndMessageCountThousands) {
  struct Case {
    qint64 progress;
    const char* label;
    int bar;
    const char* message;
  };
  const Case cases[] = {
      {0, "Downloading...0 KB", 0, "Finished!\nDownloaded 0 KB."},
      {4096, "Downloading...4 KB", 0, "Finished!\nDownloaded 4 KB."},
      {12288, "Downloading...12 KB", 1, "Finished!\nDownloaded 12 KB."},
      {1044480, "Downloading...1044 KB", 99, "Finished!\nDownloaded 1044 KB."},
      {1048576, "Downloading...1048 KB", 100, "Finished!\nDownloaded 1048 KB."},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.progress);
    EXPECT_EQ(downloadingLabelText(c.progress), QString::fromLatin1(c.label));
    EXPECT_EQ(downloadProgressBarValue(c.progress), c.bar);
    EXPECT_EQ(downloadFinishedMessage(c.progress), QString::fromLatin1(c.message));
  }
}

TEST(HistoryPage, OnlyBothLastBytesErasedEndTheHistory) {
  struct Case {
    const char* name;
    qsizetype first_ff;
    qsizetype second_ff;
    bool last;
  };
  const Case cases[] = {
      {"both last bytes", 4094, 4095, true},
      {"only byte 4094", 4094, -1, false},
      {"only byte 4095", -1, 4095, false},
      {"a pair inside the page", 100, 101, false},
      {"the pair one byte early", 4093, 4094, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    QByteArray page(kHistoryPageBytes, char(0x12));
    if (c.first_ff >= 0) page[c.first_ff] = char(0xFF);
    if (c.second_ff >= 0) page[c.second_ff] = char(0xFF);
    EXPECT_EQ(isLastHistoryPage(page), c.last);
  }
  EXPECT_TRUE(isLastHistoryPage(QByteArray(kHistoryPageBytes, char(0xFF))));
}

TEST(HistoryPage, TheReaderStopsAfter256Pages) {
  EXPECT_EQ(kHistoryBufferBytes, 1048577);
  EXPECT_EQ(kLastHistoryPageLimit, 1044481u);
  // The 256th page starts at 255 x 4096 and the next start is past the limit.
  EXPECT_LE(255u * 4096u, kLastHistoryPageLimit);
  EXPECT_GT(256u * 4096u, kLastHistoryPageLimit);
}

TEST(HistoryDumpFile, TheSameFileByNameOrByLink) {
  QTemporaryDir folder;
  const QDir dir(folder.path());
  const QString dump = dir.filePath("kavhistory_03052024_140709.bin");
  EXPECT_TRUE(isHistoryDumpFile(dump, dump));
  EXPECT_TRUE(isHistoryDumpFile(dir.filePath("sub/../kavhistory_03052024_140709.bin"), dump));
  EXPECT_FALSE(isHistoryDumpFile(dir.filePath("kavhistory_03052024_140709.csv"), dump));
  EXPECT_FALSE(isHistoryDumpFile(dir.filePath("other/kavhistory_03052024_140709.bin"), dump));

  QFile existing(dump);
  ASSERT_TRUE(existing.open(QIODevice::WriteOnly));
  existing.close();
  ASSERT_TRUE(QFile::link(dump, dir.filePath("link.csv")));
  EXPECT_TRUE(isHistoryDumpFile(dir.filePath("link.csv"), dump));
}

TEST(HistoryDumpFile, TheMessageNamesTheFile) {
  EXPECT_EQ(chosenFileIsDumpMessage("/data/kavhistory_03052024_140709.bin"),
            "The history cannot be saved as /data/kavhistory_03052024_140709.bin: the raw dump "
            "of the download is written to that file.\nPlease choose another name.");
}

}  // namespace
