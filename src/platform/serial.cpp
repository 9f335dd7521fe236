#include "platform/serial.h"

bool Serial::Open() {
  line_.reset();
  if (port_.location.isEmpty()) return false;
  line_ = system_.openLine(port_);
  return line_ != nullptr;
}

void Serial::Write(const QByteArray& bytes) {
  if (line_ && !bytes.isEmpty()) line_->write(bytes);
}

QByteArray Serial::ReadAll() { return line_ ? line_->readAll() : QByteArray(); }
