#include "link/serial.h"

bool Serial::Open() {
  Close();
  if (port_.location.isEmpty()) return false;
  line_ = system_.openLine(port_);
  if (line_) ++connection_;
  return line_ != nullptr;
}

void Serial::Close() {
  line_.reset();
  reply_may_be_owed_ = false;  // nothing sent to an earlier connection can come on a new one
}

void Serial::Write(const QByteArray& bytes) {
  if (line_ && !bytes.isEmpty()) line_->write(bytes);
}

QByteArray Serial::ReadAll() { return line_ ? line_->readAll() : QByteArray(); }
