#include "widgets/canvas.h"

#include <QPaintEvent>
#include <QPainter>

#include "widgets/painter_drawing.h"

Canvas::Canvas(QWidget* parent) : QWidget(parent) {}

void Canvas::paintEvent(QPaintEvent* event) {
  if (!paint) return;
  {
    QPainter painter(this);
    PainterDrawing drawing(painter, size());
    paint(drawing);
  }
  // A paint of part of the surface leaves the rest showing what was there before.
  if (event->region() != QRegion(rect())) drawnContent.clear();
}

void Canvas::resizeEvent(QResizeEvent* event) {
  QWidget::resizeEvent(event);
  if (resized) resized();
}

ContentArea::ContentArea(QSize design_size, QWidget* parent)
    : QWidget(parent), design_size_(design_size) {}

void ContentArea::resizeEvent(QResizeEvent* event) {
  QWidget::resizeEvent(event);
  if (resized) resized();
}
