#include <QAbstractButton>
#include <QApplication>
#include <QDir>
#include <QImage>
#include <QKeyEvent>
#include <QMenuBar>
#include <QPixmap>
#include <QRadioButton>
#include <QTest>
#include <optional>
#include <set>

#include "app/menu_bar.h"
#include "window_fixture.h"

namespace {

// What the user reads on a control: its caption, its text or its selected row.
QString captionOf(const QWidget* control) {
  if (auto* button = qobject_cast<const QAbstractButton*>(control)) return button->text();
  if (auto* combo = qobject_cast<const QComboBox*>(control)) return combo->currentText();
  if (auto* line = qobject_cast<const QLineEdit*>(control)) return line->text();
  if (auto* area = qobject_cast<const ConsoleTextArea*>(control)) return area->text();
  if (auto* label = qobject_cast<const QLabel*>(control)) return label->text();
  if (auto* box = qobject_cast<const QGroupBox*>(control)) return box->title();
  return {};
}

// Where the design puts a control: for a group box, where its frame is, since a box also covers
// the buttons that reach past its frame.
QRect windowRectOf(const QWidget* control, const QWidget& content) {
  const QPoint origin = control->mapTo(&content, QPoint(0, 0));
  if (auto* box = qobject_cast<const GroupBox*>(control)) return box->boxRect().translated(origin);
  return QRect(origin, control->size());
}

struct DesignRow {
  const char* name;
  const char* className;
  const char* parent;  // "" for the window's content area
  QRect rect;          // window coordinates
  bool enabled;
  bool visible;
  const char* caption;
  std::optional<bool> selected;  // radio buttons only
};

// The visual controls in creation order, as the design gives them.
const std::vector<DesignRow> kDesign = {
    {"ConnectButton", "QPushButton", "", {231, 20, 80, 22}, false, true, "Connect", {}},
    {"SerialPortsPopupMenu", "QComboBox", "", {16, 20, 210, 22}, true, true, "", {}},
    {"SerialText", "ConsoleTextArea", "", {315, 12, 285, 137}, true, true, "", {}},
    {"Command1", "QComboBox", "", {16, 45, 210, 22}, true, true, "<GETVER>>", {}},
    {"SendCommand1", "QPushButton", "", {231, 45, 80, 22}, false, true, "Send", {}},
    {"Command2", "QLineEdit", "", {16, 71, 210, 22}, true, true, "", {}},
    {"SendCommand2", "QPushButton", "", {231, 71, 80, 22}, false, true, "Send", {}},
    {"ClearButton", "QPushButton", "", {520, 161, 80, 22}, true, true, "Clear", {}},
    {"SerialSize", "QLineEdit", "", {436, 161, 80, 22}, true, true, "", {}},
    {"Graph", "Canvas", "", {16, 205, 600, 180}, true, true, "", {}},
    {"ScrollCPS", "QScrollBar", "Graph", {16, 368, 600, 17}, true, true, "", {}},
    {"AsciiHex", "GroupBox", "", {329, 155, 92, 25}, true, true, "", {}},
    {"ASCIIButton", "RadioButton", "AsciiHex", {329, 159, 100, 25}, true, true, "ASCII", true},
    {"HEXButton", "RadioButton", "AsciiHex", {378, 159, 51, 25}, true, true, "HEX", false},
    {"DHButton", "QPushButton", "", {179, 135, 133, 22}, false, true, "Download History", {}},
    {"DownloadProgressBar", "QProgressBar", "", {16, 136, 160, 20}, true, true, "", {}},
    {"SaveButton", "QPushButton", "", {179, 110, 134, 22}, true, false, "Stop && Save", {}},
    {"DownloadingLabel", "QLabel", "", {19, 115, 153, 16}, true, false, "Untitled", {}},
    {"DSButton", "QPushButton", "", {178, 168, 133, 22}, false, true, "Download Screenshot", {}},
    {"GroupBox1", "GroupBox", "", {15, 169, 160, 24}, true, true, "", {}},
    {"SS3", "RadioButton", "GroupBox1", {100, 172, 30, 20}, true, true, "3", false},
    {"SS4", "RadioButton", "GroupBox1", {142, 172, 32, 20}, true, true, "4", false},
    {"SS1", "RadioButton", "GroupBox1", {22, 172, 27, 20}, true, true, "1", true},
    {"SS2", "RadioButton", "GroupBox1", {61, 172, 34, 20}, true, true, "2", false},
};

QStringList namesOf(const QObjectList& objects) {
  QStringList names;
  for (const QObject* object : objects)
    if (object->isWidgetType()) names.append(object->objectName());
  return names;
}

}  // namespace

