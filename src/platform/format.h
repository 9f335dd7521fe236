#pragma once

#include <QString>
#include <QtGlobal>

// A number in decimal with at least two digits: one leading zero below 10, a longer number
// written whole (a four-digit year, a byte of 100 or more), a minus sign before a negative one.
QString formatTwoDigits(qint64 n);
