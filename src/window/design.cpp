// The window's design: its settings and its controls, each placed, set up and then connected to
// its handler, so that setting up a control never runs a handler.

#include <QLayout>
#include <QMenuBar>
#include <QPalette>
#include <limits>

#include "widgets/edge_locks.h"
#include "window/telvar.h"

namespace {

constexpr unsigned kLockedLeftTop = LockLeft | LockTop;
constexpr unsigned kLockedLeftTopBottom = LockLeft | LockTop | LockBottom;
constexpr unsigned kLockedLeftRightBottom = LockLeft | LockRight | LockBottom;

constexpr int kMinimumSide = 64;
constexpr int kMaximumSide = 32000;

// The console's fields: black text on white.
void setBlackOnWhite(QWidget& field) {
  QPalette palette = field.palette();
  palette.setColor(QPalette::Base, Qt::white);
  palette.setColor(QPalette::Text, Qt::black);
  field.setPalette(palette);
}

// A line edit cuts its text at 32,767 characters unless told otherwise; these fields take any
// length, and a long typed command must go out whole.
void setNoLengthLimit(QLineEdit& field) { field.setMaxLength(std::numeric_limits<int>::max()); }

// HEXButton lies over the end of ASCIIButton from x 378; with the style's usual gap between circle
// and caption, HEX's circle would hide the last letter of "ASCII".
void setNarrowCaptionGap(RadioButton& button) {
  button.setStyleSheet(QStringLiteral("QRadioButton { spacing: 3px; }"));
}

void setBlackText(QWidget& label) {
  QPalette palette = label.palette();
  palette.setColor(QPalette::WindowText, Qt::black);
  label.setPalette(palette);
}

}  // namespace

void TELVAR::Layout() {
  if (platform.menuBar) {
    setMenuBar(platform.menuBar);
    platform.menuBar->setVisible(true);
  }

  setWindowTitle(QStringLiteral("TELVAR"));
  // Sizes are the content area's; the window adds what its menu bar takes, if anything.
  const QSize minimum(kMinimumSide, kMinimumSide);
  const QSize maximum(kMaximumSide, kMaximumSide);
  const QSize menu_bar = layout()->totalSizeHint() - content_->sizeHint();
  content_->setMinimumSize(minimum);
  content_->setMaximumSize(maximum);
  setMinimumSize(minimum + menu_bar);
  setMaximumSize(maximum + menu_bar);
  resize(QSize(kDesignWidth, kDesignHeight) + menu_bar);
}

