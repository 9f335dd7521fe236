#include "link/console.h"

#include "link/exchange.h"
#include "window/telvar.h"

namespace {

// Lines kept in view above the one holding the end of the text.
constexpr int kLinesAboveEnd = 6;

}  // namespace

QString consoleAsciiText(QByteArrayView bytes) { return QString::fromLatin1(bytes); }

QString consoleHexText(QByteArrayView bytes) {
  static constexpr char kDigits[] = "0123456789ABCDEF";
  QString hex(bytes.size() * 3, u' ');
  QChar* out = hex.data();
  for (const char byte : bytes) {
    const auto value = static_cast<unsigned char>(byte);
    *out++ = QLatin1Char(kDigits[value >> 4]);
    *out++ = QLatin1Char(kDigits[value & 0xF]);
    ++out;  // the blank
  }
  return hex;
}

QString consoleByteCountAfter(const QString& counter_text, qsizetype received) {
  bool readable = false;
  const qint64 shown = counter_text.trimmed().toLongLong(&readable);
  return QString::number((readable ? shown : 0) + qint64(received));
}

QByteArray consoleTypedCommand(const QString& typed) { return typed.toUtf8(); }

int consoleScrollPositionForEnd(int end_line) {
  return end_line > kLinesAboveEnd ? end_line - kLinesAboveEnd : end_line;
}

void TELVAR::SerialText_TextChange() { ScrollDown(SerialText); }

void TELVAR::SendCommand1_Action() { TxBuffer = Command1.currentText().toLatin1(); }

void TELVAR::SendCommand2_Action() { TxBuffer = consoleTypedCommand(Command2.text()); }

void TELVAR::SerialTimer_Action() {
  // The history reader owns the port for the whole download.
  if (download_started) return;

  if (!TxBuffer.isEmpty()) {
    UART.Write(TxBuffer);
    TxBuffer.clear();
  }

  // What an exchange found pending on a clean line came before what is pending now.
  const QByteArray chunk = takeConsoleInput(UART) + UART.ReadAll();
  if (chunk.isEmpty()) return;
  // Appending shows the same as setting the old text followed by the chunk, at the cost of the
  // chunk alone: the text is never shortened and may grow for as long as the program runs.
  SerialText.appendText(ASCIIButton.isChecked() ? consoleAsciiText(chunk) : consoleHexText(chunk));
  SerialSize.setText(consoleByteCountAfter(SerialSize.text(), chunk.size()));
}

void TELVAR::ClearButton_Action() {
  SerialText.setText(QString());
  SerialSize.setText(QStringLiteral("0"));
  dropPendingInput(UART);
}

void TELVAR::ScrollDown(ConsoleTextArea& area) {
  const int end_line = area.lineNumAtCharPos(area.length());
  area.setScrollPosition(consoleScrollPositionForEnd(end_line));
}
