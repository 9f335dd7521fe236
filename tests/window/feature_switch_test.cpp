#include <QAbstractButton>

#include "window_fixture.h"

namespace {

// Everything a feature switch could touch in the window, so a test sees what changed.
struct Snapshot {
  std::map<QString, bool> enabled;
  std::map<QString, bool> visible;
  std::map<QString, QString> captions;
  std::vector<int> timerModes;
  bool getCPSRunning;
  bool dhThreadRunning;
  qint64 cpmStart;
  bool downloadStarted;

  bool operator==(const Snapshot&) const = default;
};

Snapshot snapshotOf(TELVAR& w) {
  Snapshot s;
  for (QWidget* control : w.contentArea().findChildren<QWidget*>()) {
    if (control->objectName().isEmpty()) continue;
    s.enabled[control->objectName()] = control->isEnabled();
    s.visible[control->objectName()] = control->isVisible();
    if (auto* button = qobject_cast<QAbstractButton*>(control))
      s.captions[control->objectName()] = button->text();
  }
  s.timerModes = {w.PortListUpdater.mode(), w.SerialTimer.mode(), w.GetCPSTimer.mode(),
                  w.Timer100ms.mode()};
  s.getCPSRunning = w.GetCPS.isRunning();
  s.dhThreadRunning = w.DHThread.isRunning();
  s.cpmStart = w.CPMStart;
  s.downloadStarted = w.download_started;
  return s;
}

// The same snapshot with the five switched controls set as the switch sets them.
Snapshot withFeatures(Snapshot s, bool on) {
  for (const char* name : {"SendCommand1", "SendCommand2", "DHButton", "DSButton"})
    s.enabled[QString::fromLatin1(name)] = on;
  s.timerModes[2] = on ? Timer::kRepeating : Timer::kOff;
  return s;
}

struct FeatureSwitchTest : WindowTest {
  void SetUp() override {
    WindowTest::SetUp();
    show();
  }
};

}  // namespace

TEST_F(FeatureSwitchTest, EnableAndDisableSetExactlyTheFiveControls) {
  const Snapshot start = snapshotOf(*window);
  struct Step {
    const char* what;
    void (TELVAR::*call)();
    bool on;
  };
  const std::vector<Step> steps = {
      {"EnableUI", &TELVAR::EnableUI, true},       {"EnableUI again", &TELVAR::EnableUI, true},
      {"DisableUI", &TELVAR::DisableUI, false},    {"DisableUI again", &TELVAR::DisableUI, false},
      {"EnableUI after", &TELVAR::EnableUI, true}, {"DisableUI last", &TELVAR::DisableUI, false}};
  for (const Step& step : steps) {
    SCOPED_TRACE(step.what);
    (window.get()->*step.call)();
    EXPECT_EQ(snapshotOf(*window), withFeatures(start, step.on));
  }
  EXPECT_TRUE(handlersBesidesPaint().isEmpty());
}

TEST_F(FeatureSwitchTest, TheSwitchIgnoresWhatADownloadHasChanged) {
  // A history download in progress: its button reads "Cancel" and its other changes stand.
  window->EnableUI();
  window->DHButton.setText("Cancel");
  window->DHButton.setEnabled(false);
  window->SaveButton.setText("Save");
  window->SaveButton.show();
  window->GetCPSTimer.setMode(Timer::kOff);
  window->download_started = true;
  const Snapshot during = snapshotOf(*window);

  window->DisableUI();
  EXPECT_EQ(snapshotOf(*window), withFeatures(during, false));
  EXPECT_EQ(window->DHButton.text(), "Cancel");
  window->EnableUI();
  EXPECT_EQ(snapshotOf(*window), withFeatures(during, true));
  EXPECT_TRUE(window->DHButton.isEnabled());
}

TEST_F(FeatureSwitchTest, DisableStopsTheCountRateTimerAndEnableRestartsIt) {
  int ticks = 0;
  window->GetCPSTimer.action = [&] { ++ticks; };
  sim.advance(1000);
  EXPECT_EQ(ticks, 1);
  window->DisableUI();
  sim.advance(5000);
  EXPECT_EQ(ticks, 1);
  window->EnableUI();
  sim.advance(1000);
  EXPECT_EQ(ticks, 2);
}
