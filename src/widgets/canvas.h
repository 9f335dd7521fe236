#pragma once

#include <QByteArray>
#include <QWidget>
#include <functional>

class Drawing;

// A plain drawing surface: each paint hands a Drawing of the whole surface to its owner. It
// paints no background of its own, so what its owner leaves undrawn shows the window behind.
class Canvas final : public QWidget {
  Q_OBJECT
 public:
  explicit Canvas(QWidget* parent = nullptr);

  // Draws the surface; called from every paint event.
  std::function<void(Drawing&)> paint;
  // Told after every change of size, so the owner can place the children.
  std::function<void()> resized;
  // What the last paint showed, in its owner's words; lets the owner skip a periodic repaint
  // that would show the same again.
  QByteArray drawnContent;

 protected:
  void paintEvent(QPaintEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
};

// The window's content area, where the controls sit. Its preferred size is the design's.
class ContentArea final : public QWidget {
  Q_OBJECT
 public:
  ContentArea(QSize design_size, QWidget* parent = nullptr);

  QSize sizeHint() const override { return design_size_; }

  // Told after every change of size, so the owner can move the controls with their locks.
  std::function<void()> resized;

 protected:
  void resizeEvent(QResizeEvent* event) override;

 private:
  QSize design_size_;
};
