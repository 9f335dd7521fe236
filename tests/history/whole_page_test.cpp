#include <QByteArray>
#include <algorithm>
#include <utility>
#include <vector>

#include "history/record_decoder.h"
#include "history_download_fixture.h"

namespace {

// A busy counter answers late, or in two parts with a pause between them; its replies then
// straddle the reads. Whatever the shape, every page taken must be the memory's, byte for byte.
struct Shape {
  const char* name;
  std::vector<std::pair<SimFault, int>> faults;  // each fault for that many page replies
  qint64 latency_us = 1500;
};

class WholePageTest : public HistoryDownloadTest {
 protected:
  // Two pages of bytes that never repeat a 64-byte run, so a page taken is found at one place.
  void useUnrepeatingTwoPageHistory() {
    counter.memory = historyEndingAtPage(1);
    quint32 x = 12345;
    for (qsizetype b = 9; b < 2 * kPage - 2; ++b) {
      x = x * 1103515245u + 12345u;
      counter.memory[b] = char((x >> 16) % 250);
    }
  }

  QString dumpOf(const QString& csv) const {
    QString name = sim.dialogs.proposedNames.last();
    name.replace(QStringLiteral(".csv"), QStringLiteral(".bin"));
    return QFileInfo(csv).absoluteDir().filePath(name);
  }
};

TEST_F(WholePageTest, APageIsNeverMadeOfTwoReplies) {
  const std::vector<Shape> shapes = {
      // With this latency the page taken used to begin with memory byte 315.
      {"three 2371 ms late, then ten 362 ms late",
       {{SimFault::late(2371), 3}, {SimFault::late(362), 10}},
       600},
      {"two 300 ms late", {{SimFault::late(300), 2}}},
      {"two in parts with a 400 ms pause", {{SimFault::split(2000, 400), 2}}},
      {"one 300 ms late, then one in parts",
       {{SimFault::late(300), 1}, {SimFault::split(2000, 300), 1}}},
      {"always 450 ms late, for twenty replies", {{SimFault::late(450), 20}}},
      // Shapes the long-use simulation found: the rest of a reply after a long pause, and late
      // replies to one page still arriving while the next one is asked for.
      {"eight in parts with a 585 ms pause", {{SimFault::split(2617, 585), 8}}},
      {"three 2600 ms late", {{SimFault::late(2600), 3}}},
      {"two in parts with a pause longer than the wait", {{SimFault::split(3905, 888), 2}}},
  };
  connectToCounter();
  int n = 0;
  for (const Shape& s : shapes) {
    SCOPED_TRACE(s.name);
    useUnrepeatingTwoPageHistory();
    counter.latencyUs = s.latency_us;
    counter.clearFaults();
    for (const auto& [fault, times] : s.faults) counter.addFault(SimCommand::SPIR, fault, times);
    const QString csv = sim.path(QStringLiteral("whole%1.csv").arg(n++));
    pressDownload(csv);
    if (!advanceUntilMessage(200000)) {
      ADD_FAILURE() << "the download does not end";
      continue;
    }
    EXPECT_EQ(sim.dialogs.messages.last(), QStringLiteral("Finished!\nDownloaded 8 KB."));
    const QByteArray dump = readFile(dumpOf(csv));
    EXPECT_EQ(dump.size(), 2 * kPage);
    EXPECT_EQ(counter.memory.indexOf(dump.left(64)), 0) << "page 0 begins elsewhere in the memory";
    EXPECT_TRUE(dump == counter.memory.left(dump.size())) << "the dump differs from the memory";
    EXPECT_TRUE(readFile(csv) == DecodeHistory(dump, dump.size()));
    expectIdle();
    sim.advance(5000);  // the last late replies come and go before the next shape
  }
}

}  // namespace
