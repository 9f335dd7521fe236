#include "app/error_report.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <cstring>
#include <memory>
#include <stdexcept>

#include "support/simulation.h"
#include "window/telvar.h"

namespace {

// What the program was doing when a report's message box opened.
struct Moment {
  QString text;
  bool on_worker;
  bool in_hold;
};

// The main window in virtual time with the report of unhandled errors the application installs.
// Errors are made by a handler observer that throws as a chosen handler or worker starts.
class UnhandledErrorReportTest : public ::testing::Test {
 protected:
  Simulation sim;
  std::unique_ptr<TELVAR> window;
  std::unique_ptr<UnhandledErrorReport> report;
  std::vector<Moment> shown;
  bool in_hold = false;

  void SetUp() override {
    window = std::make_unique<TELVAR>(sim.platform());
    report = std::make_unique<UnhandledErrorReport>(sim.scheduler, sim.dialogs, window.get());
    sim.dialogs.onMessage = [this](const QString& text) {
      shown.push_back({text, sim.scheduler.currentThread() != nullptr, in_hold});
    };
  }

  void TearDown() override {
    TELVAR::handlerObserver = nullptr;
    report.reset();
    window.reset();
  }

  static void failAt(const char* handler, const char* error) {
    TELVAR::handlerObserver = [handler, error](const char* name) {
      if (std::strcmp(name, handler) == 0) throw std::runtime_error(error);
    };
  }

  // The event loop's turn: what the program posted for it runs.
  static void backToTheEventLoop() { QCoreApplication::sendPostedEvents(); }
};

TEST_F(UnhandledErrorReportTest, AnErrorEscapingAHandlerIsShownOnceTheHandlerHasEnded) {
  window->SerialSize.setText(QStringLiteral("12"));
  failAt("ClearButton_Action", "the disk is on fire");

  window->ClearButton.click();
  EXPECT_TRUE(shown.empty()) << "shown from inside the handler";
  EXPECT_EQ(window->SerialSize.text(), QStringLiteral("12")) << "the handler went on";

  backToTheEventLoop();
  ASSERT_EQ(shown.size(), 1u);
  EXPECT_EQ(shown[0].text, QStringLiteral("the disk is on fire"));
  EXPECT_FALSE(shown[0].on_worker);
  EXPECT_EQ(report->waiting(), 0);

  // The program goes on: its timers run, and the same button works once nothing fails.
  TELVAR::handlerObserver = nullptr;
  const int rows_before = window->SerialPortsPopupMenu.count();
  sim.serial.addPort(QStringLiteral("/dev/ttyS0"));
  sim.advance(1000);
  EXPECT_EQ(window->SerialPortsPopupMenu.count(), rows_before + 1);
  window->ClearButton.click();
  EXPECT_EQ(window->SerialSize.text(), QStringLiteral("0"));
  backToTheEventLoop();
  EXPECT_EQ(shown.size(), 1u);
}

TEST_F(UnhandledErrorReportTest, AnErrorInAWorkerIsShownOnTheUserInterfaceThreadAfterTheHold) {
  failAt("GetCPS_Run", "no memory left for the series");
  // A handler holds the window while the worker runs and fails.
  sim.scheduler.runHandler([this] {
    in_hold = true;
    window->GetCPS.Run();
    sim.scheduler.sleepCurrentThread(200);
    in_hold = false;
  });
  EXPECT_FALSE(window->GetCPS.isRunning());
  EXPECT_TRUE(shown.empty());

  backToTheEventLoop();
  ASSERT_EQ(shown.size(), 1u);
  EXPECT_EQ(shown[0].text, QStringLiteral("no memory left for the series"));
  EXPECT_FALSE(shown[0].on_worker);
  EXPECT_FALSE(shown[0].in_hold);
}

TEST_F(UnhandledErrorReportTest, ErrorsWaitWhileAnotherHandlerRunsAndAreShownInOrderAfterIt) {
  {
    // As when a worker fails while another handler's message box waits for the user.
    const Scheduler::HandlerScope other_handler(sim.scheduler);
    report->report(QStringLiteral("first"));
    report->report(QStringLiteral("second"));
    backToTheEventLoop();
    EXPECT_TRUE(shown.empty());
    EXPECT_EQ(report->waiting(), 2);
  }
  report->showWaiting();  // the next look, once that handler has ended
  ASSERT_EQ(shown.size(), 2u);
  EXPECT_EQ(shown[0].text, QStringLiteral("first"));
  EXPECT_EQ(shown[1].text, QStringLiteral("second"));
  EXPECT_EQ(report->waiting(), 0);
}

TEST_F(UnhandledErrorReportTest, NoTimerActionRunsWhileTheUserReadsTheReport) {
  failAt("ClearButton_Action", "broken");
  window->ClearButton.click();
  TELVAR::handlerObserver = nullptr;
  QStringList handlers_during_box;
  sim.dialogs.onMessage = [&](const QString&) {
    TELVAR::handlerObserver = [&](const char* name) { handlers_during_box.append(name); };
    sim.advance(1000);  // the user takes a second to read it
    TELVAR::handlerObserver = nullptr;
  };
  backToTheEventLoop();
  EXPECT_EQ(sim.dialogs.messages, QStringList{"broken"});
  EXPECT_TRUE(handlers_during_box.isEmpty()) << handlers_during_box.join(", ").toStdString();
}

}  // namespace
