#include "screenshot/bitmap.h"

#include <gtest/gtest.h>

#include <QColor>
#include <QFile>
#include <QImage>
#include <QTemporaryDir>

namespace {

constexpr int kWidth = 512;
constexpr int kHeight = 256;
constexpr int kRowBytes = kWidth * 3;
constexpr int kPixelData = 54;

const QByteArray kDark = QByteArray::fromHex("2D2D2D");
const QByteArray kLight = QByteArray::fromHex("FDC8B4");

QByteArray pictureWith(int index, quint8 value) {
  QByteArray picture(kScreenPictureSize, '\0');
  picture[index] = char(value);
  return picture;
}

QByteArray pixelAt(const QByteArray& file, int x, int y) {
  return file.mid(kPixelData + y * kRowBytes + 3 * x, 3);
}

TEST(PictureToBitmap, HeadersDescribeATopDown512By256TrueColourImage) {
  const QByteArray file = PictureToBitmap(QByteArray(kScreenPictureSize, '\x5A'));
  ASSERT_EQ(file.size(), 393270);
  const QByteArray expected = QByteArray::fromHex(
      "424D 36000600 0000 0000 36000000"
      "28000000 00020000 00FFFFFF 0100 1800 00000000 00000000 00000000 00000000 00000000 00000000");
  ASSERT_EQ(expected.size(), 54);
  EXPECT_EQ(file.left(54).toHex(' '), expected.toHex(' '));
}

TEST(PictureToBitmap, BlankScreenIsLightEverywhere) {
  const QByteArray file = PictureToBitmap(QByteArray(kScreenPictureSize, '\0'));
  ASSERT_EQ(file.size(), 393270);
  EXPECT_EQ(file.mid(kPixelData), kLight.repeated(kWidth * kHeight));
}

TEST(PictureToBitmap, FullScreenIsDarkEverywhere) {
  const QByteArray file = PictureToBitmap(QByteArray(kScreenPictureSize, '\xFF'));
  ASSERT_EQ(file.size(), 393270);
  EXPECT_EQ(file.mid(kPixelData), QByteArray(393216, '\x2D'));
}

struct SingleBit {
  int index;
  quint8 value;
  int column;  // screen pixel that must be dark
  int row;
};

class PictureToBitmapSingleBit : public ::testing::TestWithParam<SingleBit> {};

TEST_P(PictureToBitmapSingleBit, DarkensExactlyItsFourByFourBlock) {
  const SingleBit& bit = GetParam();
  const QByteArray file = PictureToBitmap(pictureWith(bit.index, bit.value));
  ASSERT_EQ(file.size(), 393270);
  int dark = 0;
  for (int y = 0; y < kHeight; ++y) {
    for (int x = 0; x < kWidth; ++x) {
      const bool inBlock = x / 4 == bit.column && y / 4 == bit.row;
      const QByteArray pixel = pixelAt(file, x, y);
      ASSERT_EQ(pixel, inBlock ? kDark : kLight) << "x " << x << " y " << y;
      dark += inBlock;
    }
  }
  EXPECT_EQ(dark, 16);
}

INSTANTIATE_TEST_SUITE_P(PageLayout, PictureToBitmapSingleBit,
                         ::testing::Values(SingleBit{0, 0x01, 0, 0},      // x 0-3, y 0-3
                                           SingleBit{0, 0x80, 0, 7},      // y 28-31
                                           SingleBit{128, 0x01, 0, 8},    // y 32-35
                                           SingleBit{127, 0x01, 127, 0},  // x 508-511
                                           SingleBit{1023, 0x80, 127, 63}));

// The same placements seen as file offsets, independently of pixelAt().
TEST(PictureToBitmap, CornerBlocksSitAtTheEndsOfTheFirstAndLastStoredRows) {
  const QByteArray twelveDark(12, '\x2D');
  const QByteArray first = PictureToBitmap(pictureWith(0, 0x01));
  const QByteArray last = PictureToBitmap(pictureWith(1023, 0x80));
  for (int y = 0; y < 4; ++y) {
    EXPECT_EQ(first.mid(54 + y * 1536, 12), twelveDark) << y;
    EXPECT_EQ(first.mid(54 + y * 1536 + 12, 3), kLight) << y;
  }
  EXPECT_EQ(first.mid(54 + 4 * 1536, 3), kLight);
  for (int y = 252; y < 256; ++y) {
    EXPECT_EQ(last.mid(54 + y * 1536 + 1524, 12), twelveDark) << y;
    EXPECT_EQ(last.mid(54 + y * 1536 + 1521, 3), kLight) << y;
  }
  EXPECT_EQ(last.mid(54 + 251 * 1536 + 1524, 3), kLight);
}

TEST(PictureToBitmap, PictureOfAnotherLengthStillGivesAWholeFile) {
  // Missing bytes are clear pixels; bytes past the picture are ignored.
  const QByteArray blank = PictureToBitmap(QByteArray(kScreenPictureSize, '\0'));
  EXPECT_EQ(PictureToBitmap(QByteArray()), blank);
  EXPECT_EQ(PictureToBitmap(QByteArray(kScreenPictureSize, '\0') + QByteArray(64, '\xFF')), blank);

  QByteArray shortPicture = pictureWith(0, 0x01).left(1);
  EXPECT_EQ(PictureToBitmap(shortPicture), PictureToBitmap(pictureWith(0, 0x01)));
}

TEST(PictureToBitmap, ViewersShowScreenPixelZeroAtTheTopLeft) {
  QTemporaryDir folder;
  ASSERT_TRUE(folder.isValid());
  const QString path = folder.filePath("screen.bmp");
  QFile out(path);
  ASSERT_TRUE(out.open(QIODevice::WriteOnly));
  ASSERT_EQ(out.write(PictureToBitmap(pictureWith(0, 0x01))), 393270);
  out.close();

  const QImage image(path, "BMP");
  ASSERT_FALSE(image.isNull());
  EXPECT_EQ(image.size(), QSize(512, 256));
  EXPECT_EQ(image.pixelColor(0, 0), QColor(45, 45, 45));
  EXPECT_EQ(image.pixelColor(3, 3), QColor(45, 45, 45));
  EXPECT_EQ(image.pixelColor(4, 0), QColor(180, 200, 253));
  EXPECT_EQ(image.pixelColor(0, 4), QColor(180, 200, 253));
  EXPECT_EQ(image.pixelColor(0, 255), QColor(180, 200, 253));
  EXPECT_EQ(image.pixelColor(511, 255), QColor(180, 200, 253));
}

}  // namespace
