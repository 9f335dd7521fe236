// A counter whose device goes away while connected and comes back under another name, in real
// time: the window on the program's Qt serial path, real pseudo-terminals, the simulated counter
// at the far end, and Qt's own event loop running the whole time.

#include <gtest/gtest.h>

#include <QElapsedTimer>
#include <QEventLoop>
#include <QMessageBox>
#include <QTimer>
#include <functional>
#include <iostream>
#include <memory>

#include "link/protocol.h"
#include "monitor/sampling.h"
#include "platform/clock.h"
#include "platform/driver.h"
#include "platform/qt_serial.h"
#include "platform/scheduler.h"
#include "support/process_cpu.h"
#include "support/pty_counter.h"
#include "support/scripted_dialogs.h"
#include "window/telvar.h"

// Readable failures: a QString as its text.
static void PrintTo(const QString& text, std::ostream* os) {
  *os << '"' << text.toStdString() << '"';
}

namespace {

// The computer's port list as the test plugs devices in and out, each port reached through the
// program's real Qt serial path. A pseudo-terminal never shows in the system's own list.
class PluggedPorts final : public SerialSystem {
 public:
  QStringList paths;

  int SerialPortCount() override { return int(paths.size()); }
  SerialPort SerialPortAt(int index) override {
    if (index < 0 || index >= paths.size()) return {};
    return {paths[index], paths[index]};
  }
  std::unique_ptr<SerialLine> openLine(const SerialPort& port) override {
    return qt_.openLine(port);
  }

 private:
  QtSerialSystem qt_;
};

// Runs Qt's event loop until done() holds or the limit passes; the limit is loose, the test
// waits for what it expects, not for a fixed time.
bool runEventLoopUntil(const std::function<bool()>& done, int limit_ms = 10000) {
  if (done()) return true;
  QEventLoop loop;
  QTimer check;
  QObject::connect(&check, &QTimer::timeout, &loop, [&] {
    if (done()) loop.quit();
  });
  check.start(10);
  QTimer::singleShot(limit_ms, &loop, &QEventLoop::quit);
  loop.exec();
  return done();
}

// Runs Qt's event loop for ms of real time, calling every() each period_ms meanwhile.
void runEventLoopFor(int ms, int period_ms, const std::function<void()>& every) {
  QEventLoop loop;
  QTimer traffic;
  QObject::connect(&traffic, &QTimer::timeout, &loop, every);
  traffic.start(period_ms);
  QTimer::singleShot(ms, &loop, &QEventLoop::quit);
  loop.exec();
}

struct CounterComesBack : ::testing::Test {
  SteadyClock clock;
  Scheduler scheduler{clock};
  SchedulerDriver driver{scheduler};
  PluggedPorts ports;
  ScriptedDialogs dialogs;
  QStringList unhandled;
  std::unique_ptr<TELVAR> window;

  void SetUp() override {
    scheduler.onUnhandledError = [this](const QString& what) { unhandled.append(what); };
    window = std::make_unique<TELVAR>(Platform{scheduler, ports, dialogs});
  }

  void TearDown() override {
    window.reset();
    EXPECT_TRUE(unhandled.isEmpty()) << unhandled.join('\n').toStdString();
  }

  static QString versionOf(PtyCounter& counter) {
    return QString::fromLatin1(counter.withCounter([](SimCounter& c) { return c.version; }));
  }

  // Waits for discovery to have asked this counter for its version and to show the reply as
  // the selected row.
  bool listed(PtyCounter& counter) {
    const QString version = versionOf(counter);
    return runEventLoopUntil([&] {
      const int row = window->SerialPortsPopupMenu.currentIndex();
      const int probes =
          counter.withCounter([](SimCounter& c) { return c.timesReceived(SimCommand::GETVER); });
      return probes > 0 && row >= 0 && window->SerialPortsPopupMenu.itemText(row) == version &&
             window->ConnectButton.isEnabled();
    });
  }

