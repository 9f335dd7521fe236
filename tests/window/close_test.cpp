#include <QCloseEvent>

#include "window_fixture.h"

namespace {

struct CloseTest : WindowTest {
  void SetUp() override {
    WindowTest::SetUp();
    show();
  }
};

// Marks, when it goes, that the stack it lived on was unwound.
struct UnwindMark {
  bool& unwound;
  ~UnwindMark() { unwound = true; }
};

}  // namespace

TEST_F(CloseTest, ClosingEndsARunningCountRatePollAtOnce) {
  bool unwound = false;
  bool went_on = false;
  window->GetCPS.run = [&] {
    UnwindMark mark{unwound};
    window->GetCPSThreadRunning = true;
    sim.scheduler.sleepCurrentThread(100);  // waiting for the reply
    went_on = true;
  };
  window->GetCPS.Run();
  sim.advance(10);
  ASSERT_TRUE(window->GetCPS.isRunning());

  EXPECT_TRUE(window->close());
  EXPECT_FALSE(window->GetCPS.isRunning());
  EXPECT_TRUE(unwound);
  sim.advance(500);
  EXPECT_FALSE(went_on);
  EXPECT_TRUE(handlersRun.contains("Event_Close"));
  EXPECT_FALSE(window->isVisible());
}

TEST_F(CloseTest, ClosingLeavesTheDownloadThePortAndTheTimersAlone) {
  SimPort& port = sim.serial.addPort("COM1");
  window->UART.setSerialPort({"COM1", "COM1"});
  ASSERT_TRUE(window->UART.Open());
  window->DHThread.run = [&] {
    for (;;) sim.scheduler.sleepCurrentThread(50);
  };
  window->DHThread.Run();
  window->fileStream = std::make_unique<QFile>(sim.path("history.csv"));
  ASSERT_TRUE(window->fileStream->open(QIODevice::WriteOnly));
  window->download_started = true;
  sim.advance(10);

  window->close();
  EXPECT_TRUE(window->DHThread.isRunning());
  EXPECT_TRUE(window->fileStream->isOpen());
  EXPECT_TRUE(window->UART.isOpen());
  EXPECT_TRUE(port.isOpen());
  EXPECT_TRUE(window->download_started);
  for (const Timer* timer :
       {&window->PortListUpdater, &window->SerialTimer, &window->GetCPSTimer, &window->Timer100ms})
    EXPECT_EQ(timer->mode(), Timer::kRepeating);
}

TEST_F(CloseTest, ClosingWithNothingRunningIsQuiet) {
  window->close();
  EXPECT_FALSE(window->GetCPS.isRunning());
  EXPECT_TRUE(sim.unhandledErrors.isEmpty());
  EXPECT_EQ(handlersBesidesPaint(), QStringList{"Event_Close"});
}
