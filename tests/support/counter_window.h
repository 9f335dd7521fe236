#pragma once

#include <gtest/gtest.h>

#include <QString>
#include <memory>

#include "support/sim_counter.h"
#include "support/simulation.h"
#include "window/telvar.h"

// The main window in a simulated world with one counter on the only serial port, for scenario
// tests of the features that talk to it.
class CounterWindowTest : public ::testing::Test {
 protected:
  static inline const QString kCounterPort = QStringLiteral("/dev/ttyUSB0");

  Simulation sim;
  SimCounter counter;
  std::unique_ptr<TELVAR> window;

  void SetUp() override {
    counter.plugInto(sim.serial, kCounterPort);
    window = std::make_unique<TELVAR>(sim.platform());
  }

  void TearDown() override {
    // A test that watches the handlers may end early, on a failed assertion, with the hook still
    // pointing into its own stack.
    TELVAR::handlerObserver = nullptr;
    window.reset();
    EXPECT_TRUE(sim.unhandledErrors.isEmpty()) << sim.unhandledErrors.join('\n').toStdString();
  }

  // Lets port discovery find the counter, then connects to it as the user does.
  void connectToCounter() {
    for (int i = 0; i < 20 && !window->ConnectButton.isEnabled(); ++i) sim.advance(100);
    ASSERT_TRUE(window->ConnectButton.isEnabled()) << "port discovery found no port";
    window->ConnectButton.click();
    ASSERT_EQ(window->ConnectButton.text(), QStringLiteral("Disconnect"));
  }

  void disconnect() {
    window->ConnectButton.click();
    ASSERT_EQ(window->ConnectButton.text(), QStringLiteral("Connect"));
  }
};
