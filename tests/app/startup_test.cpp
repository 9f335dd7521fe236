#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QProcess>
#include <QStandardPaths>
#include <QTimer>
#include <stdexcept>

#include "app/app.h"
#include "app/menu_bar.h"
#include "support/simulation.h"
#include "window/telvar.h"

namespace {

// Counts how often the program opens the port it sits on.
struct OpenCounter final : SimDevice {
  int opens = 0;
  void received(SimPort&, const QByteArray&, qint64) override {}
  void opened(SimPort&) override { ++opens; }
};

// Runs the start-up and its event loop in this process against a simulated world; `during` runs
// once the loop is up. A loop that does not end by itself is ended with code 99.
struct StartUpTest : ::testing::Test {
  Simulation sim;
  OpenCounter counter;
  QStringList handlersRun;

  void SetUp() override {
    sim.serial.addPort("COM1").device = &counter;
    sim.serial.addPort("COM2").device = &counter;
    TELVAR::handlerObserver = [this](const char* name) {
      handlersRun.append(QString::fromLatin1(name));
    };
  }
  void TearDown() override { TELVAR::handlerObserver = nullptr; }

  int runWith(const std::function<void()>& during) {
    QTimer act;
    act.setSingleShot(true);
    QObject::connect(&act, &QTimer::timeout, during);
    act.start(0);
    QTimer give_up;
    give_up.setSingleShot(true);
    QObject::connect(&give_up, &QTimer::timeout, [] { QCoreApplication::exit(99); });
    give_up.start(10000);
    return runTelvar(sim.platform());
  }
};

}  // namespace

TEST_F(StartUpTest, ClosingTheMainWindowEndsTheLoopWithCodeZero) {
  bool shown_at_start = false;
  const int code = runWith([&] {
    TELVAR& window = TELVAR::shared(sim.platform());
    shown_at_start = window.isVisible();
    window.close();
  });
  EXPECT_EQ(code, 0);
  EXPECT_TRUE(shown_at_start);
  EXPECT_TRUE(handlersRun.contains("Event_Close"));
  EXPECT_TRUE(sim.unhandledErrors.isEmpty());
}

TEST_F(StartUpTest, AnErrorEscapingAHandlerIsShownToTheUserAndTheProgramGoesOn) {
  TELVAR::handlerObserver = [this](const char* name) {
    handlersRun.append(QString::fromLatin1(name));
    if (QByteArray(name) == "ClearButton_Action") throw std::runtime_error("out of paper");
  };
  bool closed_after_the_box = false;
  sim.dialogs.onMessage = [&](const QString&) {
    // The program goes on: once the box is closed, the window still answers.
    QTimer::singleShot(0, [&] {
      closed_after_the_box = true;
      TELVAR::shared(sim.platform()).close();
    });
  };
  const int code = runWith([this] { TELVAR::shared(sim.platform()).ClearButton.click(); });
  EXPECT_EQ(code, 0);
  EXPECT_EQ(sim.dialogs.messages, QStringList{"out of paper"});
  EXPECT_TRUE(closed_after_the_box);
  EXPECT_TRUE(handlersRun.contains("Event_Close"));
  EXPECT_TRUE(sim.unhandledErrors.isEmpty()) << "the application's report was not in place";
}

TEST_F(StartUpTest, FileQuitIsTheToolkitsQuitAndClosesTheWindow) {
  const int code = runWith([] { MainMenuBar::shared().FileQuit->trigger(); });
  EXPECT_EQ(code, 0);
  EXPECT_TRUE(handlersRun.contains("Event_Close"));
}

TEST_F(StartUpTest, StartUpTouchesNoSerialPort) {
  bool port_open_at_start = true;
  runWith([&] {
    port_open_at_start = TELVAR::shared(sim.platform()).UART.isOpen();
    TELVAR::shared(sim.platform()).close();
  });
  EXPECT_FALSE(port_open_at_start);
  EXPECT_EQ(counter.opens, 0);
  EXPECT_EQ(sim.serial.listReads(), 0);
  EXPECT_TRUE(sim.serial.port("COM1")->writes().empty());
}

TEST_F(StartUpTest, EveryRequestReturnsTheSameWindow) {
  runWith([&] {
    TELVAR& first = TELVAR::shared(sim.platform());
    first.CPMStart = 1234;
    TELVAR& again = TELVAR::shared(sim.platform());
    EXPECT_EQ(&again, &first);
    EXPECT_EQ(again.CPMStart, 1234);
    first.close();
  });
}

TEST(ApplicationTest, TheProgramStartsAndStaysUpWithNoArguments) {
  QProcess program;
  QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
  environment.insert("QT_QPA_PLATFORM", "offscreen");
  program.setProcessEnvironment(environment);
  program.start(QStringLiteral(TELVAR_BINARY), {});
  ASSERT_TRUE(program.waitForStarted(10000));
  // Up and waiting for the user: it neither ends nor fails on its own.
  EXPECT_FALSE(program.waitForFinished(1500)) << program.readAllStandardError().toStdString();
  EXPECT_EQ(program.state(), QProcess::Running);
  program.kill();
  program.waitForFinished(10000);
  EXPECT_FALSE(program.readAllStandardError().contains("Unhandled"));
}
