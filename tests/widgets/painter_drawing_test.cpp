#include "widgets/painter_drawing.h"

#include <gtest/gtest.h>

#include <QImage>
#include <QPainter>

namespace {

struct PainterDrawingTest : ::testing::Test {
  QImage image{40, 30, QImage::Format_RGB32};
  PainterDrawingTest() { image.fill(Qt::white); }

  int countOf(QRgb color, QRect area) const {
    int n = 0;
    for (int y = area.top(); y <= area.bottom(); ++y)
      for (int x = area.left(); x <= area.right(); ++x)
        n += qRgb(qRed(image.pixel(x, y)), qGreen(image.pixel(x, y)), qBlue(image.pixel(x, y))) ==
             color;
    return n;
  }
};

}  // namespace

TEST_F(PainterDrawingTest, FillsAndLinesLandOnWholePixels) {
  {
    QPainter painter(&image);
    PainterDrawing drawing(painter, image.size());
    EXPECT_EQ(drawing.width(), 40);
    EXPECT_EQ(drawing.height(), 30);
    drawing.setColor(qRgb(255, 0, 0));
    drawing.fillRectangle(2, 3, 4, 5);
    drawing.setColor(qRgb(0, 0, 255));
    drawing.drawLine(0, 29, 39, 29);
    drawing.setColor(0x0000ff00u);  // no alpha given: still opaque green
    drawing.drawLine(39, 0, 39, 10);
  }
  EXPECT_EQ(countOf(qRgb(255, 0, 0), image.rect()), 20);
  EXPECT_EQ(countOf(qRgb(255, 0, 0), QRect(2, 3, 4, 5)), 20);
  EXPECT_EQ(countOf(qRgb(0, 0, 255), QRect(0, 29, 40, 1)), 40);
  EXPECT_EQ(countOf(qRgb(0, 255, 0), QRect(39, 0, 1, 11)), 11);
}

TEST_F(PainterDrawingTest, TextStandsOnItsBaseline) {
  {
    QPainter painter(&image);
    PainterDrawing drawing(painter, image.size());
    drawing.setFontSize(14);
    drawing.drawText("EH", 2, 20);
  }
  auto inked = [&](QRect area) {
    int n = 0;
    for (int y = area.top(); y <= area.bottom(); ++y)
      for (int x = area.left(); x <= area.right(); ++x) n += qGray(image.pixel(x, y)) < 128;
    return n;
  };
  EXPECT_GT(inked(QRect(0, 0, 40, 21)), 20);
  EXPECT_EQ(inked(QRect(0, 21, 40, 9)), 0);  // capitals have nothing below the baseline
}
