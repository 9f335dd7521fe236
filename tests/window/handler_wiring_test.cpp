#include <functional>

#include "window_fixture.h"

namespace {

// Notes, with each handler's name, whether it ran as a user-interface handler or on a thread.
struct HandlerWiringTest : WindowTest {
  QStringList calls;

  void SetUp() override {
    WindowTest::SetUp();
    TELVAR::handlerObserver = [this](const char* name) {
      QString call = QString::fromLatin1(name);
      if (Thread* thread = sim.scheduler.currentThread())
        call += thread == &window->GetCPS     ? " on GetCPS"
                : thread == &window->DHThread ? " on DHThread"
                                              : " on ?";
      else if (sim.scheduler.handlerRunning())
        call += " as handler";
      calls.append(call);
    };
    show();
    calls.clear();
  }
};

struct Trigger {
  const char* what;
  std::function<void(TELVAR&, Simulation&)> act;
  QStringList expected;
};

void enableAndClick(QPushButton& button) {
  button.setEnabled(true);
  button.show();
  button.click();
}

}  // namespace

TEST_F(HandlerWiringTest, EachControlEventRunsItsHandlerAsAHandler) {
  const std::vector<Trigger> triggers = {
      {"Connect pressed",
       [](TELVAR& w, Simulation&) { enableAndClick(w.ConnectButton); },
       {"ConnectButton_Action as handler"}},
      {"first port row selects itself",
       [](TELVAR& w, Simulation&) { w.SerialPortsPopupMenu.addItem("COM1"); },
       {"SerialPortsPopupMenu_Change as handler"}},
      {"all port rows deleted",
       [](TELVAR& w, Simulation&) { w.SerialPortsPopupMenu.clear(); },
       {"SerialPortsPopupMenu_Change as handler"}},
      {"console text set",
       [](TELVAR& w, Simulation&) { w.SerialText.setText("abc"); },
       {"SerialText_TextChange as handler"}},
      {"first Send pressed",
       [](TELVAR& w, Simulation&) { enableAndClick(w.SendCommand1); },
       {"SendCommand1_Action as handler"}},
      {"second Send pressed",
       [](TELVAR& w, Simulation&) { enableAndClick(w.SendCommand2); },
       {"SendCommand2_Action as handler"}},
      {"Clear pressed",
       [](TELVAR& w, Simulation&) { enableAndClick(w.ClearButton); },
       // Clear empties the console text set above, a change like any other.
       {"ClearButton_Action as handler", "SerialText_TextChange as handler"}},
      {"graph repainted",
       [](TELVAR& w, Simulation&) { w.Graph.repaint(); },
       {"Graph_Paint as handler"}},
      {"scroll bar moved",
       [](TELVAR& w, Simulation&) { w.ScrollCPS.setValue(100); },
       {"ScrollCPS_ValueChanged as handler"}},
      {"GetCPS started",
       [](TELVAR& w, Simulation& s) {
         w.GetCPS.Run();
         s.advance(0);
       },
       {"GetCPS_Run on GetCPS"}},
      {"Download History pressed",
       [](TELVAR& w, Simulation&) { enableAndClick(w.DHButton); },
       {"DHButton_Action as handler"}},
      {"Save pressed",
       [](TELVAR& w, Simulation&) { enableAndClick(w.SaveButton); },
       {"SaveButton_Action as handler"}},
      {"DHThread started",
       [](TELVAR& w, Simulation& s) {
         w.DHThread.Run();
         s.advance(0);
       },
       {"DHThread_Run on DHThread"}},
      {"Download Screenshot pressed",
       [](TELVAR& w, Simulation&) { enableAndClick(w.DSButton); },
       {"DSButton_Action as handler"}},
  };
  for (const Trigger& trigger : triggers) {
    SCOPED_TRACE(trigger.what);
    calls.clear();
    trigger.act(*window, sim);
    EXPECT_EQ(calls, trigger.expected);
  }
}

TEST_F(HandlerWiringTest, ControlsWithoutAHandlerRunNone) {
  window->Command1.setCurrentIndex(3);
  window->Command2.setText("<GETVER>>");
  window->SerialSize.setText("12");
  window->HEXButton.click();
  window->SS4.click();
  window->DownloadProgressBar.setValue(50);
  window->DownloadingLabel.setText("x");
  EXPECT_TRUE(calls.isEmpty()) << calls.join(", ").toStdString();
}

TEST_F(HandlerWiringTest, TimersActAsHandlersAtTheirPeriods) {
  sim.advance(1000);
  EXPECT_EQ(calls.count("PortListUpdater_Action as handler"), 2);
  EXPECT_EQ(calls.count("SerialTimer_Action as handler"), 20);
  EXPECT_EQ(calls.count("GetCPSTimer_Action as handler"), 1);
  EXPECT_EQ(calls.count("Timer100ms_Action as handler"), 10);
  EXPECT_EQ(calls.count("GetCPS_Run on GetCPS"), 1);  // started by the count-rate tick
  EXPECT_EQ(calls.size(), 34);
}
