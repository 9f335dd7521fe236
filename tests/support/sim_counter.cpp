#include "support/sim_counter.h"

#include <algorithm>

namespace {

struct Frame {
  SimCommand command;
  QByteArrayView word;
  qsizetype arguments;
};

constexpr Frame kFrames[] = {
    {SimCommand::GETVER, "GETVER", 0}, {SimCommand::GETCPS, "GETCPS", 0},
    {SimCommand::SPIR, "SPIR", 5},     {SimCommand::GETSSN, "GETSSN", 1},
    {SimCommand::GETSS, "GETSS", 1},   {SimCommand::GETSERIAL, "GETSERIAL", 0},
    {SimCommand::DSID, "DSID", 0},     {SimCommand::FACTORYRESET, "FACTORYRESET", 0},
    {SimCommand::REBOOT, "REBOOT", 0},
};

constexpr char kStart = '<';
constexpr char kEnd = '>';
constexpr char kImageEnd = char(0xAA);
constexpr qsizetype kMemoryBytes = 1048576;
constexpr qsizetype kPictureBytes = 1024;

enum class Match { Complete, NeedMore, No };

qsizetype frameLength(const Frame& frame) { return 1 + frame.word.size() + frame.arguments + 2; }

// Whether input (starting with "<") is this frame, could still become it, or cannot.
Match matchFrame(const Frame& frame, QByteArrayView input) {
  const qsizetype total = frameLength(frame);
  const qsizetype word_end = 1 + frame.word.size();
  for (qsizetype i = 1; i < std::min(input.size(), word_end); ++i)
    if (input[i] != frame.word[i - 1]) return Match::No;
  for (qsizetype i = word_end + frame.arguments; i < std::min(input.size(), total); ++i)
    if (input[i] != kEnd) return Match::No;
  return input.size() >= total ? Match::Complete : Match::NeedMore;
}

QByteArray bigEndian32(qint32 value) {
  const quint32 bits = quint32(value);
  const char bytes[] = {char(bits >> 24), char(bits >> 16), char(bits >> 8), char(bits)};
  return QByteArray(bytes, 4);
}

quint32 bytesAsNumber(QByteArrayView bytes) {
  quint32 value = 0;
  for (char c : bytes) value = value << 8 | quint8(c);
  return value;
}

int imageNumber(char digit) { return digit >= '1' && digit <= '4' ? digit - '0' : 0; }

QByteArray defaultPicture(int number) {
  QByteArray picture(kPictureBytes, '\0');
  for (qsizetype i = 0; i < picture.size(); ++i) picture[i] = char((i * 7 + number * 31) & 0xFF);
  return picture;
}

}  // namespace

QByteArray commandWord(SimCommand command) {
  for (const Frame& frame : kFrames)
    if (frame.command == command) return frame.word.toByteArray();
  return {};
}

SimCounter::SimCounter() : memory(kMemoryBytes, char(0xFF)) {
  for (int n = 1; n <= int(images.size()); ++n) {
    // 10 + n June 2025, 12:30:00
    const char timestamp[] = {25, 6, char(10 + n), 12, 30, 0};
    setImage(n, QByteArray(timestamp, sizeof timestamp), defaultPicture(n));
  }
}

SimCounter::~SimCounter() {
  if (port_ && port_->device == this) port_->device = nullptr;
}

void SimCounter::setImage(int number, const QByteArray& timestamp, const QByteArray& picture) {
  images.at(number - 1) = {timestamp, picture};
}

void SimCounter::clearImage(int number) {
  images.at(number - 1) = {QByteArray(6, char(0xFF)), QByteArray(kPictureBytes, char(0xFF))};
}

void SimCounter::answerCounts(std::vector<qint32> counts) {
  counts_ = std::move(counts);
  next_count_ = 0;
}

void SimCounter::addFault(SimCommand command, SimFault fault, int times) {
  if (times == 0) return;
  faults_[command].push_back({fault, times});
}

void SimCounter::clearFaults() { faults_.clear(); }

int SimCounter::timesReceived(SimCommand command) const {
  return int(std::count_if(log_.begin(), log_.end(),
                           [command](const Received& r) { return r.command == command; }));
}

void SimCounter::resetLine() {
  ignored_.append(pending_);
  pending_.clear();
}

bool SimCounter::takeVanishRequest() { return std::exchange(vanish_requested_, false); }

std::vector<SimDelivery> SimCounter::take(const QByteArray& bytes, qint64 at_us) {
  std::vector<SimDelivery> out;
  pending_.append(bytes);
  for (;;) {
    const qsizetype start = pending_.indexOf(kStart);
    ignored_.append(pending_.left(start < 0 ? pending_.size() : start));
    pending_.remove(0, start < 0 ? pending_.size() : start);
    if (pending_.isEmpty()) return out;

    const Frame* complete = nullptr;
    bool could_grow = false;
    for (const Frame& frame : kFrames) {
      const Match match = matchFrame(frame, pending_);
      if (match == Match::Complete) complete = &frame;
      if (match == Match::NeedMore) could_grow = true;
      if (complete) break;
    }
    if (complete) {
      const qsizetype length = frameLength(*complete);
      // Bytes behind the frame arrived after it, at the wire rate.
      const qint64 frame_end_us = at_us - wireTimeUs(pending_.size() - length);
      const QByteArray frame = pending_.left(length);
      pending_.remove(0, length);
      answer(complete->command, frame, frame_end_us, out);
      continue;
    }
    if (could_grow) return out;
    ignored_.append(pending_.front());
    pending_.remove(0, 1);
  }
}

