#pragma once

#include <QRgb>
#include <QString>
#include <vector>

#include "platform/drawing.h"

// A canvas that draws nothing and remembers every call, with the colour and font size in force
// when it was made, so tests can check a drawing operation by operation.
class RecordingDrawing final : public Drawing {
 public:
  enum class Kind { SetColor, SetFontSize, Line, Fill, Text };

  struct Operation {
    Kind kind;
    QRgb color;       // in force after the call
    float font_size;  // in force after the call
    // Line: x1, y1, x2, y2. Fill: x, y, width, height. Text: x, y (baseline), 0, 0.
    int a = 0, b = 0, c = 0, d = 0;
    QString text;
  };

  // Before any setColor / setFontSize.
  static constexpr QRgb kInitialColor = qRgb(0, 0, 0);
  static constexpr float kInitialFontSize = 0.0f;

  explicit RecordingDrawing(int width = 600, int height = 180);

  void setSize(int width, int height);

  int width() const override { return width_; }
  int height() const override { return height_; }
  void setColor(QRgb color) override;
  void setFontSize(float size) override;
  void drawLine(int x1, int y1, int x2, int y2) override;
  void fillRectangle(int x, int y, int width, int height) override;
  void drawText(const QString& text, int x, int y) override;

  // Every call, in order.
  const std::vector<Operation>& operations() const { return operations_; }
  // Only the calls that put something on the canvas (lines, fills, texts), in order.
  std::vector<Operation> marks() const;
  void clear();

 private:
  void record(Kind kind, int a = 0, int b = 0, int c = 0, int d = 0, const QString& text = {});

  int width_;
  int height_;
  QRgb color_ = kInitialColor;
  float font_size_ = kInitialFontSize;
  std::vector<Operation> operations_;
};