TEST_F(WindowTest, FirstDisplayMatchesTheDesign) {
  EXPECT_TRUE(handlersRun.isEmpty())
      << "applying the design ran " << handlersRun.join(", ").toStdString();
  show();
  const QWidget& content = window->contentArea();
  EXPECT_EQ(content.size(), QSize(628, 404));
  EXPECT_EQ(window->windowTitle(), "TELVAR");
  EXPECT_TRUE(window->isVisible());

  for (const DesignRow& row : kDesign) {
    SCOPED_TRACE(row.name);
    auto* control = window->findChild<QWidget*>(QString::fromLatin1(row.name));
    ASSERT_NE(control, nullptr);
    EXPECT_STREQ(control->metaObject()->className(), row.className);
    const QWidget* expected_parent =
        *row.parent ? window->findChild<QWidget*>(QString::fromLatin1(row.parent)) : &content;
    EXPECT_EQ(control->parentWidget(), expected_parent);
    EXPECT_EQ(windowRectOf(control, content), row.rect);
    EXPECT_EQ(control->isEnabled(), row.enabled);
    EXPECT_EQ(control->isVisible(), row.visible);
    EXPECT_EQ(captionOf(control), QString::fromLatin1(row.caption));
    if (row.selected) {
      EXPECT_EQ(qobject_cast<QRadioButton*>(control)->isChecked(), *row.selected);
    }
  }

  EXPECT_EQ(window->Command1.count(), 5);
  QStringList rows;
  for (int i = 0; i < window->Command1.count(); ++i) rows.append(window->Command1.itemText(i));
  EXPECT_EQ(rows,
            (QStringList{"<GETVER>>", "<GETSERIAL>>", "<DSID>>", "<FACTORYRESET>>", "<REBOOT>>"}));
  EXPECT_EQ(window->Command1.currentIndex(), 0);
  EXPECT_EQ(window->SerialPortsPopupMenu.count(), 0);
  EXPECT_EQ(window->SerialPortsPopupMenu.currentIndex(), -1);

  const QScrollBar& scroll = window->ScrollCPS;
  EXPECT_EQ(scroll.orientation(), Qt::Horizontal);
  EXPECT_EQ(scroll.minimum(), 0);
  EXPECT_EQ(scroll.maximum(), 86340);
  EXPECT_EQ(scroll.value(), 86340);
  EXPECT_EQ(scroll.singleStep(), 1);
  EXPECT_EQ(scroll.pageStep(), 20);
  EXPECT_FALSE(scroll.hasTracking());

  EXPECT_EQ(window->DownloadProgressBar.minimum(), 0);
  EXPECT_EQ(window->DownloadProgressBar.maximum(), 100);
  EXPECT_EQ(window->DownloadProgressBar.value(), 0);
  // The console area takes no typing; only the console tick writes it.
  for (const QChar c : QStringLiteral("typed")) {
    QKeyEvent press(QEvent::KeyPress, Qt::Key_unknown, Qt::NoModifier, QString(c));
    QApplication::sendEvent(&window->SerialText, &press);
  }
  EXPECT_EQ(window->SerialText.text(), "");
  EXPECT_TRUE(window->SerialSize.isReadOnly());
  EXPECT_FALSE(window->Command2.isReadOnly());
  EXPECT_EQ(window->Graph.focusPolicy(), Qt::NoFocus);

  // Only the graph's paints ran once the window showed; the design itself ran no handler.
  EXPECT_TRUE(handlersBesidesPaint().isEmpty()) << handlersBesidesPaint().join(", ").toStdString();
  EXPECT_TRUE(handlersRun.contains("Graph_Paint"));
}