std::optional<SimFault> SimCounter::nextFault(SimCommand command) {
  auto found = faults_.find(command);
  if (found == faults_.end() || found->second.empty()) return std::nullopt;
  FaultRun& run = found->second.front();
  const SimFault fault = run.fault;
  if (run.left != kAlways && --run.left == 0) found->second.pop_front();
  return fault;
}

QByteArray SimCounter::replyTo(SimCommand command, const QByteArray& frame, qint64 at_us) {
  switch (command) {
    case SimCommand::GETVER: return version;
    case SimCommand::GETCPS: {
      if (counts_.empty()) return bigEndian32(countAt ? countAt(at_us) : 0);
      const qint32 count = counts_[std::min(next_count_, counts_.size() - 1)];
      ++next_count_;
      return bigEndian32(count);
    }
    case SimCommand::SPIR: {
      const quint32 address = bytesAsNumber(QByteArrayView(frame).sliced(5, 3));
      const quint32 length = bytesAsNumber(QByteArrayView(frame).sliced(8, 2));
      if (address >= quint32(memory.size())) return {};
      return memory.mid(address, length);
    }
    case SimCommand::GETSSN: {
      const int n = imageNumber(frame[7]);
      return n ? images[n - 1].timestamp + kImageEnd : QByteArray();
    }
    case SimCommand::GETSS: {
      const int n = imageNumber(frame[6]);
      return n ? images[n - 1].picture + kImageEnd : QByteArray();
    }
    case SimCommand::GETSERIAL: return serialNumber;
    case SimCommand::DSID: return dsid;
    case SimCommand::FACTORYRESET: return factoryResetReply;
    case SimCommand::REBOOT: return rebootReply;
  }
  return {};
}

void SimCounter::answer(SimCommand command, const QByteArray& frame, qint64 at_us,
                        std::vector<SimDelivery>& out) {
  log_.push_back({command, frame, at_us});
  const std::optional<SimFault> fault = nextFault(command);
  QByteArray reply = replyTo(command, frame, at_us);
  qint64 start = at_us + latencyUs;
  if (fault) {
    switch (fault->kind) {
      case SimFault::Kind::NoReply: return;
      case SimFault::Kind::Vanish: vanish_requested_ = true; return;
      case SimFault::Kind::Short: reply.chop(fault->bytes); break;
      case SimFault::Kind::Long: reply.append(QByteArray(fault->bytes, '\0')); break;
      case SimFault::Kind::WrongLastByte:
        if (!reply.isEmpty()) reply.back() = char(reply.back() ^ 0xFF);
        break;
      case SimFault::Kind::Late: start += fault->delay_us; break;
      case SimFault::Kind::Stray: out.push_back({QByteArray(fault->bytes, '?'), start}); break;
      case SimFault::Kind::Split: {
        const QByteArray first = reply.left(fault->bytes);
        out.push_back({first, start});
        reply.remove(0, first.size());
        start += wireTimeUs(first.size()) + fault->delay_us;
        break;
      }
    }
  }
  if (!reply.isEmpty()) out.push_back({reply, start});
}

SimPort& SimCounter::plugInto(SimSerialSystem& system, const QString& name) {
  SimPort& port = system.addPort(name);
  port.device = this;
  system_ = &system;
  port_ = &port;
  port_name_ = name;
  return port;
}

void SimCounter::setOpenFails(bool fails) {
  if (port_) port_->openable = !fails;
}

void SimCounter::goAway() {
  if (system_ && port_ && port_->present()) system_->removePort(port_name_);
}

void SimCounter::received(SimPort& port, const QByteArray& bytes, qint64 at_us) {
  for (const SimDelivery& delivery : take(bytes, at_us))
    port.send(delivery.bytes, delivery.start_us);
  if (takeVanishRequest()) goAway();
}

// ---------------------------------------------------------------------------------------------

namespace {

class SplitReadLine final : public SerialLine {
 public:
  SplitReadLine(std::unique_ptr<SerialLine> inner,
                std::shared_ptr<SplitReadSerialSystem::Splits> splits)
      : inner_(std::move(inner)), splits_(std::move(splits)) {}

  void write(const QByteArray& bytes) override { inner_->write(bytes); }

  QByteArray readAll() override {
    QByteArray got = std::exchange(held_, QByteArray()) + inner_->readAll();
    auto& parts = splits_->first_parts;
    if (!parts.empty() && got.size() > parts.front()) {
      held_ = got.mid(parts.front());
      got.truncate(parts.front());
      parts.pop_front();
    }
    return got;
  }

 private:
  std::unique_ptr<SerialLine> inner_;
  std::shared_ptr<SplitReadSerialSystem::Splits> splits_;
  QByteArray held_;
};

}  // namespace

SplitReadSerialSystem::SplitReadSerialSystem(SerialSystem& inner) : inner_(inner) {}

void SplitReadSerialSystem::splitNextRead(qsizetype first_part, int times) {
  for (int i = 0; i < times; ++i) splits_->first_parts.push_back(first_part);
}

std::unique_ptr<SerialLine> SplitReadSerialSystem::openLine(const SerialPort& port) {
  auto line = inner_.openLine(port);
  if (!line) return nullptr;
  return std::make_unique<SplitReadLine>(std::move(line), splits_);
}
