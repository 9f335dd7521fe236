#include "widgets/painter_drawing.h"

#include <QPainter>

PainterDrawing::PainterDrawing(QPainter& painter, QSize size) : painter_(painter), size_(size) {
  setColor(qRgb(0, 0, 0));
}

void PainterDrawing::setColor(QRgb color) {
  // Colours are opaque: whatever alpha the value carries is ignored.
  color_ = QColor(color);
  painter_.setPen(color_);
}

void PainterDrawing::setFontSize(float size) {
  // Sizes are pixels, like every coordinate of the drawing, so the texts keep their place in the
  // layout at any screen resolution.
  const int pixels = qRound(size);
  if (pixels <= 0) return;  // no size: the font keeps the one it has
  QFont font = painter_.font();
  font.setPixelSize(pixels);
  painter_.setFont(font);
}

void PainterDrawing::drawLine(int x1, int y1, int x2, int y2) { painter_.drawLine(x1, y1, x2, y2); }

void PainterDrawing::fillRectangle(int x, int y, int width, int height) {
  painter_.fillRect(x, y, width, height, color_);
}

void PainterDrawing::drawText(const QString& text, int x, int y) { painter_.drawText(x, y, text); }
