#include "widgets/console_text_area.h"

#include <QFocusEvent>
#include <QFontMetricsF>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>
#include <QResizeEvent>
#include <QScrollBar>
#include <QtMath>
#include <algorithm>
#include <cmath>

namespace {

// Space between the frame and the text, on the left, right and top.
constexpr int kMargin = 4;

// Every cell is at least this wide, so a visual line never holds more characters than the
// viewport has pixels, and an append or a paint stays bounded by the viewport's size.
constexpr qreal kMinimumCellWidth = 1.0;

constexpr char16_t kReplacementCharacter = 0xFFFD;

bool IsLineBreak(QChar c) { return c == u'\n' || c == u'\r'; }

// What a cell shows for a character. Characters that would draw as nothing, join their
// neighbours or change the layout of the line are given a visible glyph of their own.
QChar DisplayedChar(QChar c) {
  const char16_t u = c.unicode();
  if (u == u'\t') return u' ';
  if (u < 0x20 || (u >= 0x7F && u <= 0x9F)) return kReplacementCharacter;
  if (u == 0xAD) return u'-';  // a lone soft hyphen is invisible
  if (u < 0x100) return c;
  if (c.isSurrogate() || c.isMark() || !c.isPrint()) return kReplacementCharacter;
  return c;
}

bool IsBlank(QChar shown) { return shown == u' ' || shown == QChar(0xA0); }

}  // namespace

ConsoleTextArea::ConsoleTextArea(QWidget* parent) : QAbstractScrollArea(parent) {
  setFocusPolicy(Qt::StrongFocus);
  setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  // Always on, so the wrapping width does not change when the text first outgrows the view.
  setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  setFrameStyle(QFrame::StyledPanel | QFrame::Sunken);
  QPalette colors = palette();
  colors.setColor(QPalette::Base, Qt::white);
  colors.setColor(QPalette::Text, Qt::black);
  setPalette(colors);
  viewport()->setCursor(Qt::IBeamCursor);
  verticalScrollBar()->setSingleStep(1);
  measureFont();
  rewrapAll();
}

void ConsoleTextArea::setText(const QString& text) {
  if (text == text_) return;
  text_ = text;
  setSelection(0, 0);
  line_starts_.assign(1, 0);
  wrapped_at_width_ = wrapWidth();
  wrapFrom(0);
  updateScrollRange();
  verticalScrollBar()->setValue(0);
  viewport()->update();
  emit textChanged();
}

void ConsoleTextArea::appendText(const QString& chunk) {
  if (chunk.isEmpty()) return;
  const qsizetype old_length = text_.size();
  text_.append(chunk);
  if (wrapWidth() != wrapped_at_width_) {
    rewrapAll();
  } else {
    // Only the line holding the old last character can change: it may gain characters, and a
    // "\r" ending it may become the first half of "\r\n".
    wrapFrom(old_length == 0 ? 0 : lineNumAtCharPos(old_length - 1));
    updateScrollRange();
  }
  viewport()->update();
  emit textChanged();
}

int ConsoleTextArea::lineNumAtCharPos(qsizetype pos) const {
  pos = std::clamp<qsizetype>(pos, 0, text_.size());
  const auto after = std::upper_bound(line_starts_.begin(), line_starts_.end(), pos);
  return static_cast<int>(after - line_starts_.begin()) - 1;
}

int ConsoleTextArea::scrollPosition() const { return verticalScrollBar()->value(); }

void ConsoleTextArea::setScrollPosition(int line) { verticalScrollBar()->setValue(line); }

QString ConsoleTextArea::selectedText() const {
  const qsizetype start = std::min(selection_anchor_, selection_cursor_);
  const qsizetype end = std::max(selection_anchor_, selection_cursor_);
  return text_.mid(start, end - start);
}

void ConsoleTextArea::copy() const {
  if (hasSelectedText()) copySelectionTo(QClipboard::Clipboard);
}

void ConsoleTextArea::selectAll() { setSelection(0, text_.size()); }

qsizetype ConsoleTextArea::lineEnd(int line) const {
  return line + 1 < lineCount() ? line_starts_[line + 1] : text_.size();
}

qsizetype ConsoleTextArea::lineContentEnd(int line) const {
  const qsizetype start = lineStart(line);
  qsizetype end = lineEnd(line);
  if (end > start && text_[end - 1] == u'\n') --end;
  if (end > start && text_[end - 1] == u'\r') --end;
  return end;
}