  // A counter on a new pseudo-terminal, the only port there is, found and connected.
  void connectToNewCounter(std::unique_ptr<PtyCounter>& counter) {
    counter = std::make_unique<PtyCounter>();
    ASSERT_TRUE(counter->valid());
    ports.paths = {counter->portPath()};
    ASSERT_TRUE(listed(*counter)) << "the counter was never listed";
    window->ConnectButton.click();
    ASSERT_EQ(window->ConnectButton.text(), QStringLiteral("Disconnect"));
  }
};

TEST_F(CounterComesBack, AGoneDeviceCostsNothingAndTheReturningCounterIsFoundAndConnected) {
  std::unique_ptr<PtyCounter> first;
  ASSERT_NO_FATAL_FAILURE(connectToNewCounter(first));

  // Where the counter will come back: made now, so it gets another name, as a re-plugged adapter
  // does while the program still holds the old one.
  PtyCounter second;
  ASSERT_TRUE(second.valid());

  // The device goes: both sides of its pseudo-terminal close, as when an adapter is pulled out.
  // The port stays listed under its old name, as the system keeps a node that is still open.
  first.reset();

  // The program's usual traffic goes on meanwhile: the count-rate poll and the console's timer,
  // and a write and a read every 100 ms besides.
  const double cpu_before = processCpuSeconds();
  QElapsedTimer wall;
  wall.start();
  runEventLoopFor(2000, 100, [this] {
    window->UART.Write(commandGETCPS());
    window->UART.ReadAll();
  });
  const double cpu_share = (processCpuSeconds() - cpu_before) / (double(wall.nsecsElapsed()) / 1e9);
  std::cout << "CPU share with the device gone: " << cpu_share * 100 << " % of one core\n";
  RecordProperty("cpu_percent_of_one_core", int(cpu_share * 100));
  EXPECT_LT(cpu_share, 0.25) << "a port whose device has gone keeps the processor busy";
  EXPECT_EQ(window->ConnectButton.text(), QStringLiteral("Disconnect"));
  EXPECT_TRUE(window->UART.ReadAll().isEmpty());

  // The counter comes back under another name; the number of ports is what it was.
  ports.paths = {second.portPath()};
  window->ConnectButton.click();
  ASSERT_EQ(window->ConnectButton.text(), QStringLiteral("Connect"));
  ASSERT_TRUE(listed(second)) << "the returning counter was never listed; the row reads "
                              << window->SerialPortsPopupMenu.currentText().toStdString();

  window->ConnectButton.click();
  ASSERT_EQ(window->ConnectButton.text(), QStringLiteral("Disconnect"));
  EXPECT_TRUE(dialogs.messages.isEmpty()) << dialogs.messages.join('\n').toStdString();
  // The connection is real: the count-rate poll reaches the counter and stores its count.
  second.withCounter([](SimCounter& c) { c.answerCounts({4321}); });
  EXPECT_TRUE(runEventLoopUntil([&] { return window->CPS[kNewestCountIndex] == 4321; }))
      << "no count arrived over the new connection";
}

TEST_F(CounterComesBack, ADeviceThatGoesBehindAModalBoxCostsNothing) {
  // A message box is open, as the "Finished!" of a download: its event loop runs, but no handler
  // or timer action of the window does, so nothing of the program reads or writes the port.
  std::unique_ptr<PtyCounter> counter;
  ASSERT_NO_FATAL_FAILURE(connectToNewCounter(counter));
  ASSERT_TRUE(runEventLoopUntil([&] { return window->CPS[kNewestCountIndex] != 0; }));

  const Scheduler::HandlerScope handler(scheduler);
  QMessageBox box(QMessageBox::Information, QStringLiteral("TELVAR"), QStringLiteral("Finished!"),
                  QMessageBox::Ok, window.get());
  double cpu_before = 0;
  QElapsedTimer wall;
  QTimer::singleShot(200, &box, [&] {
    counter.reset();  // the device goes while the box is open
    cpu_before = processCpuSeconds();
    wall.start();
  });
  QTimer::singleShot(2200, &box, &QMessageBox::accept);
  box.exec();
  const double cpu_share = (processCpuSeconds() - cpu_before) / (double(wall.nsecsElapsed()) / 1e9);
  std::cout << "CPU share with the device gone behind a modal box: " << cpu_share * 100
            << " % of one core\n";
  RecordProperty("cpu_percent_of_one_core", int(cpu_share * 100));
  EXPECT_LT(cpu_share, 0.25) << "a port whose device has gone keeps the processor busy";
  EXPECT_EQ(window->ConnectButton.text(), QStringLiteral("Disconnect"));
}

}  // namespace
