#pragma once

#include <QFile>
#include <QString>
#include <QtGlobal>
#include <memory>
#include <optional>

// Writing the files a download makes, so that a failure never leaves behind a file that looks
// complete and is not: files are written unbuffered (a write that fails says so at once, not at
// a later flush), a file that could not be completed is removed, and the user is told in one
// form what failed and what became of each file.

// "Could not <action> <path>: <reason>."
QString fileFailure(const QString& action, const QString& path, const QString& reason);

// A file of that name is there (a link to nothing counts: it stands in the way of a new file).
bool fileExists(const QString& path);

// Deletes the file of that name if there is one; the failure when it stays.
std::optional<QString> deleteExistingFile(const QString& path);

// A new, empty file opened for unbuffered writing; null, with the failure, when it cannot be
// made (a file of that name already there included).
std::unique_ptr<QFile> createNewFile(const QString& path, QString& failure);

// Writes all n bytes; false when the file took fewer, its error then says why.
bool writeWhole(QFile& file, const char* bytes, qint64 n);

// Closes the file; false when the close failed, and the file is then not complete.
bool closedCleanly(QFile& file);

// Removes a file that holds no complete download; the line for the message that says so, or
// that says why it is still there. A file that is not there needs no line.
QString removeUnfinishedFile(const QString& path);

// The line for the message about a file that was written whole.
QString keptFileLine(const QString& path);
