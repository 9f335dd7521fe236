#pragma once

#include <gtest/gtest.h>

#include <QByteArray>

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

  // One exchange, made as a handler on the window's thread makes it.
  QByteArray ask(const QByteArray& command, int wait_ms, int reads = 1) {
    Scheduler::HandlerScope handler(sim.scheduler);
    return exchange(uart, sim.scheduler, command, wait_ms, reads);
  }
};
