// Bounds the size of every file this process writes while in scope, so a write that would run
// away fails (with EFBIG, "Disk full") instead of filling the disk.
#pragma once

#include <sys/resource.h>

#include <csignal>

namespace quillon::testing {

class FileSizeLimit {
 public:
  explicit FileSizeLimit(rlim_t bytes) : old_handler_(std::signal(SIGXFSZ, SIG_IGN)) {
    getrlimit(RLIMIT_FSIZE, &previous_);
    const rlimit limit{bytes, previous_.rlim_max};
    setrlimit(RLIMIT_FSIZE, &limit);
  }
  FileSizeLimit(const FileSizeLimit&) = delete;
  FileSizeLimit& operator=(const FileSizeLimit&) = delete;
  ~FileSizeLimit() {
    setrlimit(RLIMIT_FSIZE, &previous_);
    std::signal(SIGXFSZ, old_handler_);
  }

 private:
  rlimit previous_{};
  void (*old_handler_)(int);
};

}  // namespace quillon::testing
