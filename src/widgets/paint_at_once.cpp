#include "widgets/paint_at_once.h"

#include <QBackingStore>
#include <QPainter>
#include <QRegion>
#include <QWidget>
#include <QWindow>

// QWidget::repaint() would paint every widget of the window that waits for a paint, the graph's
// handler among them; drawing the control's area straight into the window's backing store
// paints that area alone.
void PaintAtOnce(QWidget& control) {
  if (!control.isVisible()) return;
  QWidget* const top = control.window();
  QBackingStore* const store = top->backingStore();
  QWindow* const window = top->windowHandle();
  if (!store || !window || !window->isExposed()) return;

  const QRegion area(QRect(control.mapTo(top, QPoint(0, 0)), control.size()));
  store->beginPaint(area);
  if (QPaintDevice* const device = store->paintDevice()) {
    QPainter painter(device);
    top->render(&painter, area.boundingRect().topLeft(), area,
                QWidget::DrawWindowBackground | QWidget::DrawChildren);
  }
  store->endPaint();
  store->flush(area, window);
}
