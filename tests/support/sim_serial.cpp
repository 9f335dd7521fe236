#include "support/sim_serial.h"

#include <algorithm>

void SimPort::send(const QByteArray& bytes, qint64 start_us) {
  if (!open_) return;
  qint64 start = std::max(start_us, inbound_free_us_);
  for (qsizetype i = 0; i < bytes.size(); ++i)
    inbound_.push_back({start + wireTimeUs(i + 1), bytes[i]});
  inbound_free_us_ = start + wireTimeUs(bytes.size());
}

bool SimPort::open() {
  if (!present_ || !openable || open_) return false;
  open_ = true;
  inbound_.clear();
  if (device) device->opened(*this);
  return true;
}

void SimPort::close() {
  if (!open_) return;
  open_ = false;
  inbound_.clear();
  if (device) device->closed(*this);
}

void SimPort::vanish() {
  close();
  present_ = false;
}

void SimPort::write(const QByteArray& bytes) {
  if (!open_) return;
  const qint64 now = clock_.nowUs();
  writes_.push_back({now, bytes});
  const qint64 start = std::max(now, outbound_free_us_);
  outbound_free_us_ = start + wireTimeUs(bytes.size());
  if (device) device->received(*this, bytes, outbound_free_us_);
}

QByteArray SimPort::readArrived() {
  QByteArray out;
  const qint64 now = clock_.nowUs();
  while (!inbound_.empty() && inbound_.front().at_us <= now) {
    out.append(inbound_.front().value);
    inbound_.pop_front();
  }
  return out;
}

// An open line on a simulated port; it outlives the port's presence, not the port itself.
class SimLine final : public SerialLine {
 public:
  explicit SimLine(SimPort& port) : port_(port) {}
  ~SimLine() override { port_.close(); }
  void write(const QByteArray& bytes) override { port_.write(bytes); }
  QByteArray readAll() override { return port_.readArrived(); }

 private:
  SimPort& port_;
};

SimPort& SimSerialSystem::addPort(const QString& name) {
  ports_.push_back(std::make_unique<SimPort>(clock_, name));
  return *ports_.back();
}

void SimSerialSystem::removePort(const QString& name) {
  if (SimPort* p = port(name)) p->vanish();
}

SimPort* SimSerialSystem::port(const QString& name) {
  for (auto& p : ports_)
    if (p->name() == name && p->present()) return p.get();
  return nullptr;
}

std::vector<SimPort*> SimSerialSystem::presentPorts() const {
  std::vector<SimPort*> list;
  for (auto& p : ports_)
    if (p->present()) list.push_back(p.get());
  return list;
}

int SimSerialSystem::SerialPortCount() {
  ++list_reads_;
  return int(presentPorts().size());
}

SerialPort SimSerialSystem::SerialPortAt(int index) {
  ++list_reads_;
  const auto list = presentPorts();
  if (index < 0 || index >= int(list.size())) return {};
  return {list[index]->name(), list[index]->name()};
}

std::unique_ptr<SerialLine> SimSerialSystem::openLine(const SerialPort& port) {
  SimPort* p = this->port(port.location);
  if (!p || !p->open()) return nullptr;
  return std::make_unique<SimLine>(*p);
}
