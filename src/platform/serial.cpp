#include "platform/serial.h"

namespace {

quint64 newConnectionNumber() {
  static quint64 last = 0;
  return ++last;
}

}  // namespace

bool Serial::Open() {
  Close();
  if (port_.location.isEmpty()) return false;
  line_ = system_.openLine(port_);
  if (line_) connection_ = newConnectionNumber();
  return line_ != nullptr;
}

void Serial::Close() { line_.reset(); }

void Serial::Write(const QByteArray& bytes) {
  if (line_ && !bytes.isEmpty()) line_->write(bytes);
}

QByteArray Serial::ReadAll() { return line_ ? line_->readAll() : QByteArray(); }
