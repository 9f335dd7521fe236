#pragma once

#include <QByteArray>
#include <QtGlobal>

// The counter's screen is 128 x 64 one-bit pixels, sent as 1024 bytes in page layout: byte m holds
// column m % 128 of rows 8 * (m / 128) to 8 * (m / 128) + 7, the least significant bit the top
// row. PictureToBitmap returns the complete contents of a 24-bit bitmap file of 512 x 256 pixels,
// each screen pixel a 4 x 4 block, set pixels dark and clear pixels light. The rows are stored top
// row first and the height field says so (it is negative), so any viewer shows the screen the
// right way up.
//
// A picture of another length still gives a whole file: bytes past the 1024th are ignored and
// missing ones are taken as 0 (clear pixels).
inline constexpr qsizetype kScreenPictureSize = 1024;
inline constexpr qsizetype kScreenBitmapFileSize = 393270;

QByteArray PictureToBitmap(const QByteArray& picture);
