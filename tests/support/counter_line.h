#pragma once

#include <gtest/gtest.h>

#include <QByteArray>
#include <optional>

#include "link/exchange.h"
#include "link/protocol.h"
#include "platform/scheduler.h"
#include "platform/serial.h"
#include "support/sim_counter.h"
#include "support/simulation.h"

// The simulated counter on the one port, with a serial object open on it: for tests of the
// line and the exchange without a window.
struct CounterLineTest : ::testing::Test {
  Simulation sim;
  SimCounter counter;
  SimPort& port = counter.plugInto(sim.serial, "ttyUSB0");
  Serial uart{sim.serial};

  void SetUp() override {
    uart.setSerialPort(sim.serial.SerialPortAt(0));
    ASSERT_TRUE(uart.Open());
  }

  // The plainest question, for tests of the counter itself: drop what is pending, write, sleep on
  // the window's thread, read (reads times) whatever came.
  QByteArray ask(const QByteArray& command, int wait_ms, int reads = 1) {
    Scheduler::HandlerScope handler(sim.scheduler);
    uart.ReadAll();
    uart.Write(command);
    sim.scheduler.sleepCurrentThread(wait_ms);
    QByteArray reply;
    for (int read = 0; read < reads; ++read) reply.append(uart.ReadAll());
    return reply;
  }

  // The program's exchange, made as a handler on the window's thread makes it: the reply taken.
  std::optional<QByteArray> exchangeOnce(const QByteArray& command, int wait_ms, int reads = 1,
                                         bool (*passes)(QByteArrayView) = nullptr) {
    Scheduler::HandlerScope handler(sim.scheduler);
    return exchange(uart, sim.scheduler, {command, wait_ms, passes, reads});
  }
};