TEST_F(WindowTest, ComponentsWithoutAVisualStartAsDesigned) {
  EXPECT_FALSE(window->UART.isOpen());
  EXPECT_TRUE(window->UART.serialPort().location.isEmpty());

  struct TimerRow {
    const char* name;
    const Timer& timer;
    int period;
  };
  for (const TimerRow& row : {TimerRow{"PortListUpdater", window->PortListUpdater, 500},
                              TimerRow{"SerialTimer", window->SerialTimer, 50},
                              TimerRow{"GetCPSTimer", window->GetCPSTimer, 1000},
                              TimerRow{"Timer100ms", window->Timer100ms, 100}}) {
    SCOPED_TRACE(row.name);
    EXPECT_EQ(row.timer.period(), row.period);
    EXPECT_EQ(row.timer.mode(), Timer::kRepeating);
  }
  EXPECT_EQ(window->GetCPS.priority(), 5);
  EXPECT_EQ(window->DHThread.priority(), 20);
  EXPECT_FALSE(window->GetCPS.isRunning());
  EXPECT_FALSE(window->DHThread.isRunning());
}

TEST_F(WindowTest, FieldsStartWithTheirValuesAtCreation) {
  ASSERT_EQ(window->CPS.size(), 86401u);
  EXPECT_TRUE(std::all_of(window->CPS.begin(), window->CPS.end(), [](qint64 v) { return v == 0; }));
  EXPECT_EQ(window->CPMStart, 86340);
  EXPECT_FALSE(window->GetCPSThreadRunning);
  EXPECT_FALSE(window->download_started);
  EXPECT_FALSE(window->download_save);
  EXPECT_FALSE(window->download_finished);
  EXPECT_EQ(window->download_progress, 0);
  EXPECT_TRUE(window->Model.isEmpty());
  EXPECT_TRUE(window->TxBuffer.isEmpty());
  EXPECT_FALSE(window->file.has_value());
  EXPECT_FALSE(window->file_bin.has_value());
  EXPECT_EQ(window->fileStream, nullptr);
  EXPECT_EQ(window->binaryStream, nullptr);
}

TEST_F(WindowTest, ControlsStackInCreationOrderAndOverlapsGoToTheLaterOne) {
  EXPECT_EQ(namesOf(window->contentArea().children()),
            (QStringList{"ConnectButton", "SerialPortsPopupMenu", "SerialText", "Command1",
                         "SendCommand1", "Command2", "SendCommand2", "ClearButton", "SerialSize",
                         "Graph", "AsciiHex", "DHButton", "DownloadProgressBar", "SaveButton",
                         "DownloadingLabel", "DSButton", "GroupBox1"}));
  EXPECT_EQ(namesOf(window->Graph.children()), QStringList{"ScrollCPS"});
  EXPECT_EQ(namesOf(window->AsciiHex.children()), (QStringList{"ASCIIButton", "HEXButton"}));
  EXPECT_EQ(namesOf(window->GroupBox1.children()), (QStringList{"SS3", "SS4", "SS1", "SS2"}));

  show();
  const QWidget& content = window->contentArea();
  // A point where the two radio buttons overlap, and one on the strip of the graph the scroll
  // bar covers.
  EXPECT_EQ(content.childAt(400, 170), &window->HEXButton);
  EXPECT_EQ(content.childAt(340, 170), &window->ASCIIButton);
  EXPECT_EQ(content.childAt(300, 376), &window->ScrollCPS);
  EXPECT_EQ(content.childAt(300, 300), &window->Graph);
}

// The caption's ink, and the circle's, of a button drawn on its own: every such pixel must be
// as dark on the window, where other controls and the parent's bounds could hide it.
int hiddenInkOf(QAbstractButton& button, const QImage& window_image, QPoint at) {
  const QImage alone = button.grab().toImage();
  int hidden = 0;
  for (int y = 0; y < alone.height(); ++y)
    for (int x = 0; x < alone.width(); ++x) {
      const QRgb ink = alone.pixel(x, y);
      if (qAlpha(ink) < 200 || qGray(ink) >= 100) continue;
      if (qGray(window_image.pixel(at.x() + x, at.y() + y)) >= 100) ++hidden;
    }
  return hidden;
}

