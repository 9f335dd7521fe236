#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <memory>

// One of the computer's serial ports as the port list gives it: the name shown to the user and
// where the system finds it.
struct SerialPort {
  QString Name;
  QString location;
};

// An open connection to a port. Implementations never block and never fail loudly: a line whose
// port has gone away reads nothing and swallows writes.
class SerialLine {
 public:
  virtual ~SerialLine() = default;
  virtual void write(const QByteArray& bytes) = 0;
  virtual QByteArray readAll() = 0;
};

// The computer's serial ports. The list is read afresh at every call, since ports come and go.
class SerialSystem {
 public:
  virtual ~SerialSystem() = default;
  virtual int SerialPortCount() = 0;
  // The port at a 0-based index below the count; a port with empty fields if the list changed.
  virtual SerialPort SerialPortAt(int index) = 0;
  // Opens the port with the counter's line settings: 115200 baud, 8 data bits, no parity,
  // 1 stop bit, no flow control, DTR not raised. Null when the port cannot be opened.
  virtual std::unique_ptr<SerialLine> openLine(const SerialPort& port) = 0;
};

// The window's serial-port object. Reads and writes are made while no port is open too (the
// console and the count-rate poll run from start-up), and then do nothing.
class Serial {
 public:
  explicit Serial(SerialSystem& system) : system_(system) {}

  void setSerialPort(const SerialPort& port) { port_ = port; }
  const SerialPort& serialPort() const { return port_; }

  // True when the port is open; false, raising nothing, when it cannot be opened.
  bool Open();
  void Close();
  bool isOpen() const { return line_ != nullptr; }

  // Names the open connection: every Open that succeeds makes a new one, never the number of an
  // earlier connection of any serial object, so an exchange can tell that the line it wrote on was
  // closed and opened again, or handed to another port, during its wait. 0 while no port is open.
  quint64 connection() const { return line_ ? connection_ : 0; }

  // The bytes go out unchanged and in order; returns without waiting for the transmission.
  void Write(const QByteArray& bytes);
  // Every byte received and not yet read, possibly none; never waits.
  QByteArray ReadAll();

 private:
  SerialSystem& system_;
  SerialPort port_;
  std::unique_ptr<SerialLine> line_;
  quint64 connection_ = 0;
};
