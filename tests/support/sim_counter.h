#pragma once

#include <QByteArray>
#include <QString>
#include <array>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <vector>

#include "platform/serial.h"
#include "support/sim_serial.h"

// The commands the counter knows.
enum class SimCommand {
  GETVER,
  GETCPS,
  SPIR,
  GETSSN,
  GETSS,
  GETSERIAL,
  DSID,
  FACTORYRESET,
  REBOOT
};
QByteArray commandWord(SimCommand command);

// A way in which the counter may misbehave when it answers a command.
struct SimFault {
  enum class Kind {
    NoReply,        // the command goes unanswered
    Short,          // the reply lacks its last `bytes` bytes
    Long,           // `bytes` extra bytes follow the reply
    WrongLastByte,  // the reply's last byte is changed
    Split,          // the first `bytes` bytes, then a pause of `delay_us`, then the rest
    Late,           // the reply starts `delay_us` later than usual
    Stray,          // `bytes` stray bytes go out just before the reply
    Vanish,         // the port goes away instead of answering (a port made by plugInto only)
  };
  Kind kind = Kind::NoReply;
  qsizetype bytes = 1;
  qint64 delay_us = 0;

  static SimFault noReply() { return {Kind::NoReply}; }
  static SimFault shortBy(qsizetype n = 1) { return {Kind::Short, n}; }
  static SimFault longBy(qsizetype n = 1) { return {Kind::Long, n}; }
  static SimFault wrongLastByte() { return {Kind::WrongLastByte}; }
  static SimFault split(qsizetype first_part, qint64 gap_ms) {
    return {Kind::Split, first_part, gap_ms * 1000};
  }
  static SimFault late(qint64 ms) { return {Kind::Late, 0, ms * 1000}; }
  static SimFault stray(qsizetype n = 3) { return {Kind::Stray, n}; }
  static SimFault vanish() { return {Kind::Vanish}; }
};

// Bytes the counter puts on the line, the first of them starting at start_us (or once the line
// is free of earlier bytes). A transport paces them at the wire rate.
struct SimDelivery {
  QByteArray bytes;
  qint64 start_us = 0;
};

// A model of the counter: it takes the program's bytes as they arrive, finds the commands in
// them by their framing (a command may come in pieces, or several in one write) and answers each
// after a small latency. Input that is no command it knows (typed text, an unknown word, a
// broken frame) goes unanswered, as a counter that waits for its next "<" would do.
//
// The model knows no transport: take() turns input into deliveries. It serves a simulated port
// in virtual time as a SimDevice, and a pseudo-terminal in real time through PtyCounter.
class SimCounter final : public SimDevice {
 public:
  static constexpr int kAlways = -1;

  SimCounter();
  ~SimCounter() override;
  SimCounter(const SimCounter&) = delete;
  SimCounter& operator=(const SimCounter&) = delete;

  // --- What the counter holds ---------------------------------------------------------------
  QByteArray version = "KAV SIM 1.00";
  // The count of the last second when a GETCPS arrives at at_us.
  std::function<qint32(qint64 at_us)> countAt = [](qint64) { return 25; };
  // 1 MiB of history memory, erased (0xFF) at first. A SPIR past its end gets the bytes there are.
  QByteArray memory;
  // The console presets are answered with these texts and change nothing in the counter.
  QByteArray serialNumber = "SIM-000001";
  QByteArray dsid = "DSID SIM";
  QByteArray factoryResetReply = "OK";
  QByteArray rebootReply = "OK";
  // Time from a command's last byte to the first byte of its reply.
  qint64 latencyUs = 1500;

  struct ScreenImage {
    QByteArray timestamp;  // six bytes; a year byte of 0xFF marks an empty slot
    QByteArray picture;    // 1024 bytes
  };
  // Image n is images[n - 1]. At first each holds a distinct picture and a 2025 timestamp.
  std::array<ScreenImage, 4> images;
  void setImage(int number, const QByteArray& timestamp, const QByteArray& picture);
  void clearImage(int number);

  // Answers counts in turn, the last one for ever after.
  void answerCounts(std::vector<qint32> counts);

  // --- Faults ---------------------------------------------------------------------------------
  // The fault applies to the next `times` replies to that command (kAlways: to every one).
  // Faults added for the same command apply one after the other.
  void addFault(SimCommand command, SimFault fault, int times = 1);
  void clearFaults();

  // --- What the counter received --------------------------------------------------------------
  struct Received {
    SimCommand command;
    QByteArray bytes;  // the whole frame
    qint64 at_us;      // when its last byte arrived
  };
  const std::vector<Received>& log() const { return log_; }
  int timesReceived(SimCommand command) const;
  // Every byte that was no part of a command it knows, in arrival order.
  const QByteArray& ignoredInput() const { return ignored_; }

  // --- Transport-independent core -------------------------------------------------------------
  // bytes have arrived, the last of them at at_us; returns what the counter sends in answer.
  std::vector<SimDelivery> take(const QByteArray& bytes, qint64 at_us);
  // The line was opened or closed: a command in pieces is abandoned.
  void resetLine();
  // A Vanish fault asked for the port to go; the transport consumes the request.
  bool takeVanishRequest();

  // --- On a simulated port --------------------------------------------------------------------
  // Adds a port of that name to the system with this counter at its far end.
  SimPort& plugInto(SimSerialSystem& system, const QString& name);
  SimPort* port() const { return port_; }
  // The port refuses to open, as one held by another program does.
  void setOpenFails(bool fails);
  // The port leaves the system's list; an open line on it reads nothing from then on.
  void goAway();

  void received(SimPort& port, const QByteArray& bytes, qint64 at_us) override;
  void opened(SimPort&) override { resetLine(); }
  void closed(SimPort&) override { resetLine(); }

 private:
  struct FaultRun {
    SimFault fault;
    int left;
  };
  QByteArray replyTo(SimCommand command, const QByteArray& frame, qint64 at_us);
  std::optional<SimFault> nextFault(SimCommand command);
  void answer(SimCommand command, const QByteArray& frame, qint64 at_us,
              std::vector<SimDelivery>& out);

  QByteArray pending_;
  QByteArray ignored_;
  std::vector<Received> log_;
  std::map<SimCommand, std::deque<FaultRun>> faults_;
  std::vector<qint32> counts_;
  size_t next_count_ = 0;
  bool vanish_requested_ = false;
  SimSerialSystem* system_ = nullptr;
  SimPort* port_ = nullptr;
  QString port_name_;
};

// A serial system in front of another whose driver hands over what has arrived in two reads
// where one would have found it all. In virtual time both reads of the picture query happen at
// the same instant, so only this shows a reply that straddles them.
class SplitReadSerialSystem final : public SerialSystem {
 public:
  explicit SplitReadSerialSystem(SerialSystem& inner);

  // The next read that finds more than first_part bytes returns only those; the read after it
  // returns the rest with whatever has arrived since. Applies `times` times.
  void splitNextRead(qsizetype first_part, int times = 1);

  int SerialPortCount() override { return inner_.SerialPortCount(); }
  SerialPort SerialPortAt(int index) override { return inner_.SerialPortAt(index); }
  std::unique_ptr<SerialLine> openLine(const SerialPort& port) override;

  struct Splits {
    std::deque<qsizetype> first_parts;
  };

 private:
  SerialSystem& inner_;
  std::shared_ptr<Splits> splits_ = std::make_shared<Splits>();
};
