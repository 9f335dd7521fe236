#pragma once

#include <QByteArray>
#include <QString>

// A pseudo-terminal pair for end-to-end tests: the program opens the slave by its path as a
// serial port; the test talks on the master. A slave descriptor stays open for the pair's
// lifetime so the master never sees EIO while the program closes and reopens the port.
class PseudoTerminal {
 public:
  PseudoTerminal();
  ~PseudoTerminal();
  PseudoTerminal(const PseudoTerminal&) = delete;
  PseudoTerminal& operator=(const PseudoTerminal&) = delete;

  bool valid() const { return master_ >= 0; }
  const QString& slavePath() const { return slave_path_; }
  int masterFd() const { return master_; }

  // Writes all of bytes to the master, waiting while the line is full.
  void write(const QByteArray& bytes);
  // Reads what the program has written, waiting up to timeout_ms for at least min_bytes.
  QByteArray read(int min_bytes, int timeout_ms);

 private:
  int master_ = -1;
  int slave_keepalive_ = -1;
  QString slave_path_;
};
