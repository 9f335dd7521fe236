#pragma once

#include <QFile>
#include <QString>
#include <memory>
#include <optional>

#include "platform/file_writing.h"

// The downloads' file steps as the user hears of them: in one form, what failed on which file
// and why, and what became of each file.

// "Could not <action> <path>: <reason>."
QString fileFailure(const QString& action, const QString& path, const QString& reason);

// Deletes the file of that name if there is one; the failure when it stays.
std::optional<QString> deleteExistingFile(const QString& path);

// A new, empty file opened for unbuffered writing; null, with the failure, when it cannot be
// made (a file of that name already there included).
std::unique_ptr<QFile> createNewFile(const QString& path, QString& failure);

// Removes a file that holds no complete download; the line for the message that says so, or
// that says why it is still there. A file that is not there needs no line.
QString removeUnfinishedFile(const QString& path);

// The line for the message about a file that was written whole.
QString keptFileLine(const QString& path);
