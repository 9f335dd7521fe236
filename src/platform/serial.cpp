#include "platform/serial.h"

bool Serial::Open() {
  Close();
  if (port_.location.isEmpty()) return false;
  line_ = system_.openLine(port_);
  if (line_) ++connection_;
  return line_ != nullptr;
}

void Serial::Close() {
  line_.reset();
  unanswered_.reset();  // a new connection starts with an empty line
}

void Serial::Write(const QByteArray& bytes) {
  if (line_ && !bytes.isEmpty()) line_->write(bytes);
}

QByteArray Serial::ReadAll() { return line_ ? line_->readAll() : QByteArray(); }
