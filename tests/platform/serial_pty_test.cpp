#include <fcntl.h>
#include <gtest/gtest.h>
#include <termios.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QThread>

#include "platform/qt_serial.h"
#include "platform/serial.h"
#include "support/pty.h"
#include "support/serial_reads.h"

namespace {

QByteArray everyByteValue() {
  QByteArray bytes;
  for (int v = 0; v < 256; ++v) bytes.append(char(v));
  return bytes;
}

struct SerialOverPty : ::testing::Test {
  PseudoTerminal pty;
  QtSerialSystem system{QStringList{pty.slavePath()}};
  Serial serial{system};

  void SetUp() override {
    ASSERT_TRUE(pty.valid());
    ASSERT_GE(system.SerialPortCount(), 1);
    serial.setSerialPort(system.SerialPortAt(system.SerialPortCount() - 1));
  }
};

TEST_F(SerialOverPty, ListsTheExtraPathByName) {
  const SerialPort port = system.SerialPortAt(system.SerialPortCount() - 1);
  EXPECT_EQ(port.Name, pty.slavePath());
  EXPECT_EQ(port.location, pty.slavePath());
  EXPECT_TRUE(system.SerialPortAt(system.SerialPortCount()).location.isEmpty());
}

TEST_F(SerialOverPty, OpensWithTheCounterLineSettings) {
  ASSERT_TRUE(serial.Open());
  // The settings land on the terminal the program opened; read them back through another
  // descriptor of the same terminal.
  const int fd = ::open(pty.slavePath().toLocal8Bit().constData(), O_RDWR | O_NOCTTY);
  ASSERT_GE(fd, 0);
  termios tio{};
  ASSERT_EQ(tcgetattr(fd, &tio), 0);
  ::close(fd);
  EXPECT_EQ(cfgetospeed(&tio), B115200);
  EXPECT_EQ(cfgetispeed(&tio), B115200);
  EXPECT_EQ(tio.c_cflag & CSIZE, tcflag_t(CS8));
  EXPECT_EQ(tio.c_cflag & PARENB, 0u);
  EXPECT_EQ(tio.c_cflag & CSTOPB, 0u);
  EXPECT_EQ(tio.c_cflag & CRTSCTS, 0u);
  EXPECT_EQ(tio.c_iflag & (IXON | IXOFF), 0u);
}

TEST_F(SerialOverPty, WritesArriveUnchanged) {
  ASSERT_TRUE(serial.Open());
  const QByteArray command = QByteArray("<GETVER>>") + everyByteValue();
  serial.Write(command);
  EXPECT_EQ(pty.read(int(command.size()), 3000), command);
}

TEST_F(SerialOverPty, EveryByteValueIsReadUnchanged) {
  ASSERT_TRUE(serial.Open());
  pty.write(everyByteValue());
  EXPECT_EQ(readAtLeast(serial, 256), everyByteValue());
}

TEST_F(SerialOverPty, ABurstSentWhileNobodyReadsIsReturnedWholeByOneRead) {
  ASSERT_TRUE(serial.Open());
  QByteArray burst;
  for (int i = 0; i < 5000; ++i) burst.append(char(i * 7));
  pty.write(burst);
  QThread::msleep(200);  // the burst waits in the system while the program sleeps
  EXPECT_EQ(serial.ReadAll(), burst);
  EXPECT_TRUE(serial.ReadAll().isEmpty());
}

TEST_F(SerialOverPty, AWriteLargerThanTheLineHoldsArrivesWholeOnceTheFarEndReads) {
  ASSERT_TRUE(serial.Open());
  QByteArray typed;
  for (int i = 0; i < 256 * 1024; ++i) typed.append(char('a' + i % 26));
  serial.Write(typed);  // far more than the terminal holds while nobody reads it
  QByteArray arrived;
  QElapsedTimer elapsed;
  elapsed.start();
  while (arrived.size() < typed.size() && elapsed.elapsed() < 10000) {
    arrived += pty.read(1, 10);
    QCoreApplication::processEvents();  // the rest goes out from the event loop
  }
  EXPECT_EQ(arrived.size(), typed.size());
  EXPECT_TRUE(arrived == typed);
}

TEST_F(SerialOverPty, ReadsAndWritesOnAClosedPortDoNothing) {
  EXPECT_TRUE(serial.ReadAll().isEmpty());
  serial.Write("<GETCPS>>");
  EXPECT_TRUE(pty.read(1, 100).isEmpty());

  ASSERT_TRUE(serial.Open());
  serial.Close();
  EXPECT_FALSE(serial.isOpen());
  pty.write("late");
  EXPECT_TRUE(serial.ReadAll().isEmpty());
  serial.Write("<GETCPS>>");
  EXPECT_TRUE(pty.read(1, 100).isEmpty());
  serial.Close();  // closing twice is harmless
}

TEST_F(SerialOverPty, ReopensAfterClose) {
  ASSERT_TRUE(serial.Open());
  serial.Close();
  ASSERT_TRUE(serial.Open());
  pty.write("again");
  EXPECT_EQ(readAtLeast(serial, 5), QByteArray("again"));
}

TEST(SerialOpen, APathThatDoesNotExistReturnsFalse) {
  QtSerialSystem system{QStringList{"/dev/telvar-no-such-port"}};
  Serial serial(system);
  serial.setSerialPort(system.SerialPortAt(system.SerialPortCount() - 1));
  EXPECT_FALSE(serial.Open());
  EXPECT_FALSE(serial.isOpen());
  EXPECT_TRUE(serial.ReadAll().isEmpty());
  serial.Write("x");
}

TEST(SerialOpen, NoPortChosenReturnsFalse) {
  QtSerialSystem system;
  Serial serial(system);
  EXPECT_FALSE(serial.Open());
}

}  // namespace
