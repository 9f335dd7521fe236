#pragma once

#include <QAbstractScrollArea>
#include <QClipboard>
#include <QHash>
#include <QString>
#include <QtGlobal>
#include <array>
#include <vector>

class QPainter;

// A read-only, multi-line text area made for a console that only ever grows: appending a chunk
// costs in proportion to the chunk, not to the text already shown, even when the whole text is
// one line of many megabytes. Lines wrap at the viewport width, at any character.
//
// "\n", "\r\n" and a lone "\r" each end a line. Every other character takes one cell: printable
// Latin-1 characters show as themselves (the soft hyphen as "-"), a tab as a blank, and control
// characters, surrogates, combining marks and other unprintable characters as U+FFFD.
//
// Line numbers count visual lines, from 0. The scroll position is the number of the first
// visible line.
class ConsoleTextArea : public QAbstractScrollArea {
  Q_OBJECT

 public:
  explicit ConsoleTextArea(QWidget* parent = nullptr);

  QString text() const { return text_; }
  qsizetype length() const { return text_.size(); }
  // Emits textChanged() once when the text differs from the one shown, and nothing otherwise.
  void setText(const QString& text);
  // Emits textChanged() once unless the chunk is empty.
  void appendText(const QString& chunk);

  // The line holding the text position `pos`; the text's length stands for just past its last
  // character. Positions outside the text are taken as its nearest end.
  int lineNumAtCharPos(qsizetype pos) const;
  int lineCount() const { return static_cast<int>(line_starts_.size()); }

  int scrollPosition() const;
  // Clamped to 0 .. (line count - number of fully visible lines).
  void setScrollPosition(int line);

  bool hasSelectedText() const { return selection_anchor_ != selection_cursor_; }
  QString selectedText() const;

 public slots:
  void copy() const;
  void selectAll();

 signals:
  void textChanged();
  void copyAvailable(bool available);

 protected:
  bool event(QEvent* event) override;
  void paintEvent(QPaintEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  void changeEvent(QEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  void focusInEvent(QFocusEvent* event) override;
  void focusOutEvent(QFocusEvent* event) override;

 private:
  qsizetype lineStart(int line) const { return line_starts_[line]; }
  qsizetype lineEnd(int line) const;
  qsizetype lineContentEnd(int line) const;

  void measureFont();
  qreal wrapWidth() const;
  qreal cellWidth(QChar c) const;
  void wrapFrom(int line);
  void rewrapAll();
  void updateScrollRange();
  int fullyVisibleLineCount() const;

  qsizetype positionAt(QPoint viewport_point) const;
  void setSelection(qsizetype anchor, qsizetype cursor);
  void copySelectionTo(QClipboard::Mode mode) const;

  void paintLine(QPainter& painter, int line, int top, qsizetype selection_start,
                 qsizetype selection_end) const;

  QString text_;
  // Start offset of every visual line; never empty (an empty text has one empty line).
  std::vector<qsizetype> line_starts_{0};

  std::array<qreal, 256> latin1_widths_{};
  mutable QHash<char16_t, qreal> other_widths_;
  int line_height_ = 1;
  int ascent_ = 0;
  qreal wrapped_at_width_ = -1;

  qsizetype selection_anchor_ = 0;
  qsizetype selection_cursor_ = 0;
  bool selecting_ = false;
};
