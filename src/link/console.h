#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <QtGlobal>

// How the console shows a chunk of received bytes: one character per byte, or two hexadecimal
// digits and a blank per byte, so that chunks joined in any split read as one run.
QString consoleAsciiText(QByteArrayView bytes);
QString consoleHexText(QByteArrayView bytes);

// The received-byte counter lives only as its field's text: the number read from it (empty text
// or anything unreadable counts as 0) plus the bytes just received.
QString consoleByteCountAfter(const QString& counter_text, qsizetype received);

// The bytes a typed command goes out as: the text as the user sees it, nothing added.
QByteArray consoleTypedCommand(const QString& typed);

// The first visible line that keeps the end of the text in view, given the line it is on.
int consoleScrollPositionForEnd(int end_line);
