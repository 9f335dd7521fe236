#include "platform/file_writing.h"

#include <QDir>
#include <QFileInfo>

namespace {

QString shown(const QString& path) { return QDir::toNativeSeparators(path); }

}  // namespace

QString fileFailure(const QString& action, const QString& path, const QString& reason) {
  return QStringLiteral("Could not %1 %2: %3.").arg(action, shown(path), reason);
}

bool fileExists(const QString& path) {
  const QFileInfo info(path);
  return info.exists() || info.isSymLink();
}

std::optional<QString> deleteExistingFile(const QString& path) {
  if (!fileExists(path)) return std::nullopt;
  QFile existing(path);
  if (existing.remove()) return std::nullopt;
  return fileFailure(QStringLiteral("delete"), path, existing.errorString());
}

std::unique_ptr<QFile> createNewFile(const QString& path, QString& failure) {
  auto created = std::make_unique<QFile>(path);
  if (created->open(QIODevice::WriteOnly | QIODevice::NewOnly | QIODevice::Unbuffered))
    return created;
  failure = fileFailure(QStringLiteral("create"), path, created->errorString());
  return nullptr;
}

// A write that stops short says why only when asked to go on (the first write to reach a size
// limit takes what fits without an error).
bool writeWhole(QFile& file, const char* bytes, qint64 n) {
  for (qint64 done = 0; done < n;) {
    const qint64 wrote = file.write(bytes + done, n - done);
    if (wrote <= 0) return false;
    done += wrote;
  }
  return file.flush();
}

bool closedCleanly(QFile& file) {
  file.close();
  return file.error() == QFileDevice::NoError;
}

QString removeUnfinishedFile(const QString& path) {
  if (!fileExists(path)) return {};
  // A fresh handle: the writer's own may hold the error of a failed write or close, and QFile
  // will not remove a file through a handle whose close failed.
  QFile unfinished(path);
  if (unfinished.remove())
    return QStringLiteral("Removed the unfinished file %1.").arg(shown(path));
  return fileFailure(QStringLiteral("remove the unfinished file"), path, unfinished.errorString());
}

QString keptFileLine(const QString& path) {
  return QStringLiteral("Kept %1: it was written whole.").arg(shown(path));
}
