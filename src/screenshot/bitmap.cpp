#include "screenshot/bitmap.h"

#include <cstring>

namespace {

constexpr int kScreenColumns = 128;
constexpr int kScreenRows = 64;
constexpr int kRowsPerPage = 8;
constexpr int kScale = 4;
constexpr int kImageWidth = kScreenColumns * kScale;
constexpr int kImageHeight = kScreenRows * kScale;
constexpr int kBytesPerPixel = 3;
constexpr int kRowBytes = kImageWidth * kBytesPerPixel;  // already a multiple of 4: no padding
constexpr int kHeaderSize = 54;

static_assert(kHeaderSize + kRowBytes * kImageHeight == kScreenBitmapFileSize);
static_assert(kScreenColumns * kScreenRows / 8 == kScreenPictureSize);

// Blue, green, red: the order of a 24-bit bitmap pixel.
constexpr char kSetPixel[kBytesPerPixel] = {45, 45, 45};
constexpr char kClearPixel[kBytesPerPixel] = {static_cast<char>(253), static_cast<char>(200),
                                              static_cast<char>(180)};

void putLittleEndian(char* at, quint32 value, int size) {
  for (int i = 0; i < size; ++i) at[i] = static_cast<char>((value >> (8 * i)) & 0xFF);
}

void writeHeaders(char* file) {
  std::memset(file, 0, kHeaderSize);
  file[0] = 'B';
  file[1] = 'M';
  putLittleEndian(file + 2, kScreenBitmapFileSize, 4);
  putLittleEndian(file + 10, kHeaderSize, 4);
  putLittleEndian(file + 14, 40, 4);
  putLittleEndian(file + 18, kImageWidth, 4);
  // Negative: the rows that follow run from the top of the image down.
  putLittleEndian(file + 22, static_cast<quint32>(-kImageHeight), 4);
  putLittleEndian(file + 26, 1, 2);
  putLittleEndian(file + 28, kBytesPerPixel * 8, 2);
}

bool pixelIsSet(const QByteArray& picture, int column, int row) {
  const qsizetype index = qsizetype(row / kRowsPerPage) * kScreenColumns + column;
  if (index >= picture.size()) return false;
  return (static_cast<quint8>(picture[index]) >> (row % kRowsPerPage)) & 1;
}

// One screen row becomes one image row, which is then repeated for the rest of its block.
void writeScreenRow(const QByteArray& picture, int row, char* firstImageRow) {
  char* pixel = firstImageRow;
  for (int column = 0; column < kScreenColumns; ++column) {
    const char* colour = pixelIsSet(picture, column, row) ? kSetPixel : kClearPixel;
    for (int i = 0; i < kScale; ++i, pixel += kBytesPerPixel)
      std::memcpy(pixel, colour, kBytesPerPixel);
  }
  for (int j = 1; j < kScale; ++j)
    std::memcpy(firstImageRow + j * kRowBytes, firstImageRow, kRowBytes);
}

}  // namespace

QByteArray PictureToBitmap(const QByteArray& picture) {
  QByteArray file(kScreenBitmapFileSize, Qt::Uninitialized);
  char* bytes = file.data();
  writeHeaders(bytes);
  for (int row = 0; row < kScreenRows; ++row)
    writeScreenRow(picture, row, bytes + kHeaderSize + qsizetype(row) * kScale * kRowBytes);
  return file;
}
