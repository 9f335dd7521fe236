#pragma once

#include <QFile>
#include <QString>
#include <QtGlobal>
#include <memory>
#include <optional>

// Writing the files a download makes, so that a failure never leaves behind a file that looks
// complete and is not: files are written unbuffered (a write that fails says so at once, not at
// a later flush), and a file that could not be completed can be removed. A failure comes back as
// what was tried on which file and the system's reason; the words the user reads are the
// program's.

// What was tried on which file, and the system's reason why it failed.
struct FileFailure {
  enum class Action { Remove, Create };
  Action action;
  QString path;
  QString reason;
};

// A file of that name is there (a link to nothing counts: it stands in the way of a new file).
bool fileExists(const QString& path);

// Removes the file of that name if there is one; the failure when it stays.
std::optional<FileFailure> removeFile(const QString& path);

// A new, empty file opened for unbuffered writing; null, with the failure, when it cannot be
// made (a file of that name already there included).
std::unique_ptr<QFile> openNewFile(const QString& path, std::optional<FileFailure>& failure);

// Writes all n bytes; false when the file took fewer, its error then says why.
bool writeWhole(QFile& file, const char* bytes, qint64 n);

// Closes the file; false when the close failed, and the file is then not complete.
bool closedCleanly(QFile& file);