void ConsoleTextArea::measureFont() {
  const QFontMetricsF metrics(font());
  line_height_ = std::max(1, qCeil(metrics.lineSpacing()));
  ascent_ = qCeil(metrics.ascent());
  for (int code = 0; code < 256; ++code) {
    const QChar c(static_cast<char16_t>(code));
    latin1_widths_[code] =
        IsLineBreak(c) ? 0
                       : std::max(kMinimumCellWidth, metrics.horizontalAdvance(DisplayedChar(c)));
  }
  other_widths_.clear();
}

qreal ConsoleTextArea::wrapWidth() const {
  return std::max<qreal>(viewport()->width() - 2 * kMargin, kMinimumCellWidth);
}

qreal ConsoleTextArea::cellWidth(QChar c) const {
  const char16_t u = c.unicode();
  if (u < 256) return latin1_widths_[u];
  auto cached = other_widths_.constFind(u);
  if (cached != other_widths_.constEnd()) return *cached;
  const qreal width =
      std::max(kMinimumCellWidth, QFontMetricsF(font()).horizontalAdvance(DisplayedChar(c)));
  other_widths_.insert(u, width);
  return width;
}

// Lays out the text anew from the start of `line` to its end; the lines before stay as they are.
void ConsoleTextArea::wrapFrom(int line) {
  line_starts_.resize(line + 1);
  const QChar* chars = text_.constData();
  const qsizetype size = text_.size();
  const qreal width_limit = wrapped_at_width_;
  qsizetype start = line_starts_.back();
  qsizetype pos = start;
  qreal x = 0;
  while (pos < size) {
    const QChar c = chars[pos];
    if (IsLineBreak(c)) {
      ++pos;
      if (c == u'\r' && pos < size && chars[pos] == u'\n') ++pos;
      start = pos;
      line_starts_.push_back(start);
      x = 0;
      continue;
    }
    const qreal width = cellWidth(c);
    if (x + width > width_limit && pos > start) {
      start = pos;
      line_starts_.push_back(start);
      x = 0;
    }
    x += width;
    ++pos;
  }
}

void ConsoleTextArea::rewrapAll() {
  const qsizetype first_visible_offset = lineStart(std::min(scrollPosition(), lineCount() - 1));
  line_starts_.assign(1, 0);
  wrapped_at_width_ = wrapWidth();
  wrapFrom(0);
  updateScrollRange();
  setScrollPosition(lineNumAtCharPos(first_visible_offset));
}

int ConsoleTextArea::fullyVisibleLineCount() const {
  return std::max(1, (viewport()->height() - kMargin) / line_height_);
}

void ConsoleTextArea::updateScrollRange() {
  const int visible = fullyVisibleLineCount();
  QScrollBar* bar = verticalScrollBar();
  bar->setPageStep(visible);
  bar->setRange(0, std::max(0, lineCount() - visible));
}

qsizetype ConsoleTextArea::positionAt(QPoint viewport_point) const {
  const int row = static_cast<int>(std::floor(qreal(viewport_point.y() - kMargin) / line_height_));
  const int line = std::clamp(scrollPosition() + row, 0, lineCount() - 1);
  const qsizetype end = lineContentEnd(line);
  qreal x = kMargin;
  for (qsizetype pos = lineStart(line); pos < end; ++pos) {
    const qreal width = cellWidth(text_[pos]);
    if (viewport_point.x() < x + width / 2) return pos;
    x += width;
  }
  return end;
}

void ConsoleTextArea::setSelection(qsizetype anchor, qsizetype cursor) {
  anchor = std::clamp<qsizetype>(anchor, 0, text_.size());
  cursor = std::clamp<qsizetype>(cursor, 0, text_.size());
  if (anchor == selection_anchor_ && cursor == selection_cursor_) return;
  const bool had_selection = hasSelectedText();
  selection_anchor_ = anchor;
  selection_cursor_ = cursor;
  viewport()->update();
  if (hasSelectedText() != had_selection) emit copyAvailable(hasSelectedText());
}

void ConsoleTextArea::copySelectionTo(QClipboard::Mode mode) const {
  QGuiApplication::clipboard()->setText(selectedText(), mode);
}

bool ConsoleTextArea::event(QEvent* event) {
  // Take Copy and Select All before a window shortcut with the same keys does.
  if (event->type() == QEvent::ShortcutOverride) {
    auto* key = static_cast<QKeyEvent*>(event);
    if (key->matches(QKeySequence::Copy) || key->matches(QKeySequence::SelectAll)) {
      event->accept();
      return true;
    }
  }
  return QAbstractScrollArea::event(event);
}

