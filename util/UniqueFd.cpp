#include "util/UniqueFd.h"

#include <unistd.h>

#include <cerrno>

#include "util/IoError.h"

namespace quillon {

void UniqueFd::reset(int fd) noexcept {
  if (fd_ >= 0 && fd_ != fd) ::close(fd_);
  fd_ = fd;
}

void UniqueFd::Close() {
  const int fd = release();
  if (fd >= 0 && ::close(fd) != 0) ThrowIoError(errno);
}

}  // namespace quillon
