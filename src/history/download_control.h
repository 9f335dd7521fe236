#pragma once

#include <QDateTime>
#include <QString>
#include <QtGlobal>

// "kavhistory_" + month, day, four-digit year + "_" + hour, minute, second, each at least two
// digits. The comma-separated file is offered as this + ".csv"; the raw dump is always this +
// ".bin", beside whatever file the user chose.
QString proposedHistoryBaseName(const QDateTime& now);

// "Downloading..." + the bytes requested so far in thousands + " KB".
QString downloadingLabelText(qint64 progress);

// 0 to 100 on the progress bar: 1,048,000 bytes make the full bar.
int downloadProgressBarValue(qint64 progress);

// The message of a completed download.
QString downloadFinishedMessage(qint64 progress);

// The chosen comma-separated file is the very file the dump would be written to.
bool isHistoryDumpFile(const QString& chosen, const QString& dump);

// Why a download does not start when the chosen file is its own dump.
QString chosenFileIsDumpMessage(const QString& chosen);
