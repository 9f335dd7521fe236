#include "window/file_messages.h"

#include <QDir>

namespace {

QString shown(const QString& path) { return QDir::toNativeSeparators(path); }

// Removing a file in the way of a new one is deleting it to the user; the removal of an
// unfinished file has words of its own.
QString failureText(const FileFailure& failure) {
  const QString action = failure.action == FileFailure::Action::Create ? QStringLiteral("create")
                                                                       : QStringLiteral("delete");
  return fileFailure(action, failure.path, failure.reason);
}

}  // namespace

QString fileFailure(const QString& action, const QString& path, const QString& reason) {
  return QStringLiteral("Could not %1 %2: %3.").arg(action, shown(path), reason);
}

std::optional<QString> deleteExistingFile(const QString& path) {
  if (const std::optional<FileFailure> failure = removeFile(path)) return failureText(*failure);
  return std::nullopt;
}

std::unique_ptr<QFile> createNewFile(const QString& path, QString& failure) {
  std::optional<FileFailure> why;
  std::unique_ptr<QFile> created = openNewFile(path, why);
  if (why) failure = failureText(*why);
  return created;
}

QString removeUnfinishedFile(const QString& path) {
  if (!fileExists(path)) return {};
  if (const std::optional<FileFailure> failure = removeFile(path))
    return fileFailure(QStringLiteral("remove the unfinished file"), path, failure->reason);
  return QStringLiteral("Removed the unfinished file %1.").arg(shown(path));
}

QString keptFileLine(const QString& path) {
  return QStringLiteral("Kept %1: it was written whole.").arg(shown(path));
}
