#pragma once

#include <QString>
#include <QStringList>
#include <QtGlobal>

class QFile;

// The two files of a history download and what becomes of them when something goes wrong. A
// failure never leaves a file behind that looks like a complete download: a file that could not
// be completed is removed, one written whole is kept, and the message says which.

// "Could not <action> <path>: <reason>."
QString historyFileFailure(const QString& action, const QString& path, const QString& reason);

// A file of that name is there (a link to nothing counts: it stands in the way of a new file).
bool historyFileExists(const QString& path);

// Removes a file that holds no complete download; the line for the message that says so, or
// that says why it is still there. A file that is not there needs no line.
QString removeUnfinishedHistoryFile(const QString& path);

// The line for the message about a file that was written whole.
QString keptHistoryFileLine(const QString& path);

// The end of a download: writes the dump of the first n bytes whole, then the comma-separated
// text decoded from them, and closes both files, the comma-separated one first. An empty string
// when all went well; otherwise the failure, then a line for each file, kept or removed. The
// text is not written once the dump has failed, and a file that failed is removed.
QString writeHistoryFiles(QFile& dump, QFile& csv, const char* bytes, qint64 n);
