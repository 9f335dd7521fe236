#include "support/pty.h"

#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>

PseudoTerminal::PseudoTerminal() {
  master_ = posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK);
  if (master_ < 0) return;
  if (grantpt(master_) != 0 || unlockpt(master_) != 0) {
    ::close(master_);
    master_ = -1;
    return;
  }
  slave_path_ = QString::fromLocal8Bit(ptsname(master_));
  slave_keepalive_ = ::open(ptsname(master_), O_RDWR | O_NOCTTY);
  // Raw mode on the slave side: no echo, no line editing, no translation of any byte.
  termios tio{};
  if (slave_keepalive_ >= 0 && tcgetattr(slave_keepalive_, &tio) == 0) {
    cfmakeraw(&tio);
    tcsetattr(slave_keepalive_, TCSANOW, &tio);
  }
}

PseudoTerminal::~PseudoTerminal() {
  if (slave_keepalive_ >= 0) ::close(slave_keepalive_);
  if (master_ >= 0) ::close(master_);
}

void PseudoTerminal::write(const QByteArray& bytes) {
  qsizetype done = 0;
  const auto give_up = std::chrono::steady_clock::now() + std::chrono::seconds(5);
  while (done < bytes.size() && std::chrono::steady_clock::now() < give_up) {
    const ssize_t n = ::write(master_, bytes.constData() + done, size_t(bytes.size() - done));
    if (n > 0) {
      done += n;
      continue;
    }
    if (n < 0 && errno != EAGAIN && errno != EINTR) return;
    pollfd p{master_, POLLOUT, 0};
    ::poll(&p, 1, 10);
  }
}

QByteArray PseudoTerminal::read(int min_bytes, int timeout_ms) {
  QByteArray out;
  const auto give_up = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms);
  for (;;) {
    char buffer[4096];
    const ssize_t n = ::read(master_, buffer, sizeof buffer);
    if (n > 0) {
      out.append(buffer, n);
      continue;
    }
    if (out.size() >= min_bytes) return out;
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                          give_up - std::chrono::steady_clock::now())
                          .count();
    if (left <= 0) return out;
    pollfd p{master_, POLLIN, 0};
    ::poll(&p, 1, int(std::min<long long>(left, 50)));
  }
}
