#pragma once

#include <QGroupBox>
#include <QRect>

// A group box whose buttons may reach past its frame, as the window design places some. Qt shows
// and hits a child only within its parent, so such a box covers its buttons as well, while its
// frame stays where the design draws it.
class GroupBox final : public QGroupBox {
  Q_OBJECT
 public:
  explicit GroupBox(QWidget* parent = nullptr);

  // Where the frame is drawn, in the box's own coordinates: the whole box unless it was made to
  // cover more than its frame.
  QRect boxRect() const { return box_rect_.isNull() ? rect() : box_rect_; }
  void setBoxRect(const QRect& box_rect);

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  QRect box_rect_;
};
