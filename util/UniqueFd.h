// The one owner of a file descriptor: it closes the descriptor when it goes, unless the
// descriptor was handed on or closed already.
#pragma once

namespace quillon {

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
  // Hands the descriptor on; this owner holds none afterwards.
  int release() noexcept {
    const int fd = fd_;
    fd_ = -1;
    return fd;
  }
  // Closes the descriptor held, if any, and takes fd. A failure of that close is not asked: an
  // owner that must know whether its writes arrived calls Close.
  void reset(int fd = -1) noexcept;
  // Closes the descriptor held, if any; throws IoError when the close reports a failure.
  void Close();

 private:
  int fd_ = -1;
};

}  // namespace quillon
