#pragma once

#include <QColor>
#include <QSize>

#include "platform/drawing.h"

class QPainter;

// Drawing onto a QPainter, in the painter's pixel coordinates. The colour starts black and the
// font is the painter's.
class PainterDrawing final : public Drawing {
 public:
  PainterDrawing(QPainter& painter, QSize size);

  int width() const override { return size_.width(); }
  int height() const override { return size_.height(); }
  void setColor(QRgb color) override;
  void setFontSize(float size) override;
  void drawLine(int x1, int y1, int x2, int y2) override;
  void fillRectangle(int x, int y, int width, int height) override;
  void drawText(const QString& text, int x, int y) override;

 private:
  QPainter& painter_;
  QSize size_;
  QColor color_;
};
