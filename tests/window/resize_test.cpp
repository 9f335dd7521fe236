#include <algorithm>
#include <map>

#include "widgets/edge_locks.h"
#include "window_fixture.h"

namespace {

struct LockCase {
  const char* what;
  unsigned locks;
  QSize parent_now;
  QRect expected;
};

// A control at (10, 20) 30 x 40 in a 100 x 100 parent.
const QRect kDesign(10, 20, 30, 40);
const QSize kParent(100, 100);

const std::vector<LockCase> kLockCases = {
    {"left top stays", LockLeft | LockTop, {150, 180}, {10, 20, 30, 40}},
    {"left top bottom grows in height",
     LockLeft | LockTop | LockBottom,
     {150, 180},
     {10, 20, 30, 120}},
    {"left top bottom shrinks in height",
     LockLeft | LockTop | LockBottom,
     {100, 80},
     {10, 20, 30, 20}},
    {"never a negative height", LockLeft | LockTop | LockBottom, {100, 10}, {10, 20, 30, 0}},
    {"left right bottom stretches and moves down",
     LockLeft | LockRight | LockBottom,
     {150, 180},
     {10, 100, 80, 40}},
    {"right alone moves", LockRight | LockTop, {150, 100}, {60, 20, 30, 40}},
    {"no lock stays", 0, {50, 50}, {10, 20, 30, 40}},
};

}  // namespace

TEST(EdgeLocksTest, LockedEdgesKeepTheirDistanceToTheParent) {
  for (const LockCase& c : kLockCases) {
    SCOPED_TRACE(c.what);
    EXPECT_EQ(lockedGeometry(kDesign, kParent, c.parent_now, c.locks), c.expected);
  }
}

namespace {

struct ResizeTest : WindowTest {
  std::map<QWidget*, QRect> atFirstDisplay;
  QSize menuBarExtra;

  void SetUp() override {
    WindowTest::SetUp();
    show();
    menuBarExtra = window->size() - window->contentArea().size();
    for (const char* name : {"ConnectButton", "SerialPortsPopupMenu",
                             "SerialText",    "Command1",
                             "SendCommand1",  "Command2",
                             "SendCommand2",  "ClearButton",
                             "SerialSize",    "Graph",
                             "ScrollCPS",     "AsciiHex",
                             "ASCIIButton",   "HEXButton",
                             "DHButton",      "DownloadProgressBar",
                             "SaveButton",    "DownloadingLabel",
                             "DSButton",      "GroupBox1",
                             "SS3",           "SS4",
                             "SS1",           "SS2"}) {
      QWidget* control = window->findChild<QWidget*>(QString::fromLatin1(name));
      if (control) atFirstDisplay[control] = control->geometry();
    }
  }

  void resizeContentTo(QSize content) {
    window->resize(content + menuBarExtra);
    QCoreApplication::processEvents();
  }

  bool growsWithTheWindow(QWidget* control) const {
    return control == &window->ConnectButton || control == &window->SendCommand1 ||
           control == &window->SendCommand2;
  }
};

}  // namespace

TEST_F(ResizeTest, OnlyTheBottomLockedButtonsFollowTheWindowsHeight) {
  ASSERT_EQ(atFirstDisplay.size(), 24u);
  for (QSize content : {QSize(900, 700), QSize(628, 300), QSize(400, 390), QSize(628, 404)}) {
    SCOPED_TRACE(QString("%1 x %2").arg(content.width()).arg(content.height()).toStdString());
    resizeContentTo(content);
    ASSERT_EQ(window->contentArea().size(), content);
    const int growth = content.height() - 404;
    for (const auto& [control, first] : atFirstDisplay) {
      SCOPED_TRACE(control->objectName().toStdString());
      QRect expected = first;
      if (growsWithTheWindow(control)) expected.setHeight(std::max(0, first.height() + growth));
      EXPECT_EQ(control->geometry(), expected);
    }
  }
}

TEST_F(ResizeTest, ScrollBarStaysAlongTheBottomOfTheGraph) {
  resizeContentTo({1000, 800});
  EXPECT_EQ(window->Graph.size(), QSize(600, 180));
  EXPECT_EQ(window->ScrollCPS.geometry(), QRect(0, 163, 600, 17));
}

TEST_F(ResizeTest, ContentAreaStaysWithin64And32000) {
  resizeContentTo({1, 1});
  EXPECT_EQ(window->contentArea().size(), QSize(64, 64));
  EXPECT_EQ(window->size(), QSize(64, 64) + menuBarExtra);
  // The bottom-locked buttons cannot be lower than nothing.
  EXPECT_EQ(window->ConnectButton.height(), 0);

  EXPECT_EQ(window->contentArea().minimumSize(), QSize(64, 64));
  EXPECT_EQ(window->contentArea().maximumSize(), QSize(32000, 32000));
  EXPECT_EQ(window->minimumSize(), QSize(64, 64) + menuBarExtra);
  EXPECT_EQ(window->maximumSize(), QSize(32000, 32000) + menuBarExtra);
  // Asked for more, the window stops at its maximum (checked hidden: a shown window that large
  // would need gigabytes of backing store).
  window->hide();
  window->resize(40000, 40000);
  EXPECT_EQ(window->size(), QSize(32000, 32000) + menuBarExtra);
}
