// The POSIX side of open files: descriptors.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "util/IoError.h"
#include "util/UniqueFd.h"

namespace quillon {
namespace {

UniqueFd OpenOrThrow(const std::string& path, int flags) {
  UniqueFd fd(open(path.c_str(), flags | O_CLOEXEC, 0666));
  if (!fd.valid()) ThrowIoError(errno);
  return fd;
}

}  // namespace

void UniqueFd::reset(int fd) noexcept {
  if (fd_ >= 0 && fd_ != fd) ::close(fd_);
  fd_ = fd;
}

void UniqueFd::Close() {
  const int fd = release();
  if (fd >= 0 && ::close(fd) != 0) ThrowIoError(errno);
}

UniqueFd OpenTextFile(const std::string& path) {
  // Without O_NONBLOCK, opening a pipe that has no writer would wait for one.
  UniqueFd file = OpenOrThrow(path, O_RDONLY | O_NONBLOCK);
  struct stat info {};
  if (fstat(file.get(), &info) != 0) ThrowIoError(errno);
  if (!S_ISREG(info.st_mode)) ThrowIoError(EACCES);
  return file;
}

UniqueFd OpenForAppending(const std::string& path) {
  return OpenOrThrow(path, O_WRONLY | O_APPEND);
}

UniqueFd OpenForRewriting(const std::string& path) {
  return OpenOrThrow(path, O_WRONLY | O_CREAT | O_TRUNC);
}

std::size_t ReadAt(int fd, std::uint64_t offset, char* buffer, std::size_t size) {
  for (;;) {
    const ssize_t got = pread(fd, buffer, size, static_cast<off_t>(offset));
    if (got >= 0) return static_cast<std::size_t>(got);
    if (errno != EINTR) ThrowIoError(errno);
  }
}

std::uint64_t SizeOfOpenFile(int fd) {
  struct stat info {};
  if (fstat(fd, &info) != 0) ThrowIoError(errno);
  return static_cast<std::uint64_t>(info.st_size);
}

void WriteAllTo(int fd, std::string_view bytes) {
  while (!bytes.empty()) {
    const ssize_t written = write(fd, bytes.data(), bytes.size());
    if (written < 0) {
      if (errno == EINTR) continue;
      ThrowIoError(errno);
    }
    bytes.remove_prefix(static_cast<std::size_t>(written));
  }
}

}  // namespace quillon
