// The one owner of an open file of the host, and the few things done with one. Its number is a
// POSIX file descriptor, or on Windows the value of the system's handle (Windows keeps handle
// values within 32 bits). Every failure throws IoError with the user's text.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

namespace quillon {

// It closes the file when it goes, unless the file was handed on or closed already.
class UniqueFd {
 public:
  UniqueFd() = default;
  explicit UniqueFd(int fd) noexcept : fd_(fd) {}
  UniqueFd(UniqueFd&& other) noexcept : fd_(other.release()) {}
  UniqueFd& operator=(UniqueFd&& other) noexcept {
    reset(other.release());
    return *this;
  }
  UniqueFd(const UniqueFd&) = delete;
  UniqueFd& operator=(const UniqueFd&) = delete;
  ~UniqueFd() { reset(); }

  int get() const { return fd_; }
  bool valid() const { return fd_ >= 0; }
  // Hands the file on; this owner holds none afterwards.
  int release() noexcept {
    const int fd = fd_;
    fd_ = -1;
    return fd;
  }
  // Closes the file held, if any, and takes fd. A failure of that close is not asked: an
  // owner that must know whether its writes arrived calls Close.
  void reset(int fd = -1) noexcept;
  // Closes the file held, if any; throws IoError when the close reports a failure.
  void Close();

 private:
  int fd_ = -1;
};

// A regular file opened for reading, without waiting on a pipe; anything else (a pipe, a
// device, a folder) is refused as access denied.
UniqueFd OpenTextFile(const std::string& path);

// An existing file opened for writing at its end.
UniqueFd OpenForAppending(const std::string& path);

// A file opened for writing from its start: created, or emptied when it exists.
UniqueFd OpenForRewriting(const std::string& path);

// Up to size bytes from the offset on; 0 at the end of the file.
std::size_t ReadAt(int fd, std::uint64_t offset, char* buffer, std::size_t size);

// The size of the open file.
std::uint64_t SizeOfOpenFile(int fd);

// Writes all the bytes, however many calls it takes; a short write resumes at the very byte
// it stopped.
void WriteAllTo(int fd, std::string_view bytes);

// Writes the pieces whole and in order. A POSIX host takes many pieces in one call: a caller
// gathers up to kMostPiecesPerWrite of them.
inline constexpr std::size_t kMostPiecesPerWrite = 1024;
void WritePiecesTo(int fd, std::span<const std::string_view> pieces);

// Who may have written the open file: this user alone (its owner, with no one else allowed
// to write it), or others too.
enum class FileKeeper { OwnAlone, OtherOwner, OthersMayWrite };
FileKeeper KeeperOf(int fd);

// Whether two open files are the same file.
bool IsSameFile(int fd, int other_fd);

}  // namespace quillon