void TELVAR::CreateControls() {
  QWidget& window = *content_;
  auto onClick = [this](QPushButton& button, const char* name, void (TELVAR::*handler)()) {
    connect(&button, &QPushButton::clicked, this, [this, name, handler] { handle(name, handler); });
  };
  // Timer actions already run as handlers: the scheduler calls them so.
  auto onTick = [](Timer& timer, TELVAR* self, const char* name, void (TELVAR::*handler)()) {
    timer.action = [self, name, handler] {
      notifyHandler(name);
      (self->*handler)();
    };
  };

  // UART: the serial system opens every port with the counter's line settings; no port yet.

  place(ConnectButton, "ConnectButton", window, {231, 20, 80, 22}, kLockedLeftTopBottom);
  ConnectButton.setText(kConnectCaption);
  ConnectButton.setDefault(true);
  ConnectButton.setEnabled(false);
  onClick(ConnectButton, "ConnectButton_Action", &TELVAR::ConnectButton_Action);

  place(SerialPortsPopupMenu, "SerialPortsPopupMenu", window, {16, 20, 210, 22}, kLockedLeftTop);
  connect(&SerialPortsPopupMenu, &QComboBox::currentIndexChanged, this,
          [this] { handle("SerialPortsPopupMenu_Change", &TELVAR::SerialPortsPopupMenu_Change); });

  onTick(PortListUpdater, this, "PortListUpdater_Action", &TELVAR::PortListUpdater_Action);

  place(SerialText, "SerialText", window, {315, 12, 285, 137}, kLockedLeftTop);
  // The console area is read-only and wraps at its width under a vertical scroll bar by itself.
  setBlackOnWhite(SerialText);
  connect(&SerialText, &ConsoleTextArea::textChanged, this,
          [this] { handle("SerialText_TextChange", &TELVAR::SerialText_TextChange); });

  place(Command1, "Command1", window, {16, 45, 210, 22}, kLockedLeftTop);
  Command1.addItems(PresetCommands());
  Command1.setCurrentIndex(0);

  place(SendCommand1, "SendCommand1", window, {231, 45, 80, 22}, kLockedLeftTopBottom);
  SendCommand1.setText(QStringLiteral("Send"));
  SendCommand1.setDefault(true);
  SendCommand1.setEnabled(false);
  onClick(SendCommand1, "SendCommand1_Action", &TELVAR::SendCommand1_Action);

  place(Command2, "Command2", window, {16, 71, 210, 22}, kLockedLeftTop);
  setBlackOnWhite(Command2);
  setNoLengthLimit(Command2);

  place(SendCommand2, "SendCommand2", window, {231, 71, 80, 22}, kLockedLeftTopBottom);
  SendCommand2.setText(QStringLiteral("Send"));
  SendCommand2.setDefault(true);
  SendCommand2.setEnabled(false);
  onClick(SendCommand2, "SendCommand2_Action", &TELVAR::SendCommand2_Action);

  onTick(SerialTimer, this, "SerialTimer_Action", &TELVAR::SerialTimer_Action);

  place(ClearButton, "ClearButton", window, {520, 161, 80, 22}, kLockedLeftTop);
  ClearButton.setText(QStringLiteral("Clear"));
  ClearButton.setDefault(true);
  onClick(ClearButton, "ClearButton_Action", &TELVAR::ClearButton_Action);

  place(SerialSize, "SerialSize", window, {436, 161, 80, 22}, kLockedLeftTop);
  SerialSize.setReadOnly(true);
  setBlackOnWhite(SerialSize);
  setNoLengthLimit(SerialSize);

  place(Graph, "Graph", window, {16, 205, 600, 180}, kLockedLeftTop);
  Graph.setFocusPolicy(Qt::NoFocus);
  Graph.resized = [this] { applyEdgeLocks(Graph); };
  Graph.paint = [this](Drawing& g) {
    platform.scheduler.runHandler([this, &g] {
      notifyHandler("Graph_Paint");
      Graph_Paint(g);
    });
  };

  place(ScrollCPS, "ScrollCPS", Graph, {16, 368, 600, 17}, kLockedLeftRightBottom);
  ScrollCPS.setRange(0, kNewestMinuteStart);
  ScrollCPS.setValue(kNewestMinuteStart);
  ScrollCPS.setSingleStep(1);
  ScrollCPS.setPageStep(20);
  ScrollCPS.setTracking(false);  // report the value when the thumb is let go, not while dragged
  ScrollCPS.setFocusPolicy(Qt::StrongFocus);
  connect(&ScrollCPS, &QScrollBar::valueChanged, this,
          [this] { handle("ScrollCPS_ValueChanged", &TELVAR::ScrollCPS_ValueChanged); });

  GetCPS.run = [this] {
    notifyHandler("GetCPS_Run");
    GetCPS_Run();
  };

  onTick(GetCPSTimer, this, "GetCPSTimer_Action", &TELVAR::GetCPSTimer_Action);

  place(AsciiHex, "AsciiHex", window, {329, 155, 92, 25}, kLockedLeftTop);

  // The radio buttons of one group box form one group: Qt makes siblings exclusive.
  place(ASCIIButton, "ASCIIButton", AsciiHex, {329, 159, 100, 25}, kLockedLeftTop);
  ASCIIButton.setText(QStringLiteral("ASCII"));
  ASCIIButton.setChecked(true);
  setNarrowCaptionGap(ASCIIButton);

  place(HEXButton, "HEXButton", AsciiHex, {378, 159, 51, 25}, kLockedLeftTop);
  HEXButton.setText(QStringLiteral("HEX"));
  setNarrowCaptionGap(HEXButton);

  place(DHButton, "DHButton", window, {179, 135, 133, 22}, kLockedLeftTop);
  DHButton.setText(QStringLiteral("Download History"));
  DHButton.setDefault(true);
  DHButton.setEnabled(false);
  onClick(DHButton, "DHButton_Action", &TELVAR::DHButton_Action);

  place(DownloadProgressBar, "DownloadProgressBar", window, {16, 136, 160, 20}, kLockedLeftTop);
  DownloadProgressBar.setRange(0, 100);
  DownloadProgressBar.setValue(0);
  DownloadProgressBar.setTextVisible(false);
  DownloadProgressBar.setFocusPolicy(Qt::NoFocus);

  place(SaveButton, "SaveButton", window, {179, 110, 134, 22}, kLockedLeftTop);
  SaveButton.setText(QStringLiteral("Stop && Save"));
  SaveButton.setDefault(true);
  SaveButton.hide();
  onClick(SaveButton, "SaveButton_Action", &TELVAR::SaveButton_Action);

  place(DownloadingLabel, "DownloadingLabel", window, {19, 115, 153, 16}, kLockedLeftTop);
  DownloadingLabel.setText(QStringLiteral("Untitled"));
  DownloadingLabel.setTextFormat(Qt::PlainText);
  DownloadingLabel.setWordWrap(false);
  setBlackText(DownloadingLabel);
  DownloadingLabel.hide();

  DHThread.run = [this] {
    notifyHandler("DHThread_Run");
    DHThread_Run();
  };

  onTick(Timer100ms, this, "Timer100ms_Action", &TELVAR::Timer100ms_Action);

  place(DSButton, "DSButton", window, {178, 168, 133, 22}, kLockedLeftTop);
  DSButton.setText(QStringLiteral("Download Screenshot"));
  DSButton.setEnabled(false);
  onClick(DSButton, "DSButton_Action", &TELVAR::DSButton_Action);

  place(GroupBox1, "GroupBox1", window, {15, 169, 160, 24}, kLockedLeftTop);

  place(SS3, "SS3", GroupBox1, {100, 172, 30, 20}, kLockedLeftTop);
  SS3.setText(QStringLiteral("3"));
  place(SS4, "SS4", GroupBox1, {142, 172, 32, 20}, kLockedLeftTop);
  SS4.setText(QStringLiteral("4"));
  place(SS1, "SS1", GroupBox1, {22, 172, 27, 20}, kLockedLeftTop);
  SS1.setText(QStringLiteral("1"));
  SS1.setChecked(true);
  place(SS2, "SS2", GroupBox1, {61, 172, 34, 20}, kLockedLeftTop);
  SS2.setText(QStringLiteral("2"));

  applyTabOrder();
}

