#include <gtest/gtest.h>

#include "platform/serial.h"
#include "support/simulation.h"

namespace {

// Answers every write with the same bytes, a millisecond after they arrived.
struct Echo : SimDevice {
  void received(SimPort& port, const QByteArray& bytes, qint64 at_us) override {
    port.send(bytes, at_us + 1000);
  }
};

struct SimSerialTest : ::testing::Test {
  Simulation sim;
  Echo echo;
  Serial serial{sim.serial};

  SimPort& addEchoPort(const QString& name) {
    SimPort& port = sim.serial.addPort(name);
    port.device = &echo;
    return port;
  }
  void choose(const QString& name) { serial.setSerialPort({name, name}); }
};

TEST_F(SimSerialTest, ListsPresentPortsInOrder) {
  addEchoPort("COM1");
  addEchoPort("COM2");
  ASSERT_EQ(sim.serial.SerialPortCount(), 2);
  EXPECT_EQ(sim.serial.SerialPortAt(1).Name, "COM2");
  sim.serial.removePort("COM1");
  ASSERT_EQ(sim.serial.SerialPortCount(), 1);
  EXPECT_EQ(sim.serial.SerialPortAt(0).Name, "COM2");
  EXPECT_TRUE(sim.serial.SerialPortAt(1).Name.isEmpty());
}

TEST_F(SimSerialTest, RepliesCrossTheLineAtTheWireRate) {
  SimPort& port = addEchoPort("COM1");
  choose("COM1");
  ASSERT_TRUE(serial.Open());
  const QByteArray page(4096, 'x');
  serial.Write(page);
  EXPECT_EQ(port.writes().size(), 1u);
  // 4096 bytes out, a millisecond, 4096 bytes back: 2 x 355.6 ms + 1 ms.
  sim.advance(700);
  const QByteArray early = serial.ReadAll();
  EXPECT_GT(early.size(), 3900);
  EXPECT_LT(early.size(), 4096);
  sim.advance(20);
  EXPECT_EQ(early + serial.ReadAll(), page);
  EXPECT_EQ(wireTimeUs(1), 86);
}

TEST_F(SimSerialTest, APortThatCannotOpenOrHasGoneFailsQuietly) {
  SimPort& port = addEchoPort("COM1");
  port.openable = false;
  choose("COM1");
  EXPECT_FALSE(serial.Open());
  port.openable = true;
  ASSERT_TRUE(serial.Open());
  serial.Write("abc");
  sim.serial.removePort("COM1");
  sim.advance(100);
  EXPECT_TRUE(serial.ReadAll().isEmpty());
  serial.Write("more");
  EXPECT_EQ(port.writes().size(), 1u);
  serial.Close();
  EXPECT_FALSE(serial.Open());
}

TEST_F(SimSerialTest, CloseDropsWhatWasNotRead) {
  addEchoPort("COM1");
  choose("COM1");
  ASSERT_TRUE(serial.Open());
  serial.Write("abc");
  sim.advance(10);
  serial.Close();
  ASSERT_TRUE(serial.Open());
  EXPECT_TRUE(serial.ReadAll().isEmpty());
}

}  // namespace
