#pragma once

#include <QStringList>

#include "platform/serial.h"

// The serial ports of the computer, through Qt Serial Port. Extra device paths (a
// pseudo-terminal, which the system's port list never shows) can be listed after the system's.
class QtSerialSystem final : public SerialSystem {
 public:
  explicit QtSerialSystem(QStringList extra_paths = {}) : extra_paths_(std::move(extra_paths)) {}

  int SerialPortCount() override;
  SerialPort SerialPortAt(int index) override;
  std::unique_ptr<SerialLine> openLine(const SerialPort& port) override;

 private:
  QList<SerialPort> ports();

  QStringList extra_paths_;
  // The system's list as last read, and the state of the device folder it was read in.
  QList<SerialPort> system_ports_;
  QByteArray system_ports_stamp_;
};