TEST_F(WindowTest, AsciiAndHexShowWholeAndTakeClicksWhereTheyReachPastTheirBox) {
  show();
  QWidget& content = window->contentArea();
  const QImage image = content.grab().toImage();
  for (QAbstractButton* button : {&window->ASCIIButton, &window->HEXButton}) {
    SCOPED_TRACE(button->text().toStdString());
    EXPECT_EQ(hiddenInkOf(*button, image, button->mapTo(&content, QPoint(0, 0))), 0);
  }

  struct Click {
    QPoint at;  // window coordinates
    const QRadioButton* takes;
  };
  const std::vector<Click> clicks = {
      {{425, 170}, &window->HEXButton},    // right of the box, where both buttons lie
      {{400, 182}, &window->HEXButton},    // below the box, where both buttons lie
      {{390, 170}, &window->HEXButton},    // inside the box, where both buttons lie
      {{350, 182}, &window->ASCIIButton},  // below the box, ASCII alone
      {{340, 170}, &window->ASCIIButton},
  };
  for (const Click& click : clicks) {
    SCOPED_TRACE(QStringLiteral("(%1, %2)").arg(click.at.x()).arg(click.at.y()).toStdString());
    RadioButton& other =
        click.takes == &window->HEXButton ? window->ASCIIButton : window->HEXButton;
    other.setChecked(true);
    // Through the window, as a user's click comes: the toolkit finds the control under it.
    QTest::mouseClick(window->windowHandle(), Qt::LeftButton, Qt::NoModifier,
                      content.mapTo(window.get(), click.at));
    EXPECT_TRUE(click.takes->isChecked());
    EXPECT_FALSE(other.isChecked()) << "the two stay one group";
  }
  EXPECT_TRUE(window->SS1.isChecked()) << "the screenshot choice is another group";
}

TEST_F(WindowTest, TabOrderFollowsTheDesign) {
  const std::vector<QWidget*> expected = {&window->ConnectButton, &window->SerialPortsPopupMenu,
                                          &window->SerialText,    &window->Command1,
                                          &window->SendCommand1,  &window->Command2,
                                          &window->SendCommand2,  &window->ClearButton,
                                          &window->SerialSize,    &window->Graph,
                                          &window->ScrollCPS,     &window->AsciiHex,
                                          &window->ASCIIButton,   &window->HEXButton,
                                          &window->DHButton,      &window->DownloadProgressBar,
                                          &window->SaveButton,    &window->DownloadingLabel,
                                          &window->DSButton,      &window->GroupBox1,
                                          &window->SS3,           &window->SS4,
                                          &window->SS1,           &window->SS2};
  const std::set<QWidget*> controls(expected.begin(), expected.end());
  std::vector<QWidget*> chain;
  QWidget* widget = &window->ConnectButton;
  do {
    if (controls.count(widget)) chain.push_back(widget);
    widget = widget->nextInFocusChain();
  } while (widget != &window->ConnectButton && chain.size() <= expected.size());
  EXPECT_EQ(chain, expected);
}

TEST_F(WindowTest, EachGroupBoxIsOneGroupOfRadioButtons) {
  window->SS2.click();
  EXPECT_TRUE(window->SS2.isChecked());
  EXPECT_FALSE(window->SS1.isChecked());
  EXPECT_TRUE(window->ASCIIButton.isChecked());

  window->HEXButton.click();
  EXPECT_TRUE(window->HEXButton.isChecked());
  EXPECT_FALSE(window->ASCIIButton.isChecked());
  EXPECT_TRUE(window->SS2.isChecked());
  EXPECT_FALSE(window->SS3.isChecked() || window->SS4.isChecked() || window->SS1.isChecked());
  EXPECT_TRUE(handlersRun.isEmpty());  // the radio buttons have no handler
}

TEST_F(WindowTest, WindowShowsTheSharedMenuBar) {
  EXPECT_EQ(window->menuWidget(), &MainMenuBar::shared());
}

TEST_F(WindowTest, FirstDisplayIsWrittenAsAnImage) {
  show();
  const QImage image = window->grab().toImage();
  EXPECT_EQ(image.size() / image.devicePixelRatio(), window->size());
  const QString path = QDir(QStringLiteral(TELVAR_BUILD_DIR)).filePath("first-display.png");
  EXPECT_TRUE(image.save(path)) << path.toStdString();
}
