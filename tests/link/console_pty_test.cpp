// The whole link end to end in real time: the window on the program's Qt serial path, a real
// pseudo-terminal, and the simulated counter answering at the far end.

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <functional>

#include "platform/clock.h"
#include "platform/driver.h"
#include "platform/qt_serial.h"
#include "platform/scheduler.h"
#include "support/pty_counter.h"
#include "support/scripted_dialogs.h"
#include "window/telvar.h"

namespace {

// Bounds are generous: the test waits for what it expects, never for a fixed time.
bool runEventsUntil(const std::function<bool()>& done, int limit_ms = 10000) {
  QElapsedTimer elapsed;
  elapsed.start();
  while (!done() && elapsed.elapsed() < limit_ms)
    QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 20);
  return done();
}

TEST(ConsoleOverPty, DiscoveryListsTheCounterAndTheConsoleShowsItsReply) {
  PtyCounter counter;
  ASSERT_TRUE(counter.valid());
  const QByteArray version = counter.withCounter([](SimCounter& c) { return c.version; });

  SteadyClock clock;
  Scheduler scheduler(clock);
  SchedulerDriver driver(scheduler);
  QtSerialSystem serial{QStringList{counter.portPath()}};
  ScriptedDialogs dialogs;
  TELVAR window(Platform{scheduler, serial, dialogs});

  ASSERT_TRUE(runEventsUntil([&] {
    return window.SerialPortsPopupMenu.findText(QString::fromLatin1(version)) >= 0 &&
           window.ConnectButton.isEnabled();
  })) << "the counter's version text never became a row";
  EXPECT_EQ(window.SerialPortsPopupMenu.currentText(), QString::fromLatin1(version));

  window.ConnectButton.click();
  ASSERT_EQ(window.ConnectButton.text(), QStringLiteral("Disconnect"));
  // The count-rate poll would share the line with the console; this test is about the console.
  window.GetCPSTimer.setMode(Timer::kOff);
  const int versions_before =
      counter.withCounter([](SimCounter& c) { return c.timesReceived(SimCommand::GETVER); });

  window.Command1.setCurrentIndex(0);
  ASSERT_EQ(window.Command1.currentText(), QStringLiteral("<GETVER>>"));
  window.SendCommand1.click();

  EXPECT_TRUE(runEventsUntil([&] {
    return window.SerialText.text() == QString::fromLatin1(version);
  })) << "console shows: "
      << window.SerialText.text().toStdString();
  EXPECT_EQ(window.SerialSize.text(), QString::number(version.size()));
  EXPECT_EQ(counter.withCounter([](SimCounter& c) { return c.timesReceived(SimCommand::GETVER); }),
            versions_before + 1);

  window.ConnectButton.click();
  EXPECT_EQ(window.ConnectButton.text(), QStringLiteral("Connect"));
}

}  // namespace
