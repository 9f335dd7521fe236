#include "window/canvas.h"

#include <QPainter>

#include "window/painter_drawing.h"

Canvas::Canvas(QWidget* parent) : QWidget(parent) {}

void Canvas::paintEvent(QPaintEvent*) {
  if (!paint) return;
  QPainter painter(this);
  PainterDrawing drawing(painter, size());
  paint(drawing);
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
