#include "platform/file_writing.h"

#include <QFileInfo>

bool fileExists(const QString& path) {
  const QFileInfo info(path);
  return info.exists() || info.isSymLink();
}

std::optional<FileFailure> removeFile(const QString& path) {
  if (!fileExists(path)) return std::nullopt;
  // A fresh handle: a writer's own may hold the error of a failed write or close, and QFile
  // will not remove a file through a handle whose close failed.
  QFile existing(path);
  if (existing.remove()) return std::nullopt;
  return FileFailure{FileFailure::Action::Remove, path, existing.errorString()};
}

std::unique_ptr<QFile> openNewFile(const QString& path, std::optional<FileFailure>& failure) {
  auto created = std::make_unique<QFile>(path);
  if (created->open(QIODevice::WriteOnly | QIODevice::NewOnly | QIODevice::Unbuffered))
    return created;
  failure = FileFailure{FileFailure::Action::Create, path, created->errorString()};
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
