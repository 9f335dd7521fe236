#include "widgets/radio_button.h"

RadioButton::RadioButton(QWidget* parent) : QRadioButton(parent) {}

bool RadioButton::hitButton(const QPoint& pos) const { return rect().contains(pos); }
