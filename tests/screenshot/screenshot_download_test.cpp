#include "screenshot/screenshot_download.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QStringList>
#include <cstring>
#include <functional>
#include <initializer_list>
#include <ostream>
#include <vector>

#include "link/protocol.h"
#include "screenshot/bitmap.h"
#include "support/counter_window.h"
#include "support/lowered_limit.h"
#include "support/on_screen.h"

// Readable failures: a QString as its text, not as its UTF-16 code units.
static void PrintTo(const QString& text, std::ostream* os) {
  *os << '"' << text.toStdString() << '"';
}

namespace {

const QString kIdleCaption = QStringLiteral("Download Screenshot");
const QString kBusyCaption = QStringLiteral("Please wait...");
const QString kFinished = QStringLiteral("Download Finished.");
const QString kTimestampFailed = QStringLiteral("Failed to download. Please try again.");
const QString kPictureFailed = QStringLiteral("Download Failed.");

QByteArray bytes(std::initializer_list<int> values) {
  QByteArray out;
  for (int v : values) out.append(char(v));
  return out;
}

QString reasonFor(int error) { return QString::fromLocal8Bit(std::strerror(error)); }

QByteArray readFile(const QString& path) {
  QFile f(path);
  if (!f.open(QIODevice::ReadOnly)) return {};
  return f.readAll();
}

// The window as a message box found it.
struct Shown {
  QString text;
  QString caption;
  int timerMode;
  bool operator==(const Shown&) const = default;
};

void PrintTo(const Shown& s, std::ostream* os) {
  *os << "{\"" << s.text.toStdString() << "\", caption \"" << s.caption.toStdString()
      << "\", GetCPSTimer mode " << s.timerMode << "}";
}

// A counter on the only port, reached through a driver that can hand a reply over in two reads.
class ScreenshotDownload : public CounterWindowTest {
 protected:
  SplitReadSerialSystem splitReads{sim.serial};
  std::vector<Shown> shown;

  void SetUp() override {
    counter.plugInto(sim.serial, kCounterPort);
    window = std::make_unique<TELVAR>(Platform{sim.scheduler, splitReads, sim.dialogs});
    sim.dialogs.onMessage = [this](const QString& text) {
      shown.push_back({text, window->DSButton.text(), window->GetCPSTimer.mode()});
    };
  }

  void connected() {
    connectToCounter();
    ASSERT_TRUE(window->DSButton.isEnabled());
    ASSERT_EQ(window->GetCPSTimer.mode(), Timer::kRepeating);
  }

  void press() { window->DSButton.click(); }

  // The screen-image commands the counter received, in order.
  std::vector<SimCounter::Received> imageCommands() const {
    std::vector<SimCounter::Received> found;
    for (const auto& r : counter.log())
      if (r.command == SimCommand::GETSSN || r.command == SimCommand::GETSS) found.push_back(r);
    return found;
  }
  QStringList imageCommandTexts() const {
    QStringList texts;
    for (const auto& r : imageCommands()) texts.append(QString::fromLatin1(r.bytes));
    return texts;
  }
  std::vector<qint64> gapsUs(SimCommand command) const {
    std::vector<qint64> times, gaps;
    for (const auto& r : counter.log())
      if (r.command == command) times.push_back(r.at_us);
    for (size_t i = 1; i < times.size(); ++i) gaps.push_back(times[i] - times[i - 1]);
    return gaps;
  }

  QStringList filesInFolder() const {
    return QDir(sim.folder.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot);
  }

  void expectIdle() {
    EXPECT_EQ(window->DSButton.text(), kIdleCaption);
    EXPECT_EQ(window->GetCPSTimer.mode(), Timer::kRepeating);
  }

