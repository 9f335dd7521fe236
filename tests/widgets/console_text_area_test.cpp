#include "widgets/console_text_area.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QClipboard>
#include <QFont>
#include <QImage>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QScrollBar>
#include <algorithm>
#include <memory>
#include <vector>

namespace {

constexpr int kWidth = 285;
constexpr int kHeight = 137;

// How the console shows a chunk of received bytes.
QString Ascii(const QByteArray& bytes) { return QString::fromLatin1(bytes); }

QString Hex(const QByteArray& bytes) {
  QString hex;
  for (char byte : bytes) hex += QString::asprintf("%02X ", static_cast<unsigned char>(byte));
  return hex;
}

QByteArray Bytes(int count, int seed) {
  QByteArray bytes;
  for (int i = 0; i < count; ++i) bytes.append(static_cast<char>((i * 37 + seed) & 0xFF));
  return bytes;
}

std::unique_ptr<ConsoleTextArea> ShownArea(int width = kWidth, int height = kHeight) {
  auto area = std::make_unique<ConsoleTextArea>();
  area->resize(width, height);
  area->show();
  return area;
}

void CountTextChanges(ConsoleTextArea& area, int* changes) {
  *changes = 0;
  QObject::connect(&area, &ConsoleTextArea::textChanged, [changes] { ++*changes; });
}

// Two areas of the same size show the same thing when every text position sits on the same
// line and the scroll range is the same.
void ExpectSameLayout(const ConsoleTextArea& actual, const ConsoleTextArea& expected) {
  ASSERT_EQ(actual.text(), expected.text());
  ASSERT_EQ(actual.lineCount(), expected.lineCount());
  for (qsizetype pos = 0; pos <= expected.length(); ++pos) {
    ASSERT_EQ(actual.lineNumAtCharPos(pos), expected.lineNumAtCharPos(pos)) << "position " << pos;
  }
  EXPECT_EQ(actual.verticalScrollBar()->maximum(), expected.verticalScrollBar()->maximum());
}

struct AppendCase {
  const char* name;
  std::vector<QString> chunks;
};

std::vector<AppendCase> AppendCases() {
  std::vector<AppendCase> cases;
  cases.push_back(
      {"ascii lines with CR LF, CR and LF split across chunks",
       {Ascii("<GETVER>>"), Ascii("\r\nTELVAR v1"), Ascii(".2\r"), Ascii("\n"),
        Ascii("next\rline\n\n"), Ascii("\r"), Ascii("\r"), Ascii("\n\r\n"), Ascii("tail")}});
  std::vector<QString> hex;
  for (int size : {1, 2, 7, 64, 3, 150, 1, 300, 90}) hex.push_back(Hex(Bytes(size, size)));
  cases.push_back({"one long hex line that wraps", hex});
  cases.push_back(
      {"mixed ascii, hex, wide and narrow runs, control and high bytes",
       {Ascii("iiiiiiiiiiiiiiiiiiiiiiiiiiiiiiiiiiiiiiiiiiiiiiiiiiiiiiiiiiiiiiiiiiiiiiii"),
        Ascii("WWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWW\r"), Ascii("\n") + Hex(Bytes(40, 3)),
        Ascii(QByteArray("\x00\x01\x1b\x7f", 4)), Ascii(Bytes(256, 0)), Ascii("\t tab\r\n"),
        Hex(Bytes(120, 9)), Ascii("\n")}});
  return cases;
}

TEST(ConsoleTextAreaTest, AppendingChunksEqualsSettingTheWholeTextAnew) {
  for (const AppendCase& c : AppendCases()) {
    SCOPED_TRACE(c.name);
    auto appended = ShownArea();
    auto rebuilt = ShownArea();
    int changes = 0;
    CountTextChanges(*appended, &changes);
    QString whole;
    for (const QString& chunk : c.chunks) {
      whole += chunk;
      appended->appendText(chunk);
      rebuilt->setText(whole);
      ExpectSameLayout(*appended, *rebuilt);
      if (HasFatalFailure()) return;
    }
    EXPECT_EQ(changes, static_cast<int>(c.chunks.size()));
    appended->setScrollPosition(1 << 30);
    rebuilt->setScrollPosition(1 << 30);
    EXPECT_EQ(appended->scrollPosition(), rebuilt->scrollPosition());
  }
}

TEST(ConsoleTextAreaTest, LongHexTextWrapsIntoManyLines) {
  auto area = ShownArea();
  area->appendText(Hex(Bytes(600, 1)));
  EXPECT_GT(area->lineCount(), 20);
  EXPECT_EQ(area->lineNumAtCharPos(0), 0);
  EXPECT_EQ(area->lineNumAtCharPos(area->length()), area->lineCount() - 1);
}

TEST(ConsoleTextAreaTest, TextChangedRunsOncePerChangeAndNeverWithoutOne) {
  auto area = ShownArea();
  int changes = 0;
  CountTextChanges(*area, &changes);

  area->setText("");
  area->appendText("");
  EXPECT_EQ(changes, 0) << "an empty area set to empty text or given an empty chunk is unchanged";

  area->appendText("31 32 ");
  EXPECT_EQ(changes, 1);
  area->appendText("33 ");
  EXPECT_EQ(changes, 2);
  EXPECT_EQ(area->text(), "31 32 33 ");

  area->setText("31 32 33 ");
  area->appendText("");
  EXPECT_EQ(changes, 2);

  area->setText("other");
  EXPECT_EQ(changes, 3);
  area->setText("");
  EXPECT_EQ(changes, 4);
  EXPECT_EQ(area->length(), 0);
  EXPECT_EQ(area->lineCount(), 1);
}

TEST(ConsoleTextAreaTest, LineOfTheEndOfTheText) {
  struct Case {
    QString text;
    int line;
  };
  const std::vector<Case> cases = {
      {"", 0},
      {"one line, no break", 0},
      {"a\nb\nc\nd", 3},
      {"a\r\nb\r\nc\r\n", 3},
      {"a\rb\rc\rd\re\rf\rg", 6},
      {"a\r\n\r\n\n\r\r\n\n", 6},
      {"0\n1\r2\r\n3\n4\r5\r\n6\n7", 7},
      {"a\nb\nc\nd\ne\nf\ng\nh\ni\nj\nk", 10},
      {"\n\n\n\n\n\n\n\n\n\n", 10},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text.toStdString());
    auto area = ShownArea();
    area->setText(c.text);
    EXPECT_EQ(area->lineNumAtCharPos(area->length()), c.line);
    EXPECT_EQ(area->lineNumAtCharPos(area->length() + 5), c.line);
    EXPECT_EQ(area->lineNumAtCharPos(-1), 0);
  }
}

