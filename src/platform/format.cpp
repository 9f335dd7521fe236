#include "platform/format.h"

QString formatTwoDigits(qint64 n) {
  const QString digits = QString::number(n < 0 ? -n : n).rightJustified(2, QLatin1Char('0'));
  return n < 0 ? QLatin1Char('-') + digits : digits;
}
