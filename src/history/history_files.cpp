#include "history/history_files.h"

#include <QFile>
#include <QStringList>

#include "history/record_decoder.h"
#include "window/file_messages.h"

namespace {

QString leftoverLine(const QString& path, bool whole) {
  return whole ? keptFileLine(path) : removeUnfinishedFile(path);
}

}  // namespace

QString writeHistoryFiles(QFile& dump, QFile& csv, const char* bytes, qint64 n) {
  QString failure;
  bool dump_whole = writeWhole(dump, bytes, n);
  if (!dump_whole)
    failure = fileFailure(QStringLiteral("write"), dump.fileName(), dump.errorString());

  bool csv_whole = false;
  if (dump_whole) {
    const QByteArray text = DecodeHistory(bytes, n);
    csv_whole = writeWhole(csv, text.constData(), text.size());
    if (!csv_whole)
      failure = fileFailure(QStringLiteral("write"), csv.fileName(), csv.errorString());
  }

  if (!closedCleanly(csv) && csv_whole) {
    csv_whole = false;
    failure = fileFailure(QStringLiteral("close"), csv.fileName(), csv.errorString());
  }
  if (!closedCleanly(dump) && dump_whole) {
    dump_whole = false;
    if (failure.isEmpty())
      failure = fileFailure(QStringLiteral("close"), dump.fileName(), dump.errorString());
  }
  if (failure.isEmpty()) return {};

  QStringList lines{failure};
  for (const QString& line :
       {leftoverLine(csv.fileName(), csv_whole), leftoverLine(dump.fileName(), dump_whole)})
    if (!line.isEmpty()) lines.append(line);
  return lines.join(QLatin1Char('\n'));
}