TEST(ConsoleTextAreaTest, PositionsBelongToTheLineTheyAreShownOn) {
  auto area = ShownArea();
  area->setText("ab\r\ncd\r\ref");
  const std::vector<int> expected = {0, 0, 0, 0, 1, 1, 1, 2, 3, 3, 3};
  ASSERT_EQ(area->length() + 1, static_cast<qsizetype>(expected.size()));
  for (qsizetype pos = 0; pos <= area->length(); ++pos) {
    EXPECT_EQ(area->lineNumAtCharPos(pos), expected[pos]) << "position " << pos;
  }
}

TEST(ConsoleTextAreaTest, ScrollPositionIsClampedToShowTheLastLineAtTheBottom) {
  auto area = ShownArea();
  QString text;
  for (int i = 0; i < 30; ++i) text += QString::number(i) + "\n";
  area->setText(text);
  ASSERT_EQ(area->lineCount(), 31);
  const int last_first_line = area->verticalScrollBar()->maximum();
  // The console scrolls to (last line - 6) and expects that last line to be in view.
  EXPECT_LE(last_first_line, 30 - 6);
  EXPECT_GT(last_first_line, 0);

  area->setScrollPosition(12);
  EXPECT_EQ(area->scrollPosition(), 12);
  area->setScrollPosition(-3);
  EXPECT_EQ(area->scrollPosition(), 0);
  area->setScrollPosition(31);
  EXPECT_EQ(area->scrollPosition(), last_first_line);

  area->setText("a\nb\nc\nd");
  EXPECT_EQ(area->scrollPosition(), 0);
  area->setScrollPosition(3);
  EXPECT_EQ(area->scrollPosition(), 0) << "four lines fit, so there is nothing to scroll";
}