void TELVAR::place(QWidget& control, const char* name, QWidget& parent, QRect window_rect,
                   unsigned locks) {
  control.setObjectName(QString::fromLatin1(name));
  control.setParent(&parent);  // on top of every control made before it
  const bool in_window = &parent == content_;
  const QPoint origin = in_window ? QPoint() : parent.mapTo(content_, QPoint());
  const QRect design = window_rect.translated(-origin);
  if (auto* box = qobject_cast<GroupBox*>(&parent)) coverChild(*box, design);
  const QSize parent_design = in_window ? QSize(kDesignWidth, kDesignHeight) : parent.size();
  control.setGeometry(design);
  placements_.push_back({&control, design, parent_design, locks});
}

// The design lets the AsciiHex buttons reach past the right and bottom of their box, where Qt
// would cut them off and let clicks fall through: the box grows to cover its buttons and keeps
// drawing its frame at the design's place. No button lies left of or above its box.
void TELVAR::coverChild(GroupBox& box, const QRect& child) {
  const QSize covered = box.size().expandedTo(QSize(child.right() + 1, child.bottom() + 1));
  if (covered == box.size()) return;
  box.setBoxRect(box.boxRect());
  box.resize(covered);
  for (Placement& placement : placements_) {
    if (placement.control == &box) placement.design.setSize(covered);
    if (placement.control->parentWidget() == &box) placement.parent_design = covered;
  }
}

void TELVAR::applyEdgeLocks(const QWidget& parent) {
  for (const Placement& placement : placements_)
    if (placement.control->parentWidget() == &parent)
      placement.control->setGeometry(lockedGeometry(placement.design, placement.parent_design,
                                                    parent.size(), placement.locks));
}

void TELVAR::applyTabOrder() {
  // A group box's or the canvas's children follow it; in GroupBox1 the order is 3, 4, 1, 2.
  QWidget* const order[] = {&ConnectButton, &SerialPortsPopupMenu,
                            &SerialText,    &Command1,
                            &SendCommand1,  &Command2,
                            &SendCommand2,  &ClearButton,
                            &SerialSize,    &Graph,
                            &ScrollCPS,     &AsciiHex,
                            &ASCIIButton,   &HEXButton,
                            &DHButton,      &DownloadProgressBar,
                            &SaveButton,    &DownloadingLabel,
                            &DSButton,      &GroupBox1,
                            &SS3,           &SS4,
                            &SS1,           &SS2};
  for (std::size_t i = 1; i < std::size(order); ++i) setTabOrder(order[i - 1], order[i]);
}
