#pragma once

#include <QByteArray>
#include <QtGlobal>

// Turns the counter's history memory into the text of the comma-separated history file: the
// header "Time,CPS,CPM", then one line per one-second count with the count and the sum of the
// last 60 counts, timestamps and tagged values standing in front of the count that follows them.
// Lines end in "\n". The whole text is built in one pass and returned; the caller writes it out.
//
// Only the first n bytes are history: a record that runs past them is completed with zero bytes
// and ends the decoding. The pointer form reads bytes[0] to bytes[n - 1] and nothing else, so the
// caller must provide at least n readable bytes. The QByteArray form decodes
// min(n, bytes.size()) bytes, so it never reads past the array whatever n says. A negative n
// decodes nothing.
QByteArray DecodeHistory(const char* bytes, qint64 n);
QByteArray DecodeHistory(const QByteArray& bytes, qint64 n);