void SendMouse(QWidget* viewport, QEvent::Type type, QPoint at, Qt::MouseButtons buttons) {
  QMouseEvent event(type, QPointF(at), QPointF(viewport->mapToGlobal(at)), Qt::LeftButton, buttons,
                    Qt::NoModifier);
  QApplication::sendEvent(viewport, &event);
}

void Drag(ConsoleTextArea& area, QPoint from, QPoint to) {
  QWidget* viewport = area.viewport();
  SendMouse(viewport, QEvent::MouseButtonPress, from, Qt::LeftButton);
  SendMouse(viewport, QEvent::MouseMove, to, Qt::LeftButton);
  SendMouse(viewport, QEvent::MouseButtonRelease, to, Qt::NoButton);
}

void SendKey(QWidget* widget, int key, Qt::KeyboardModifiers modifiers) {
  QKeyEvent press(QEvent::KeyPress, key, modifiers);
  QApplication::sendEvent(widget, &press);
}

TEST(ConsoleTextAreaTest, MouseSelectionIsCopiedToTheClipboard) {
  auto area = ShownArea();
  area->setText("alpha\r\nbeta");
  std::vector<bool> available;
  QObject::connect(area.get(), &ConsoleTextArea::copyAvailable,
                   [&available](bool yes) { available.push_back(yes); });
  const int right = area->viewport()->width() - 1;
  const int bottom = area->viewport()->height() - 2;

  Drag(*area, {1, 6}, {right, 6});
  ASSERT_TRUE(area->hasSelectedText());
  EXPECT_EQ(area->selectedText(), "alpha");
  area->copy();
  EXPECT_EQ(QApplication::clipboard()->text(), "alpha");

  Drag(*area, {1, 6}, {right, bottom});
  EXPECT_EQ(area->selectedText(), "alpha\r\nbeta");
  SendKey(area.get(), Qt::Key_C, Qt::ControlModifier);
  EXPECT_EQ(QApplication::clipboard()->text(), "alpha\r\nbeta");

  Drag(*area, {right, bottom}, {right, bottom});
  EXPECT_FALSE(area->hasSelectedText());
  area->copy();
  EXPECT_EQ(QApplication::clipboard()->text(), "alpha\r\nbeta")
      << "nothing selected, nothing copied";

  EXPECT_EQ(available, (std::vector<bool>{true, false, true, false}))
      << "a press starts a new, empty selection";
}

TEST(ConsoleTextAreaTest, SelectAllCopiesTheWholeText) {
  const QString text = Ascii("first\r\n") + Ascii(Bytes(256, 0)) + Hex(Bytes(100, 5));
  auto area = ShownArea();
  area->setText(text);
  area->selectAll();
  area->copy();
  EXPECT_EQ(QApplication::clipboard()->text(), text);

  QApplication::clipboard()->clear();
  area->setText("by keys");
  EXPECT_FALSE(area->hasSelectedText()) << "a new text drops the selection";
  SendKey(area.get(), Qt::Key_A, Qt::ControlModifier);
  SendKey(area.get(), Qt::Key_C, Qt::ControlModifier);
  EXPECT_EQ(QApplication::clipboard()->text(), "by keys");

  area->appendText(" and more");
  EXPECT_EQ(area->selectedText(), "by keys") << "an append keeps the selection where it was";
}

TEST(ConsoleTextAreaTest, CopyAndSelectAllKeysWinOverWindowShortcuts) {
  auto area = ShownArea();
  for (const QKeySequence::StandardKey key : {QKeySequence::Copy, QKeySequence::SelectAll}) {
    const QKeyCombination combination = QKeySequence(key)[0];
    QKeyEvent override(QEvent::ShortcutOverride, combination.key(),
                       combination.keyboardModifiers());
    override.ignore();
    QApplication::sendEvent(area.get(), &override);
    EXPECT_TRUE(override.isAccepted());
  }
}

qsizetype FirstPositionOfLine(const ConsoleTextArea& area, int line) {
  qsizetype pos = 0;
  while (area.lineNumAtCharPos(pos) < line) ++pos;
  return pos;
}

