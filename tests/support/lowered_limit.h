#pragma once

#include <signal.h>
#include <sys/resource.h>

// Lowers a resource limit of this process for as long as it lives. Past a file-size limit a
// write fails with EFBIG instead of killing the process, as on a full disk; past a descriptor
// limit an open fails with EMFILE. Both stop root too.
class LoweredLimit {
 public:
  LoweredLimit(int resource, rlim_t soft) : resource_(resource) {
    getrlimit(resource_, &saved_);
    rlimit lowered = saved_;
    lowered.rlim_cur = soft;
    ok_ = setrlimit(resource_, &lowered) == 0;
    if (resource_ == RLIMIT_FSIZE) previous_ = signal(SIGXFSZ, SIG_IGN);
  }
  ~LoweredLimit() {
    setrlimit(resource_, &saved_);
    if (resource_ == RLIMIT_FSIZE) signal(SIGXFSZ, previous_);
  }
  LoweredLimit(const LoweredLimit&) = delete;
  LoweredLimit& operator=(const LoweredLimit&) = delete;
  bool ok() const { return ok_; }

 private:
  int resource_;
  rlimit saved_{};
  bool ok_ = false;
  sighandler_t previous_ = SIG_DFL;
};
