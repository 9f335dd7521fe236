#include "history/history_files.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include "history/record_decoder.h"

namespace {

QString shown(const QString& path) { return QDir::toNativeSeparators(path); }

// A write that stops short says why only when asked to go on, and a buffered write can fail at
// the flush as well.
bool writeWhole(QFile& file, const char* bytes, qint64 n) {
  for (qint64 done = 0; done < n;) {
    const qint64 wrote = file.write(bytes + done, n - done);
    if (wrote <= 0) return false;
    done += wrote;
  }
  return file.flush();
}

// Closing flushes once more and may still fail; a file whose close failed is not complete.
bool closedCleanly(QFile& file) {
  file.close();
  return file.error() == QFileDevice::NoError;
}

QString leftoverLine(const QString& path, bool whole) {
  return whole ? keptHistoryFileLine(path) : removeUnfinishedHistoryFile(path);
}

}  // namespace

QString historyFileFailure(const QString& action, const QString& path, const QString& reason) {
  return QStringLiteral("Could not %1 %2: %3.").arg(action, shown(path), reason);
}

bool historyFileExists(const QString& path) {
  const QFileInfo info(path);
  return info.exists() || info.isSymLink();
}

QString removeUnfinishedHistoryFile(const QString& path) {
  if (!historyFileExists(path)) return {};
  // A fresh handle: the writer's own may hold the error of a failed close, and QFile will not
  // remove a file whose close failed.
  QFile unfinished(path);
  if (unfinished.remove())
    return QStringLiteral("Removed the unfinished file %1.").arg(shown(path));
  return QStringLiteral("Could not remove the unfinished file %1: %2.")
      .arg(shown(path), unfinished.errorString());
}

QString keptHistoryFileLine(const QString& path) {
  return QStringLiteral("Kept %1: it was written whole.").arg(shown(path));
}

QString writeHistoryFiles(QFile& dump, QFile& csv, const char* bytes, qint64 n) {
  QString failure;
  bool dump_whole = writeWhole(dump, bytes, n);
  if (!dump_whole)
    failure = historyFileFailure(QStringLiteral("write"), dump.fileName(), dump.errorString());

  bool csv_whole = false;
  if (dump_whole) {
    const QByteArray text = DecodeHistory(bytes, n);
    csv_whole = writeWhole(csv, text.constData(), text.size());
    if (!csv_whole)
      failure = historyFileFailure(QStringLiteral("write"), csv.fileName(), csv.errorString());
  }

  if (!closedCleanly(csv) && csv_whole) {
    csv_whole = false;
    failure = historyFileFailure(QStringLiteral("close"), csv.fileName(), csv.errorString());
  }
  if (!closedCleanly(dump) && dump_whole) {
    dump_whole = false;
    if (failure.isEmpty())
      failure = historyFileFailure(QStringLiteral("close"), dump.fileName(), dump.errorString());
  }
  if (failure.isEmpty()) return {};

  QStringList lines{failure};
  for (const QString& line :
       {leftoverLine(csv.fileName(), csv_whole), leftoverLine(dump.fileName(), dump_whole)})
    if (!line.isEmpty()) lines.append(line);
  return lines.join(QLatin1Char('\n'));
}