TEST(ConsoleTextAreaTest, ResizeWrapsAnewAsAFreshAreaOfThatSize) {
  const QString text =
      Ascii("header line\r\n") + Hex(Bytes(500, 2)) + Ascii("\r\nend\n") + Ascii(Bytes(256, 0));
  const QString more = Hex(Bytes(33, 7));
  auto area = ShownArea();
  area->setText(text);
  const int lines_at_start = area->lineCount();
  area->setScrollPosition(20);

  struct Size {
    int width;
    int height;
  };
  for (const Size size : {Size{420, kHeight}, Size{180, 300}, Size{kWidth, kHeight}}) {
    SCOPED_TRACE(size.width);
    const qsizetype first_shown = FirstPositionOfLine(*area, area->scrollPosition());
    area->resize(size.width, size.height);
    auto fresh = ShownArea(size.width, size.height);
    fresh->setText(area->text());
    ExpectSameLayout(*area, *fresh);
    EXPECT_EQ(area->scrollPosition(),
              std::min(area->lineNumAtCharPos(first_shown), area->verticalScrollBar()->maximum()))
        << "what was shown at the top stays there";
  }
  EXPECT_EQ(area->lineCount(), lines_at_start);

  area->resize(200, kHeight);
  area->appendText(more);
  auto fresh = ShownArea(200, kHeight);
  fresh->setText(text + more);
  ExpectSameLayout(*area, *fresh);
}

TEST(ConsoleTextAreaTest, TextSetWhileHiddenIsWrappedAnewWhenShown) {
  ConsoleTextArea area;
  area.appendText(Hex(Bytes(300, 4)));
  area.resize(kWidth, kHeight);
  area.show();
  auto fresh = ShownArea();
  fresh->setText(Hex(Bytes(300, 4)));
  ExpectSameLayout(area, *fresh);
}

TEST(ConsoleTextAreaTest, FontChangeWrapsAnew) {
  const QString text = Hex(Bytes(400, 8)) + "\nend";
  auto area = ShownArea();
  area->setText(text);
  const int lines_before = area->lineCount();
  QFont larger = area->font();
  larger.setPointSizeF(larger.pointSizeF() * 2);
  area->setFont(larger);
  EXPECT_GT(area->lineCount(), lines_before);

  auto fresh = ShownArea();
  fresh->setFont(larger);
  fresh->setText(text);
  ExpectSameLayout(*area, *fresh);
}

bool HasInk(const QImage& image, const QImage& blank) { return image != blank; }

TEST(ConsoleTextAreaTest, EveryCharacterIsDrawnSafelyAndVisibly) {
  auto area = ShownArea();
  const QImage blank = area->grab().toImage();
  ASSERT_FALSE(blank.isNull());

  // Every byte the console may show, alone: all but the blanks and the line breaks leave ink.
  for (int code = 0; code < 256; ++code) {
    const QChar c(static_cast<char16_t>(code));
    area->setText(QString(c));
    const bool blank_expected =
        c == u' ' || c == u'\t' || c == QChar(0xA0) || c == u'\n' || c == u'\r';
    EXPECT_EQ(HasInk(area->grab().toImage(), blank), !blank_expected) << "byte " << code;
  }

  // Characters a Latin-1 console never makes still draw without harm.
  QString others = Ascii(Bytes(256, 0));
  for (char16_t u : {char16_t(0xD800), char16_t(0xDC00), char16_t(0xD83D), char16_t(0xDE00),
                     char16_t(0x0301), char16_t(0x05D0), char16_t(0x200B), char16_t(0x2028),
                     char16_t(0x202E), char16_t(0xFEFF), char16_t(0xFFFF), char16_t(0x4E2D)}) {
    others += QChar(u);
  }
  area->setText(others.repeated(3));
  area->setFocus();
  area->selectAll();
  EXPECT_TRUE(HasInk(area->grab().toImage(), blank));
  area->setScrollPosition(area->verticalScrollBar()->maximum());
  EXPECT_TRUE(HasInk(area->grab().toImage(), blank));
}

}  // namespace
