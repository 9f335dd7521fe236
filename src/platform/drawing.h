#pragma once

#include <QRgb>
#include <QString>

// The few drawing operations the graph uses, in whole-pixel canvas coordinates (origin top-left,
// y downwards). The canvas paints through a QPainter implementation; tests record the calls.
class Drawing {
 public:
  virtual ~Drawing() = default;
  virtual int width() const = 0;
  virtual int height() const = 0;
  // The colour of the lines, fills and texts that follow.
  virtual void setColor(QRgb color) = 0;
  // The text size, in pixels, for the texts that follow.
  virtual void setFontSize(float size) = 0;
  virtual void drawLine(int x1, int y1, int x2, int y2) = 0;
  virtual void fillRectangle(int x, int y, int width, int height) = 0;
  // The text on one line, with its baseline at y.
  virtual void drawText(const QString& text, int x, int y) = 0;
};
