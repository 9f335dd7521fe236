#include "support/recording_drawing.h"

RecordingDrawing::RecordingDrawing(int width, int height) : width_(width), height_(height) {}

void RecordingDrawing::setSize(int width, int height) {
  width_ = width;
  height_ = height;
}

void RecordingDrawing::setColor(QRgb color) {
  color_ = color;
  record(Kind::SetColor);
}

void RecordingDrawing::setFontSize(float size) {
  font_size_ = size;
  record(Kind::SetFontSize);
}

void RecordingDrawing::drawLine(int x1, int y1, int x2, int y2) {
  record(Kind::Line, x1, y1, x2, y2);
}

void RecordingDrawing::fillRectangle(int x, int y, int width, int height) {
  record(Kind::Fill, x, y, width, height);
}

void RecordingDrawing::drawText(const QString& text, int x, int y) {
  record(Kind::Text, x, y, 0, 0, text);
}

std::vector<RecordingDrawing::Operation> RecordingDrawing::marks() const {
  std::vector<Operation> result;
  for (const Operation& op : operations_) {
    if (op.kind == Kind::Line || op.kind == Kind::Fill || op.kind == Kind::Text)
      result.push_back(op);
  }
  return result;
}

void RecordingDrawing::clear() {
  operations_.clear();
  color_ = kInitialColor;
  font_size_ = kInitialFontSize;
}

void RecordingDrawing::record(Kind kind, int a, int b, int c, int d, const QString& text) {
  operations_.push_back(Operation{kind, color_, font_size_, a, b, c, d, text});
}