void ConsoleTextArea::paintEvent(QPaintEvent* event) {
  QPainter painter(viewport());
  painter.fillRect(event->rect(), Qt::white);
  painter.setFont(font());
  // The selection is hidden while another control has the focus.
  const bool show_selection = hasFocus() && hasSelectedText();
  const qsizetype selection_start =
      show_selection ? std::min(selection_anchor_, selection_cursor_) : 0;
  const qsizetype selection_end =
      show_selection ? std::max(selection_anchor_, selection_cursor_) : 0;
  const int bottom = std::min(viewport()->height(), event->rect().bottom() + 1);
  for (int line = scrollPosition(), top = kMargin; line < lineCount() && top < bottom;
       ++line, top += line_height_) {
    if (top + line_height_ <= event->rect().top()) continue;
    paintLine(painter, line, top, selection_start, selection_end);
  }
}

void ConsoleTextArea::paintLine(QPainter& painter, int line, int top, qsizetype selection_start,
                                qsizetype selection_end) const {
  const QColor highlight = palette().color(QPalette::Highlight);
  const QColor highlighted_text = palette().color(QPalette::HighlightedText);
  const qsizetype end = lineContentEnd(line);
  const int baseline = top + ascent_;
  qreal x = kMargin;
  // One glyph at a time at its own cell, so what is drawn lines up exactly with the cells that
  // wrapping and mouse selection measure.
  for (qsizetype pos = lineStart(line); pos < end; ++pos) {
    const QChar c = text_[pos];
    const qreal width = cellWidth(c);
    const bool selected = pos >= selection_start && pos < selection_end;
    if (selected) painter.fillRect(QRectF(x, top, width, line_height_), highlight);
    const QChar shown = DisplayedChar(c);
    if (!IsBlank(shown)) {
      painter.setPen(selected ? highlighted_text : QColor(Qt::black));
      painter.drawText(QPointF(x, baseline), QString(shown));
    }
    x += width;
  }
}

void ConsoleTextArea::resizeEvent(QResizeEvent* event) {
  QAbstractScrollArea::resizeEvent(event);
  if (wrapWidth() != wrapped_at_width_) {
    rewrapAll();
  } else {
    updateScrollRange();
  }
}

void ConsoleTextArea::changeEvent(QEvent* event) {
  QAbstractScrollArea::changeEvent(event);
  if (event->type() == QEvent::FontChange) {
    measureFont();
    rewrapAll();
    viewport()->update();
  }
}

void ConsoleTextArea::keyPressEvent(QKeyEvent* event) {
  if (event->matches(QKeySequence::Copy)) {
    copy();
  } else if (event->matches(QKeySequence::SelectAll)) {
    selectAll();
  } else if (event->matches(QKeySequence::MoveToStartOfDocument)) {
    setScrollPosition(0);
  } else if (event->matches(QKeySequence::MoveToEndOfDocument)) {
    setScrollPosition(verticalScrollBar()->maximum());
  } else {
    QAbstractScrollArea::keyPressEvent(event);
    return;
  }
  event->accept();
}

void ConsoleTextArea::mousePressEvent(QMouseEvent* event) {
  if (event->button() != Qt::LeftButton) {
    QAbstractScrollArea::mousePressEvent(event);
    return;
  }
  const qsizetype pos = positionAt(event->position().toPoint());
  const bool extend = event->modifiers() & Qt::ShiftModifier;
  setSelection(extend ? selection_anchor_ : pos, pos);
  selecting_ = true;
  event->accept();
}

void ConsoleTextArea::mouseMoveEvent(QMouseEvent* event) {
  if (!selecting_) {
    QAbstractScrollArea::mouseMoveEvent(event);
    return;
  }
  // Dragging past the top or bottom edge scrolls a line per move, so a selection can reach
  // beyond what is shown.
  const QPoint point = event->position().toPoint();
  if (point.y() < 0) setScrollPosition(scrollPosition() - 1);
  if (point.y() >= viewport()->height()) setScrollPosition(scrollPosition() + 1);
  const QPoint inside(point.x(), std::clamp(point.y(), 0, std::max(0, viewport()->height() - 1)));
  setSelection(selection_anchor_, positionAt(inside));
  event->accept();
}

void ConsoleTextArea::mouseReleaseEvent(QMouseEvent* event) {
  if (event->button() != Qt::LeftButton || !selecting_) {
    QAbstractScrollArea::mouseReleaseEvent(event);
    return;
  }
  selecting_ = false;
  if (hasSelectedText() && QGuiApplication::clipboard()->supportsSelection()) {
    copySelectionTo(QClipboard::Selection);
  }
  event->accept();
}

void ConsoleTextArea::focusInEvent(QFocusEvent* event) {
  QAbstractScrollArea::focusInEvent(event);
  viewport()->update();
}

void ConsoleTextArea::focusOutEvent(QFocusEvent* event) {
  QAbstractScrollArea::focusOutEvent(event);
  viewport()->update();
}
