#pragma once

#include <QString>
#include <QtGlobal>

class QFile;

// The end of a download: writes the dump of the first n bytes whole, then the comma-separated
// text decoded from them, and closes both files, the comma-separated one first. An empty string
// when all went well; otherwise the failure, then a line for each file, kept or removed. The
// text is not written once the dump has failed, and a file that failed is removed, so no file
// is left behind that looks like a complete download and is not.
QString writeHistoryFiles(QFile& dump, QFile& csv, const char* bytes, qint64 n);
