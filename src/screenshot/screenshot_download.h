#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <optional>

// The name offered for a screenshot: "kavscreenshot_" + day, month, year + "_" + hour, minute,
// second + ".bmp", each the timestamp byte in decimal with at least two digits. Takes the
// counter's six timestamp bytes (the reply's end marker may follow); a missing byte reads 0.
QString proposedScreenshotName(QByteArrayView timestamp);

// Writes bytes as the file at path, replacing a file already there. None when the file was
// written whole; otherwise the text for the user: what failed on which file and why, then a
// line saying whether a file that could not be completed was removed. No file that looks whole
// and is not is left behind; a file there before that could not be deleted stays untouched.
std::optional<QString> writeScreenshotFile(const QString& path, const QByteArray& bytes);
