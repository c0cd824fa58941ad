// The POSIX side of open files: descriptors.
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/uio.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>

#include "util/IoError.h"
#include "util/UniqueFd.h"

namespace quillon {
namespace {

UniqueFd OpenOrThrow(const std::string& path, int flags) {
  UniqueFd fd(open(path.c_str(), flags | O_CLOEXEC, 0666));
  if (!fd.valid()) ThrowIoError(errno);
  return fd;
}

// Writes the vectors whole, however many calls it takes: a short write is resumed at the very
// byte it stopped.
void WriteVectorsTo(int fd, iovec* vectors, int count) {
  std::size_t done = 0;  // bytes written of the vectors not yet passed over
  for (;;) {
    while (count > 0 && done >= vectors->iov_len) {
      done -= vectors->iov_len;
      ++vectors;
      --count;
    }
    if (count == 0) return;
    vectors->iov_base = static_cast<char*>(vectors->iov_base) + done;
    vectors->iov_len -= done;
    done = 0;
    const ssize_t written = writev(fd, vectors, count);
    if (written < 0) {
      if (errno == EINTR) continue;
      ThrowIoError(errno);
    }
    // No progress on a regular file means it can take no more.
    if (written == 0) ThrowIoError(ENOSPC);
    done = static_cast<std::size_t>(written);
  }
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
  iovec vector{const_cast<char*>(bytes.data()), bytes.size()};
  WriteVectorsTo(fd, &vector, 1);
}

void WritePiecesTo(int fd, std::span<const std::string_view> pieces) {
  iovec vectors[std::min<std::size_t>(kMostPiecesPerWrite, IOV_MAX)];
  while (!pieces.empty()) {
    const std::size_t count = std::min(pieces.size(), std::size(vectors));
    for (std::size_t i = 0; i < count; ++i) {
      vectors[i] = {const_cast<char*>(pieces[i].data()), pieces[i].size()};
    }
    WriteVectorsTo(fd, vectors, static_cast<int>(count));
    pieces = pieces.subspan(count);
  }
}

FileKeeper KeeperOf(int fd) {
  struct stat info {};
  if (fstat(fd, &info) != 0) ThrowIoError(errno);
  if (info.st_uid != geteuid()) return FileKeeper::OtherOwner;
  return (info.st_mode & (S_IWGRP | S_IWOTH)) != 0 ? FileKeeper::OthersMayWrite
                                                   : FileKeeper::OwnAlone;
}

bool IsSameFile(int fd, int other_fd) {
  struct stat info {};
  struct stat other {};
  return fstat(fd, &info) == 0 && fstat(other_fd, &other) == 0 && info.st_dev == other.st_dev &&
         info.st_ino == other.st_ino;
}

}  // namespace quillon
