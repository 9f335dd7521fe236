#include "widgets/group_box.h"

#include <QStyleOptionGroupBox>
#include <QStylePainter>

GroupBox::GroupBox(QWidget* parent) : QGroupBox(parent) {}

void GroupBox::setBoxRect(const QRect& box_rect) {
  box_rect_ = box_rect;
  update();
}

void GroupBox::paintEvent(QPaintEvent*) {
  QStylePainter painter(this);
  QStyleOptionGroupBox option;
  initStyleOption(&option);
  option.rect = boxRect();
  painter.drawComplexControl(QStyle::CC_GroupBox, option);
}
