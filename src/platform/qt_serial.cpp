#include "platform/qt_serial.h"

#include <poll.h>
#include <sys/stat.h>

#include <QSerialPort>
#include <QSerialPortInfo>

namespace {

// The system's own word that a device has gone: a terminal whose device was unplugged, or whose
// far side closed, is hung up for good and reports an error or a hang-up on every poll.
bool deviceHungUp(const QSerialPort& port) {
  pollfd descriptor{int(port.handle()), POLLOUT, 0};
  if (::poll(&descriptor, 1, 0) < 0) return false;
  return (descriptor.revents & (POLLHUP | POLLERR | POLLNVAL)) != 0;
}

// An error worth a look: Qt reports a read that finds nothing as a timeout.
bool isFailure(QSerialPort::SerialPortError error) {
  return error != QSerialPort::NoError && error != QSerialPort::TimeoutError;
}

class QtSerialLine final : public SerialLine {
 public:
  explicit QtSerialLine(std::unique_ptr<QSerialPort> port) : port_(std::move(port)) {
    // Qt watches the port from its event loop and reports there that the device has gone; that
    // loop also runs behind a modal box, where no handler reads or writes. Waiting for the
    // program's next read would leave Qt's watch firing on the hung-up port until then. Queued,
    // so that a report made inside one of our own reads or writes is handled after it; the error
    // comes with the report, since the read that caused it has cleared the port's own by then.
    // The port is the connection's context: it lives exactly as long as this line, so a report
    // still queued when the line goes is dropped with it.
    QObject::connect(
        port_.get(), &QSerialPort::errorOccurred, port_.get(),
        [this](QSerialPort::SerialPortError error) {
          if (isFailure(error)) goAwayIfHungUp();
        },
        Qt::QueuedConnection);
  }

  void write(const QByteArray& bytes) override {
    if (gone_) return;
    port_->write(bytes);
    // write() only queues; the program usually sleeps next, without an event loop to send it.
    for (int tries = 0; port_->bytesToWrite() > 0 && tries < 100; ++tries)
      if (!port_->flush() && !port_->waitForBytesWritten(1)) break;
    // Qt keeps bytes it could not write and tries them again whenever the port looks writable.
    // A full line is simply not writable yet; a hung-up one always looks writable and fails
    // at once, and would keep the event loop spinning.
    if (port_->bytesToWrite() > 0 && failed()) goAwayIfHungUp();
  }

  QByteArray readAll() override {
    if (gone_) return {};
    // Each poll moves what the system holds into Qt's buffer; an empty poll ends the drain
    // (and sets a timeout error, which means nothing here).
    while (port_->waitForReadyRead(0)) {
    }
    // What arrived before the device went is still the program's.
    const QByteArray received = port_->readAll();
    if (failed()) goAwayIfHungUp();
    port_->clearError();
    return received;
  }

 private:
  bool failed() const { return isFailure(port_->error()); }

  // A port whose device has gone can never work again; closing it drops what Qt still holds for
  // it and ends Qt's watch on it, so it costs nothing from then on. The line then reads nothing and
  // swallows writes, like a port that is not open, until the user disconnects.
  void goAwayIfHungUp() {
    if (gone_ || !deviceHungUp(*port_)) return;
    port_->close();
    gone_ = true;
  }

  std::unique_ptr<QSerialPort> port_;
  bool gone_ = false;
};

}  // namespace

// Changes whenever a device node comes or goes; empty when it cannot be told.
static QByteArray deviceFolderStamp() {
  struct stat folder {};
  if (stat("/dev", &folder) != 0) return {};
  const qint64 fields[] = {qint64(folder.st_mtim.tv_sec), qint64(folder.st_mtim.tv_nsec),
                           qint64(folder.st_ctim.tv_sec), qint64(folder.st_ctim.tv_nsec),
                           qint64(folder.st_ino)};
  return QByteArray(reinterpret_cast<const char*>(fields), sizeof fields);
}

QList<SerialPort> QtSerialSystem::ports() {
  // Asking the system for its ports walks every terminal device it has (milliseconds each time,
  // several times a second); a port can only come or go with its device node, so the list is
  // read again exactly when the device folder has changed.
  const QByteArray stamp = deviceFolderStamp();
  if (stamp.isEmpty() || stamp != system_ports_stamp_) {
    system_ports_.clear();
    for (const QSerialPortInfo& info : QSerialPortInfo::availablePorts())
      system_ports_.append({info.portName(), info.systemLocation()});
    system_ports_stamp_ = stamp;
  }
  QList<SerialPort> list = system_ports_;
  for (const QString& path : extra_paths_) list.append({path, path});
  return list;
}

int QtSerialSystem::SerialPortCount() { return int(ports().size()); }

SerialPort QtSerialSystem::SerialPortAt(int index) {
  const auto list = ports();
  return index >= 0 && index < list.size() ? list[index] : SerialPort{};
}

std::unique_ptr<SerialLine> QtSerialSystem::openLine(const SerialPort& port) {
  auto serial = std::make_unique<QSerialPort>();
  serial->setPortName(port.location);
  serial->setBaudRate(QSerialPort::Baud115200);
  serial->setDataBits(QSerialPort::Data8);
  serial->setParity(QSerialPort::NoParity);
  serial->setStopBits(QSerialPort::OneStop);
  serial->setFlowControl(QSerialPort::NoFlowControl);
  serial->setReadBufferSize(0);  // unlimited: a whole history page waits here between reads
  if (!serial->open(QIODevice::ReadWrite)) return nullptr;
  // Not every device has a DTR line (a pseudo-terminal has none); that is no reason to fail.
  serial->setDataTerminalReady(false);
  serial->clearError();
  return std::make_unique<QtSerialLine>(std::move(serial));
}
