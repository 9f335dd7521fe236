#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <deque>
#include <memory>
#include <vector>

#include "platform/clock.h"
#include "platform/serial.h"

// 115200 baud, 8N1: ten bits a byte.
constexpr qint64 kWireBitsPerByte = 10;
constexpr qint64 kWireBaud = 115200;
// Time for n bytes on the line, in microseconds (86.8 us a byte).
inline qint64 wireTimeUs(qint64 bytes) { return bytes * kWireBitsPerByte * 1000000 / kWireBaud; }

class SimPort;

// What sits at the far end of a simulated port: it is handed the program's bytes as they finish
// arriving and answers through SimPort::send.
class SimDevice {
 public:
  virtual ~SimDevice() = default;
  // bytes, written by the program in one write, have fully arrived at at_us.
  virtual void received(SimPort& port, const QByteArray& bytes, qint64 at_us) = 0;
  virtual void opened(SimPort&) {}
  virtual void closed(SimPort&) {}
};

// One simulated serial port. Time is the clock's; bytes in both directions are paced at the
// wire rate, so a reply is readable only once its bytes have crossed the line.
class SimPort {
 public:
  SimPort(Clock& clock, QString name) : clock_(clock), name_(std::move(name)) {}

  const QString& name() const { return name_; }
  bool isOpen() const { return open_; }
  bool present() const { return present_; }

  SimDevice* device = nullptr;
  bool openable = true;

  // Device side: sends bytes to the program, the first starting at start_us (or once the line
  // is free).
  void send(const QByteArray& bytes, qint64 start_us);

  // Everything the program wrote, with the time each write was made.
  struct Write {
    qint64 at_us;
    QByteArray bytes;
  };
  const std::vector<Write>& writes() const { return writes_; }

  // Bytes sent by the device that the program has not read, including those still on the wire.
  qint64 pendingToProgram() const { return qint64(inbound_.size()); }

 private:
  friend class SimSerialSystem;
  friend class SimLine;
  bool open();
  void close();
  void vanish();
  void write(const QByteArray& bytes);
  QByteArray readArrived();

  struct Byte {
    qint64 at_us;
    char value;
  };
  Clock& clock_;
  QString name_;
  bool present_ = true;
  bool open_ = false;
  qint64 outbound_free_us_ = 0;
  qint64 inbound_free_us_ = 0;
  std::deque<Byte> inbound_;
  std::vector<Write> writes_;
};

// The simulated computer's serial ports, in the order they were added.
class SimSerialSystem final : public SerialSystem {
 public:
  explicit SimSerialSystem(Clock& clock) : clock_(clock) {}

  SimPort& addPort(const QString& name);
  // The port disappears from the list; an open line on it reads nothing from then on.
  void removePort(const QString& name);
  SimPort* port(const QString& name);

  int SerialPortCount() override;
  SerialPort SerialPortAt(int index) override;
  std::unique_ptr<SerialLine> openLine(const SerialPort& port) override;

  // How many times the program has asked for the port list or a port of it.
  int listReads() const { return list_reads_; }

 private:
  std::vector<SimPort*> presentPorts() const;

  Clock& clock_;
  std::vector<std::unique_ptr<SimPort>> ports_;
  int list_reads_ = 0;
};
