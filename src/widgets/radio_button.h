#pragma once

#include <QRadioButton>

// A radio button that takes a click anywhere in its rectangle, not only on its circle and
// caption: where two buttons overlap, the one on top takes the whole strip.
class RadioButton final : public QRadioButton {
  Q_OBJECT
 public:
  explicit RadioButton(QWidget* parent = nullptr);

 protected:
  bool hitButton(const QPoint& pos) const override;
};
