#include <gtest/gtest.h>

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <memory>
#include <vector>

#include "support/sim_counter.h"
#include "support/simulation.h"
#include "window/telvar.h"

namespace {

const QString kCouldNotOpen = QStringLiteral("The selected serial port could not be opened.");

// Something on a port that never answers: a modem, another instrument, nothing at all. It notes
// how often the port was opened and what it was sent.
struct SilentDevice : SimDevice {
  int opens = 0;
  QByteArray input;
  void received(SimPort&, const QByteArray& bytes, qint64) override { input += bytes; }
  void opened(SimPort&) override { ++opens; }
};

// The main window in a simulated computer whose ports the test puts in place before the window
// exists. The count-rate poll is kept off the line: these tests watch port discovery alone.
class PortDiscoveryTest : public ::testing::Test {
 protected:
  Simulation sim;
  SimCounter counter;
  std::vector<std::unique_ptr<SilentDevice>> silent;
  std::unique_ptr<TELVAR> window;

  void TearDown() override {
    window.reset();
    EXPECT_TRUE(sim.unhandledErrors.isEmpty()) << sim.unhandledErrors.join('\n').toStdString();
  }

  SilentDevice& addSilentPort(const QString& name) {
    silent.push_back(std::make_unique<SilentDevice>());
    sim.serial.addPort(name).device = silent.back().get();
    return *silent.back();
  }

  void makeWindow() {
    window = std::make_unique<TELVAR>(sim.platform());
    window->GetCPSTimer.setMode(Timer::kOff);
  }

  // The discovery timer first ticks 500 ms after the window was made.
  void untilFirstTick() { sim.advance(500); }

  QStringList rows() const {
    QStringList texts;
    for (int i = 0; i < window->SerialPortsPopupMenu.count(); ++i)
      texts.append(window->SerialPortsPopupMenu.itemText(i));
    return texts;
  }
  int selectedRow() const { return window->SerialPortsPopupMenu.currentIndex(); }

