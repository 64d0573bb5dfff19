#pragma once
// A full disk stands in as a limit on the size of any file this process writes: a write past
// it fails with EFBIG (the signal it would raise is ignored while the limit holds), whoever
// writes. The limit is lifted again when the object goes.
#include <sys/resource.h>

#include <csignal>

namespace quillon_test {

class FileSizeLimit {
 public:
  explicit FileSizeLimit(rlim_t bytes) {
    ::getrlimit(RLIMIT_FSIZE, &before_);
    previousHandler_ = std::signal(SIGXFSZ, SIG_IGN);
    rlimit limit = before_;
    limit.rlim_cur = bytes;
    ::setrlimit(RLIMIT_FSIZE, &limit);
  }
  ~FileSizeLimit() {
    ::setrlimit(RLIMIT_FSIZE, &before_);
    std::signal(SIGXFSZ, previousHandler_);
  }
  FileSizeLimit(const FileSizeLimit&) = delete;
  FileSizeLimit& operator=(const FileSizeLimit&) = delete;

 private:
  rlimit before_{};
  void (*previousHandler_)(int) = SIG_DFL;
};

}  // namespace quillon_test