  QByteArray bitmapOfImage(int n) const {
    return PictureToBitmap(counter.images.at(n - 1).picture);
  }
};

// --- The proposed name --------------------------------------------------------------------------

TEST(ProposedScreenshotName, IsDayMonthYearThenHourMinuteSecond) {
  struct Case {
    QByteArray timestamp;
    QString name;
  };
  const Case cases[] = {
      {bytes({19, 3, 7, 14, 5, 9}), "kavscreenshot_070319_140509.bmp"},
      {bytes({25, 12, 31, 23, 59, 59, 0xAA}), "kavscreenshot_311225_235959.bmp"},
      {bytes({0, 0, 0, 0, 0, 0}), "kavscreenshot_000000_000000.bmp"},
      // A value of 100 or more keeps all its digits.
      {bytes({254, 1, 100, 0, 0, 200}), "kavscreenshot_10001254_0000200.bmp"},
  };
  for (const Case& c : cases) EXPECT_EQ(proposedScreenshotName(c.timestamp), c.name);
}

// --- The whole download -------------------------------------------------------------------------

struct ImageChoice {
  const char* name;
  std::function<void(TELVAR&)> choose;
  int image;
};

class DownloadOfChosenImage : public ScreenshotDownload,
                              public ::testing::WithParamInterface<ImageChoice> {};

TEST_P(DownloadOfChosenImage, AsksForThatImageAndSavesItsBitmap) {
  connected();
  const int n = GetParam().image;
  GetParam().choose(*window);
  const QString path = sim.path("shot.bmp");
  sim.dialogs.answerSave(path);
  const qint64 pressed_us = sim.nowUs();

  press();

  const QByteArray digit = QByteArray::number(n);
  EXPECT_EQ(imageCommandTexts(), (QStringList{"<GETSSN" + digit + ">>", "<GETSS" + digit + ">>"}));
  EXPECT_EQ(readFile(path), bitmapOfImage(n));
  // The counter's images are stamped 10 + n June 2025, 12:30:00.
  EXPECT_EQ(sim.dialogs.proposedNames,
            QStringList{"kavscreenshot_" + QString::number(10 + n) + "0625_123000.bmp"});
  // The file is closed and whole before the user hears of it; the poll is still off then.
  EXPECT_EQ(shown, (std::vector<Shown>{{kFinished, kBusyCaption, Timer::kOff}}));
  expectIdle();
  EXPECT_EQ(window->file, path);
  // One attempt of each query: 500 ms and 1000 ms holding the window.
  EXPECT_GE(sim.nowUs() - pressed_us, 1500 * 1000);
}

INSTANTIATE_TEST_SUITE_P(
    EachChoice, DownloadOfChosenImage,
    ::testing::Values(ImageChoice{"SS1", [](TELVAR& w) { w.SS1.setChecked(true); }, 1},
                      ImageChoice{"SS2", [](TELVAR& w) { w.SS2.setChecked(true); }, 2},
                      ImageChoice{"SS3", [](TELVAR& w) { w.SS3.setChecked(true); }, 3},
                      ImageChoice{"SS4", [](TELVAR& w) { w.SS4.setChecked(true); }, 4},
                      ImageChoice{"NoneChosen",
                                  [](TELVAR& w) {
                                    for (QRadioButton* b : {&w.SS1, &w.SS2, &w.SS3, &w.SS4}) {
                                      b->setAutoExclusive(false);
                                      b->setChecked(false);
                                    }
                                  },
                                  4}),
    [](const auto& info) { return std::string(info.param.name); });

// --- Retries ------------------------------------------------------------------------------------

struct BadReply {
  const char* name;
  SimFault fault;
};

// From one attempt's command to the next: its wait, and as long a silence on the line first
// unless nothing came, since a late reply to the same question is the same answer.
qint64 retryGapUs(const BadReply& bad, int wait_ms) {
  const bool heard = bad.fault.kind != SimFault::Kind::NoReply;
  return qint64(heard ? 2 : 1) * wait_ms * 1000;
}

const BadReply kBadReplies[] = {
    {"Short", SimFault::shortBy(1)},
    {"Long", SimFault::longBy(1)},
    {"WrongLastByte", SimFault::wrongLastByte()},
    {"NoReply", SimFault::noReply()},
};

class BadTimestampReply : public ScreenshotDownload,
                          public ::testing::WithParamInterface<BadReply> {};

TEST_P(BadTimestampReply, IsAskedAgainUpToSixTimes500MsApart) {
  connected();
  const QString path = sim.path("shot.bmp");
  for (int failures : {1, 5}) {
    SCOPED_TRACE(failures);
    QFile::remove(path);
    counter.clearFaults();
    const size_t logged = counter.log().size();
    shown.clear();
    counter.addFault(SimCommand::GETSSN, GetParam().fault, failures);
    sim.dialogs.answerSave(path);

    press();

    int timestamp_queries = 0, picture_queries = 0;
    for (size_t i = logged; i < counter.log().size(); ++i) {
      timestamp_queries += counter.log()[i].command == SimCommand::GETSSN;
      picture_queries += counter.log()[i].command == SimCommand::GETSS;
    }
    EXPECT_EQ(timestamp_queries, failures + 1);
    EXPECT_EQ(picture_queries, 1);
    EXPECT_EQ(readFile(path), bitmapOfImage(1));
    EXPECT_EQ(shown, (std::vector<Shown>{{kFinished, kBusyCaption, Timer::kOff}}));
    expectIdle();
  }
}

TEST_P(BadTimestampReply, SixFailuresEndWithAMessageAndNoPictureQuery) {
  connected();
  counter.addFault(SimCommand::GETSSN, GetParam().fault, SimCounter::kAlways);
  sim.dialogs.answerSave(sim.path("shot.bmp"));

  press();

  EXPECT_EQ(counter.timesReceived(SimCommand::GETSSN), 6);
  EXPECT_EQ(counter.timesReceived(SimCommand::GETSS), 0);
  // Each wait, and before each new attempt as long a silence on the line, unless nothing came.
  EXPECT_EQ(gapsUs(SimCommand::GETSSN), std::vector<qint64>(5, retryGapUs(GetParam(), 500)));
  EXPECT_EQ(shown, (std::vector<Shown>{{kTimestampFailed, kIdleCaption, Timer::kOff}}));
  expectIdle();
  EXPECT_TRUE(sim.dialogs.proposedNames.isEmpty());
  EXPECT_TRUE(filesInFolder().isEmpty());
}

INSTANTIATE_TEST_SUITE_P(Each, BadTimestampReply, ::testing::ValuesIn(kBadReplies),
                         [](const auto& info) { return std::string(info.param.name); });

class BadPictureReply : public ScreenshotDownload,
                        public ::testing::WithParamInterface<BadReply> {};

TEST_P(BadPictureReply, IsAskedAgainUpToFourTimes1000MsApart) {
  connected();
  const QString path = sim.path("shot.bmp");
  for (int failures : {1, 3}) {
    SCOPED_TRACE(failures);
    QFile::remove(path);
    counter.clearFaults();
    const int before = counter.timesReceived(SimCommand::GETSS);
    shown.clear();
    counter.addFault(SimCommand::GETSS, GetParam().fault, failures);
    sim.dialogs.answerSave(path);

    press();

    EXPECT_EQ(counter.timesReceived(SimCommand::GETSS) - before, failures + 1);
    EXPECT_EQ(readFile(path), bitmapOfImage(1));
    EXPECT_EQ(shown, (std::vector<Shown>{{kFinished, kBusyCaption, Timer::kOff}}));
    expectIdle();
  }
}

TEST_P(BadPictureReply, FourFailuresEndWithAMessageAndNoFile) {
  connected();
  counter.addFault(SimCommand::GETSS, GetParam().fault, SimCounter::kAlways);
  sim.dialogs.answerSave(sim.path("shot.bmp"));

  press();

  EXPECT_EQ(counter.timesReceived(SimCommand::GETSSN), 1);
  EXPECT_EQ(counter.timesReceived(SimCommand::GETSS), 4);
  EXPECT_EQ(gapsUs(SimCommand::GETSS), std::vector<qint64>(3, retryGapUs(GetParam(), 1000)));
  EXPECT_EQ(shown, (std::vector<Shown>{{kPictureFailed, kIdleCaption, Timer::kOff}}));
  expectIdle();
  EXPECT_TRUE(sim.dialogs.proposedNames.isEmpty());
  EXPECT_TRUE(filesInFolder().isEmpty());
}

INSTANTIATE_TEST_SUITE_P(Each, BadPictureReply, ::testing::ValuesIn(kBadReplies),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(ScreenshotDownload, PleaseWaitIsOnScreenWhileTheWindowIsHeld) {
  connected();
  window->show();
  QCoreApplication::processEvents();
  const QImage idle = ShownOnScreen(window->DSButton);
  ASSERT_EQ(idle, DrawnNow(window->DSButton)) << "the screen shows the window as it stands";

  const HoldLook look =
      LookAtButtonDuringHold(sim.scheduler, window->DSButton, window->Graph, 200, [&] { press(); });

  ASSERT_TRUE(look.looked);
  SaveForALook(look.shown, "please-wait-on-screen.png");
  EXPECT_EQ(look.caption, kBusyCaption);
  EXPECT_EQ(look.shown, look.drawn) << "the screen shows the caption the button has";
  EXPECT_NE(look.shown, idle);
  EXPECT_EQ(look.handlers, QStringList{"DSButton_Action"})
      << "no other handler ran, the graph's paint neither";
}

TEST_F(ScreenshotDownload, PressesStartWithFreshAttempts) {
  connected();
  counter.addFault(SimCommand::GETSSN, SimFault::noReply(), 6);
  press();
  ASSERT_EQ(shown.size(), 1u);
  EXPECT_EQ(shown[0].text, kTimestampFailed);

  // Five failures on the next press leave it a sixth attempt.
  counter.addFault(SimCommand::GETSSN, SimFault::noReply(), 5);
  sim.dialogs.answerSave(std::nullopt);
  press();
  EXPECT_EQ(counter.timesReceived(SimCommand::GETSSN), 12);
  EXPECT_EQ(counter.timesReceived(SimCommand::GETSS), 1);
  EXPECT_EQ(shown.size(), 1u);
  expectIdle();
}

TEST_F(ScreenshotDownload, BytesWaitingBeforeTheQueryAreNotPartOfItsReply) {
  connected();
  counter.port()->send("stray", sim.nowUs());
  sim.advance(10);
  sim.dialogs.answerSave(sim.path("shot.bmp"));

  press();

  EXPECT_EQ(counter.timesReceived(SimCommand::GETSSN), 1);
  EXPECT_EQ(readFile(sim.path("shot.bmp")), bitmapOfImage(1));
}

TEST_F(ScreenshotDownload, PictureHandedOverInTwoReadsIsJoined) {
  connected();
  splitReads.splitNextRead(600);
  const QString path = sim.path("shot.bmp");
  sim.dialogs.answerSave(path);

  press();

  // Had the second read not been joined, the first attempt would have failed and been repeated.
  EXPECT_EQ(counter.timesReceived(SimCommand::GETSS), 1);
  EXPECT_EQ(readFile(path), bitmapOfImage(1));
  EXPECT_EQ(shown, (std::vector<Shown>{{kFinished, kBusyCaption, Timer::kOff}}));
}

// --- Empty slots --------------------------------------------------------------------------------

struct YearByte {
  int year;
  bool empty;
};

class TimestampYear : public ScreenshotDownload, public ::testing::WithParamInterface<YearByte> {};

TEST_P(TimestampYear, BelowNineteenOrErasedMeansNoImage) {
  connected();
  window->SS2.setChecked(true);
  counter.setImage(2, bytes({GetParam().year, 6, 1, 8, 0, 0}), QByteArray(1024, '\x11'));
  sim.dialogs.answerSave(std::nullopt);

  press();

  if (GetParam().empty) {
    EXPECT_EQ(imageCommandTexts(), QStringList{"<GETSSN2>>"});
    EXPECT_EQ(shown, (std::vector<Shown>{{"Screenshot 2 not found.", kBusyCaption, Timer::kOff}}));
    EXPECT_TRUE(sim.dialogs.proposedNames.isEmpty());
  } else {
    EXPECT_EQ(imageCommandTexts(), (QStringList{"<GETSSN2>>", "<GETSS2>>"}));
    EXPECT_EQ(sim.dialogs.proposedNames.size(), 1);
    EXPECT_TRUE(shown.empty());
  }
  expectIdle();
}

INSTANTIATE_TEST_SUITE_P(Each, TimestampYear,
                         ::testing::Values(YearByte{18, true}, YearByte{19, false},
                                           YearByte{254, false}, YearByte{255, true}),
                         [](const auto& info) { return std::to_string(info.param.year); });

TEST_F(ScreenshotDownload, ClearedSlotIsNotFound) {
  connected();
  window->SS4.setChecked(true);
  counter.clearImage(4);

  press();

  EXPECT_EQ(shown, (std::vector<Shown>{{"Screenshot 4 not found.", kBusyCaption, Timer::kOff}}));
  EXPECT_EQ(counter.timesReceived(SimCommand::GETSS), 0);
  expectIdle();
}

// --- Refusal, the save dialog, the file ---------------------------------------------------------

TEST_F(ScreenshotDownload, RefusesWhileHistoryDownloads) {
  connected();
  window->download_started = true;
  const qint64 pressed_us = sim.nowUs();
  const size_t logged = counter.log().size();

  press();

  EXPECT_EQ(shown, (std::vector<Shown>{
                       {"Downloading history.\nPlease wait.", kIdleCaption, Timer::kRepeating}}));
  EXPECT_EQ(counter.log().size(), logged);
  EXPECT_EQ(sim.nowUs(), pressed_us);
  EXPECT_TRUE(sim.dialogs.proposedNames.isEmpty());
  expectIdle();
  EXPECT_TRUE(window->download_started);
}

TEST_F(ScreenshotDownload, RefusedSaveDialogWritesNothingAndSaysNothing) {
  connected();
  window->file = sim.path("earlier.bmp");
  sim.dialogs.answerSave(std::nullopt);

  press();

  EXPECT_EQ(sim.dialogs.proposedNames, QStringList{"kavscreenshot_110625_123000.bmp"});
  EXPECT_TRUE(shown.empty());
  EXPECT_EQ(window->file, std::nullopt);
  EXPECT_TRUE(filesInFolder().isEmpty());
  expectIdle();
}

TEST_F(ScreenshotDownload, ExistingFileIsReplaced) {
  connected();
  const QString path = sim.path("shot.bmp");
  {
    QFile old(path);
    ASSERT_TRUE(old.open(QIODevice::WriteOnly));
    old.write(QByteArray(500000, 'x'));
  }
  sim.dialogs.answerSave(path);

  press();

  const QByteArray written = readFile(path);
  EXPECT_EQ(written.size(), kScreenBitmapFileSize);
  EXPECT_EQ(written, bitmapOfImage(1));
  EXPECT_EQ(shown, (std::vector<Shown>{{kFinished, kBusyCaption, Timer::kOff}}));
  expectIdle();
}

TEST_F(ScreenshotDownload, FileFailuresAreReportedAndLeaveNoPartialFile) {
  connected();
  const QString blocked = sim.path("blocked.bmp");
  ASSERT_TRUE(QDir(sim.folder.path()).mkpath("blocked.bmp/inside"));
  const auto failure = [](const char* verb, const QString& path, int error) {
    return QStringLiteral("Could not %1 %2: %3.")
        .arg(QLatin1String(verb), QDir::toNativeSeparators(path), reasonFor(error));
  };
  const auto removed = [](const QString& path) {
    return QStringLiteral("Removed the unfinished file %1.").arg(QDir::toNativeSeparators(path));
  };
  const auto writeReplacing = [this](const QString& path, rlim_t limit) {
    return [this, path, limit] {
      {
        QFile old(path);  // an earlier picture of that name, which the download replaces
        ASSERT_TRUE(old.open(QIODevice::WriteOnly));
        old.write(QByteArray(1000, 'x'));
      }
      LoweredLimit lowered(RLIMIT_FSIZE, limit);
      ASSERT_TRUE(lowered.ok());
      press();
    };
  };

  struct Case {
    const char* name;
    QString path;
    QStringList lines;
    std::function<void()> press;
  };
  const QString missing = sim.path("missing/shot.bmp");
  const QString early = sim.path("early.bmp");
  const QString late = sim.path("late.bmp");
  const Case cases[] = {
      {"folder that does not exist",
       missing,
       {failure("create", missing, ENOENT)},
       [this] { press(); }},
      {"write that stops early",
       early,
       {failure("write", early, EFBIG), removed(early)},
       writeReplacing(early, 100000)},
      // The last bytes are the ones that do not fit: a buffered file took them without a word
      // and failed only at its flush.
      {"write that stops a few KiB short",
       late,
       {failure("write", late, EFBIG), removed(late)},
       writeReplacing(late, kScreenBitmapFileSize - 3 * 1024)},
      {"existing name that cannot be deleted",
       blocked,
       {failure("delete", blocked, EISDIR)},
       [this] { press(); }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    shown.clear();
    sim.dialogs.answerSave(c.path);

    c.press();

    ASSERT_EQ(shown.size(), 1u);
    EXPECT_EQ(shown[0], (Shown{c.lines.join('\n'), kIdleCaption, Timer::kOff}));
    expectIdle();
    EXPECT_EQ(window->file, c.path);
  }
  // Only the folder that stood in the way is there, untouched.
  EXPECT_EQ(filesInFolder(), QStringList{"blocked.bmp"});
  EXPECT_TRUE(QDir(blocked).exists("inside"));

  // The next press with room to write succeeds.
  shown.clear();
  sim.dialogs.answerSave(late);
  press();
  EXPECT_EQ(readFile(late), bitmapOfImage(1));
}

// --- Sharing the port with the count-rate poll --------------------------------------------------

// A stand-in for the count-rate poll with its exchange, recording when it held the port.
class PollRunning : public ScreenshotDownload, public ::testing::WithParamInterface<int> {
 protected:
  struct Run {
    qint64 start_us;
    qint64 end_us = -1;
    QByteArray reply;
  };
  std::vector<Run> runs;

  void SetUp() override {
    ScreenshotDownload::SetUp();
    window->GetCPS.run = [this] {
      window->SerialTimer.setMode(Timer::kOff);
      runs.push_back(Run{sim.nowUs(), -1, {}});
      window->GetCPSThreadRunning = true;
      window->UART.ReadAll();
      window->UART.Write(commandGETCPS());
      sim.scheduler.sleepCurrentThread(100);
      const QByteArray reply = window->UART.ReadAll();
      window->GetCPSThreadRunning = false;
      window->SerialTimer.setMode(Timer::kRepeating);
      runs.back().reply = reply;
      runs.back().end_us = sim.nowUs();
    };
  }
};

TEST_P(PollRunning, ScreenshotQueriesWaitUntilThePollIsDone) {
  connected();
  window->GetCPS.Run();
  // 0: started but not yet had its first turn; 50: in the middle of its exchange.
  if (GetParam() > 0) sim.advance(GetParam());
  ASSERT_EQ(window->GetCPSThreadRunning, GetParam() > 0);
  sim.dialogs.answerSave(sim.path("shot.bmp"));

  press();

  ASSERT_FALSE(runs.empty());
  const auto commands = imageCommands();
  ASSERT_EQ(commands.size(), 2u);
  for (const Run& run : runs) {
    EXPECT_EQ(run.reply.size(), 4) << "a poll lost its reply";
    ASSERT_GE(run.end_us, 0) << "a poll was still running";
    for (const auto& command : commands)
      EXPECT_FALSE(command.at_us >= run.start_us && command.at_us <= run.end_us)
          << "a screenshot query was sent during a poll";
  }
  EXPECT_GT(commands.front().at_us, runs.back().end_us);
  EXPECT_EQ(readFile(sim.path("shot.bmp")), bitmapOfImage(1));
  expectIdle();
}

INSTANTIATE_TEST_SUITE_P(StartedOrUnderway, PollRunning, ::testing::Values(0, 50));

}  // namespace

namespace {

// A picture that straddles the read at the end of its wait must never be joined with the head of
// the next attempt's picture, even where that head happens to end in the end marker.
TEST_F(ScreenshotDownload, APictureIsNeverMadeOfTwoReplies) {
  struct Case {
    const char* name;
    SimFault fault;
  };
  const Case cases[] = {
      {"two answered 950 ms late", SimFault::late(950)},
      {"two answered 945 ms late", SimFault::late(945)},
      {"two in parts with a 950 ms pause", SimFault::split(500, 950)},
  };
  // Every other byte is the end marker, so a joined reply of the right length passes its rule.
  QByteArray picture(kPictureBytes, '\0');
  for (qsizetype i = 0; i < picture.size(); ++i) picture[i] = i % 2 ? char(i & 0x7F) : kReplyEnd;
  counter.setImage(1, counter.images[0].timestamp, picture);
  connected();
  int n = 0;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    counter.clearFaults();
    counter.addFault(SimCommand::GETSS, c.fault, 2);
    const QString path = sim.path(QStringLiteral("shot%1.bmp").arg(n++));
    sim.dialogs.answerSave(path);
    shown.clear();

    press();

    ASSERT_EQ(shown.size(), 1u);
    EXPECT_EQ(shown[0].text, kFinished);
    EXPECT_TRUE(readFile(path) == bitmapOfImage(1)) << "the bitmap is not the counter's picture";
    expectIdle();
    sim.advance(3000);
  }
}

}  // namespace