  void expectDisconnectedState() {
    EXPECT_EQ(window->ConnectButton.text(), "Connect");
    EXPECT_TRUE(window->SerialPortsPopupMenu.isEnabled());
    EXPECT_EQ(window->PortListUpdater.mode(), Timer::kRepeating);
    EXPECT_FALSE(window->UART.isOpen());
    for (const QPushButton* button :
         {&window->SendCommand1, &window->SendCommand2, &window->DHButton, &window->DSButton})
      EXPECT_FALSE(button->isEnabled()) << button->objectName().toStdString();
    EXPECT_EQ(window->GetCPSTimer.mode(), Timer::kOff);
  }
};

TEST_F(PortDiscoveryTest, ACounterOnTheSecondOfTwoPortsIsListedByItsReplyAndSelected) {
  SilentDevice& modem = addSilentPort("/dev/ttyS0");
  // A reply's line ends are part of the row's text.
  counter.version = "KAV-1 v2.04\r\n";
  counter.plugInto(sim.serial, "/dev/ttyUSB0");
  makeWindow();
  untilFirstTick();

  EXPECT_EQ(rows(), (QStringList{"/dev/ttyS0", "KAV-1 v2.04\r\n"}));
  EXPECT_EQ(selectedRow(), 1);
  EXPECT_TRUE(window->ConnectButton.isEnabled());
  EXPECT_EQ(modem.input, "<GETVER>>");
  EXPECT_EQ(counter.timesReceived(SimCommand::GETVER), 1);
  EXPECT_EQ(sim.nowMs(), 700) << "each port that opens holds the window 100 ms";
  EXPECT_FALSE(window->UART.isOpen());
  EXPECT_FALSE(counter.port()->isOpen());
  EXPECT_FALSE(sim.serial.port("/dev/ttyS0")->isOpen());
}

TEST_F(PortDiscoveryTest, ATickWithAsManyRowsAsPortsProbesNothing) {
  SilentDevice& modem = addSilentPort("/dev/ttyS0");
  counter.plugInto(sim.serial, "/dev/ttyUSB0");
  makeWindow();
  untilFirstTick();
  ASSERT_EQ(rows().size(), 2);

  window->SerialPortsPopupMenu.setCurrentIndex(0);  // the user picks the other port
  sim.advance(3000);
  EXPECT_EQ(modem.opens, 1);
  EXPECT_EQ(modem.input, "<GETVER>>");
  EXPECT_EQ(counter.timesReceived(SimCommand::GETVER), 1);
  EXPECT_EQ(rows(), (QStringList{"/dev/ttyS0", "KAV SIM 1.00"}));
  EXPECT_EQ(selectedRow(), 0);
}

TEST_F(PortDiscoveryTest, OnlyAReplyHoldingAFamilyWordNamesTheRow) {
  struct Case {
    const char* what;
    QByteArray version;
    bool answers;
    bool listedByReply;
  };
  const std::vector<Case> cases = {
      {"ZUR at the start", "ZUR-1 3.1", true, true},
      {"KAV inside other text", "model: xKAVx", true, true},
      {"neither word", "HELLO 1.0", true, false},
      {"the words in small letters", "kav zur", true, false},
      {"no reply", "KAV SIM 1.00", false, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Simulation world;
    SimCounter device;
    device.version = c.version;
    if (!c.answers) device.addFault(SimCommand::GETVER, SimFault::noReply(), SimCounter::kAlways);
    device.plugInto(world.serial, "/dev/ttyACM0");
    TELVAR w(world.platform());
    w.GetCPSTimer.setMode(Timer::kOff);
    world.advance(500);
    ASSERT_EQ(w.SerialPortsPopupMenu.count(), 1);
    EXPECT_EQ(w.SerialPortsPopupMenu.itemText(0),
              c.listedByReply ? QString::fromLatin1(c.version) : QStringLiteral("/dev/ttyACM0"));
    EXPECT_EQ(w.SerialPortsPopupMenu.currentIndex(), 0);
    EXPECT_TRUE(w.ConnectButton.isEnabled());
  }
}

TEST_F(PortDiscoveryTest, APortThatCannotBeOpenedIsListedByNameAndNotQueried) {
  counter.plugInto(sim.serial, "/dev/ttyUSB0");
  counter.setOpenFails(true);  // another program holds it
  SilentDevice& modem = addSilentPort("/dev/ttyS0");
  makeWindow();
  untilFirstTick();

  EXPECT_EQ(rows(), (QStringList{"/dev/ttyUSB0", "/dev/ttyS0"}));
  EXPECT_EQ(selectedRow(), 1) << "with no counter found, a grown list selects its last row";
  EXPECT_EQ(counter.timesReceived(SimCommand::GETVER), 0);
  EXPECT_EQ(sim.nowMs(), 600) << "only the port that opened held the window";

  sim.advance(2000);  // as many rows as ports: the list stays as it is
  EXPECT_EQ(modem.opens, 1);
  EXPECT_EQ(counter.timesReceived(SimCommand::GETVER), 0);
  EXPECT_EQ(rows(), (QStringList{"/dev/ttyUSB0", "/dev/ttyS0"}));
}

TEST_F(PortDiscoveryTest, ARebuildSelectsTheFirstRowWhenPortsWentAndTheLastWhenTheyCame) {
  addSilentPort("/dev/ttyS0");
  addSilentPort("/dev/ttyS1");
  addSilentPort("/dev/ttyS2");
  makeWindow();
  untilFirstTick();
  EXPECT_EQ(selectedRow(), 2);

  sim.serial.removePort("/dev/ttyS2");
  sim.advance(500);
  EXPECT_EQ(rows(), (QStringList{"/dev/ttyS0", "/dev/ttyS1"}));
  EXPECT_EQ(selectedRow(), 0);

  addSilentPort("/dev/ttyS3");
  sim.advance(500);
  EXPECT_EQ(rows(), (QStringList{"/dev/ttyS0", "/dev/ttyS1", "/dev/ttyS3"}));
  EXPECT_EQ(selectedRow(), 2);
}

TEST_F(PortDiscoveryTest, APortReplacedByAnotherIsFoundThoughTheCountStaysTheSame) {
  SilentDevice& modem = addSilentPort("/dev/ttyS0");
  counter.plugInto(sim.serial, "/dev/ttyUSB0");
  makeWindow();
  untilFirstTick();
  window->ConnectButton.click();
  ASSERT_EQ(window->ConnectButton.text(), "Disconnect");
  window->GetCPSTimer.setMode(Timer::kOff);

  // The adapter is pulled out and plugged in again; it comes back under a new name while the
  // program still holds the old one.
  counter.goAway();
  counter.plugInto(sim.serial, "/dev/ttyUSB1");
  sim.advance(1000);
  window->ConnectButton.click();
  ASSERT_EQ(window->ConnectButton.text(), "Connect");
  const int probes_before = counter.timesReceived(SimCommand::GETVER);

  sim.advance(500);
  EXPECT_EQ(rows(), (QStringList{"/dev/ttyS0", "KAV SIM 1.00"}));
  EXPECT_EQ(counter.timesReceived(SimCommand::GETVER), probes_before + 1);
  EXPECT_EQ(modem.opens, 2);
  EXPECT_EQ(selectedRow(), 1);

  window->ConnectButton.click();
  EXPECT_EQ(window->ConnectButton.text(), "Disconnect");
  EXPECT_TRUE(sim.serial.port("/dev/ttyUSB1")->isOpen());
  EXPECT_TRUE(sim.dialogs.events.isEmpty()) << sim.dialogs.events.join('\n').toStdString();

  // The list follows the ports again: later ticks leave it alone.
  window->ConnectButton.click();
  sim.advance(2000);
  EXPECT_EQ(modem.opens, 2);
  EXPECT_EQ(counter.timesReceived(SimCommand::GETVER), probes_before + 1);
}

TEST_F(PortDiscoveryTest, TheLastPortGoingAwayEmptiesTheListAndDisablesConnect) {
  counter.plugInto(sim.serial, "/dev/ttyUSB0");
  makeWindow();
  untilFirstTick();
  ASSERT_EQ(rows().size(), 1);
  ASSERT_TRUE(window->ConnectButton.isEnabled());

  counter.goAway();
  sim.advance(500);
  EXPECT_TRUE(rows().isEmpty());
  EXPECT_EQ(selectedRow(), -1);
  EXPECT_FALSE(window->ConnectButton.isEnabled());

  sim.advance(2000);  // an empty list for no ports: nothing to do
  EXPECT_TRUE(rows().isEmpty());
  EXPECT_FALSE(window->ConnectButton.isEnabled());
}

TEST_F(PortDiscoveryTest, ConnectAndDisconnectSwitchTheWindowBetweenItsTwoStates) {
  counter.plugInto(sim.serial, "/dev/ttyUSB0");
  makeWindow();
  untilFirstTick();
  expectDisconnectedState();
  const size_t writes_before = counter.port()->writes().size();

  window->ConnectButton.click();
  EXPECT_EQ(window->ConnectButton.text(), "Disconnect");
  EXPECT_TRUE(window->ConnectButton.isEnabled());
  EXPECT_FALSE(window->SerialPortsPopupMenu.isEnabled());
  EXPECT_EQ(window->PortListUpdater.mode(), Timer::kOff);
  EXPECT_TRUE(window->UART.isOpen());
  EXPECT_TRUE(counter.port()->isOpen());
  for (const QPushButton* button :
       {&window->SendCommand1, &window->SendCommand2, &window->DHButton, &window->DSButton})
    EXPECT_TRUE(button->isEnabled()) << button->objectName().toStdString();
  EXPECT_EQ(window->GetCPSTimer.mode(), Timer::kRepeating);
  EXPECT_EQ(counter.port()->writes().size(), writes_before) << "connecting sends nothing";
  EXPECT_TRUE(sim.dialogs.events.isEmpty());

  // While connected the list is left alone, whatever ports come and go.
  window->GetCPSTimer.setMode(Timer::kOff);
  SilentDevice& modem = addSilentPort("/dev/ttyS0");
  sim.advance(2000);
  EXPECT_EQ(rows(), QStringList{"KAV SIM 1.00"});
  EXPECT_EQ(modem.opens, 0);
  window->GetCPSTimer.setMode(Timer::kRepeating);

  window->ConnectButton.click();
  expectDisconnectedState();
  EXPECT_FALSE(counter.port()->isOpen());
  EXPECT_EQ(rows(), QStringList{"KAV SIM 1.00"}) << "Disconnect itself does not rebuild the list";

  sim.advance(500);  // two ports, one row: the next tick rebuilds
  EXPECT_EQ(rows(), (QStringList{"KAV SIM 1.00", "/dev/ttyS0"}));
  EXPECT_EQ(modem.opens, 1);
  EXPECT_EQ(counter.timesReceived(SimCommand::GETVER), 2);
}

TEST_F(PortDiscoveryTest, ConnectOpensTheSelectedPortWhetherOrNotACounterAnsweredOnIt) {
  SilentDevice& modem = addSilentPort("/dev/ttyS0");
  counter.plugInto(sim.serial, "/dev/ttyUSB0");
  makeWindow();
  untilFirstTick();
  window->SerialPortsPopupMenu.setCurrentIndex(0);

  window->ConnectButton.click();
  EXPECT_EQ(window->ConnectButton.text(), "Disconnect");
  EXPECT_TRUE(sim.serial.port("/dev/ttyS0")->isOpen());
  EXPECT_FALSE(counter.port()->isOpen());
  EXPECT_EQ(modem.opens, 2);
  EXPECT_EQ(modem.input, "<GETVER>>") << "only the probe wrote to it";
}

TEST_F(PortDiscoveryTest, AFailedConnectSoundsTheAlertReportsAndChangesNothing) {
  counter.plugInto(sim.serial, "/dev/ttyUSB0");
  makeWindow();
  untilFirstTick();
  ASSERT_TRUE(window->ConnectButton.isEnabled());
  counter.setOpenFails(true);

  window->ConnectButton.click();
  EXPECT_EQ(sim.dialogs.events, (QStringList{"beep", "message:" + kCouldNotOpen}));
  expectDisconnectedState();
  EXPECT_TRUE(window->ConnectButton.isEnabled());
  EXPECT_EQ(rows(), QStringList{"KAV SIM 1.00"});
  EXPECT_EQ(selectedRow(), 0);

  // The discovery timer still runs: a port that comes along is found.
  addSilentPort("/dev/ttyS0");
  sim.advance(500);
  EXPECT_EQ(rows(), (QStringList{"/dev/ttyUSB0", "/dev/ttyS0"}));

  // Once the port can be opened again, Connect works.
  counter.setOpenFails(false);
  window->SerialPortsPopupMenu.setCurrentIndex(0);
  window->ConnectButton.click();
  EXPECT_EQ(window->ConnectButton.text(), "Disconnect");
  EXPECT_TRUE(counter.port()->isOpen());
}

TEST_F(PortDiscoveryTest, ARowWhosePortHasGoneIsAPortThatCannotBeOpened) {
  struct Case {
    const char* what;
    std::vector<QString> ports;  // the counter sits on the second
  };
  const std::vector<Case> cases = {
      {"the last port, so no port has its row's index now", {"/dev/ttyS0", "/dev/ttyUSB0"}},
      {"a middle port, so a later port has its row's index now",
       {"/dev/ttyS0", "/dev/ttyUSB0", "/dev/ttyS1"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Simulation world;
    SimCounter device;
    std::vector<std::unique_ptr<SilentDevice>> others;
    for (size_t i = 0; i < c.ports.size(); ++i) {
      if (i == 1) {
        device.plugInto(world.serial, c.ports[i]);
      } else {
        others.push_back(std::make_unique<SilentDevice>());
        world.serial.addPort(c.ports[i]).device = others.back().get();
      }
    }
    TELVAR w(world.platform());
    w.GetCPSTimer.setMode(Timer::kOff);
    world.advance(500);
    ASSERT_EQ(w.SerialPortsPopupMenu.currentIndex(), 1);

    device.goAway();  // before the next tick can rebuild the list
    w.ConnectButton.click();
    EXPECT_EQ(world.dialogs.events, (QStringList{"beep", "message:" + kCouldNotOpen}));
    EXPECT_EQ(w.ConnectButton.text(), "Connect");
    EXPECT_FALSE(w.UART.isOpen());
    for (const auto& other : others) EXPECT_EQ(other->opens, 1) << "only its probe opened it";
    EXPECT_TRUE(world.unhandledErrors.isEmpty());
  }
}

}  // namespace
