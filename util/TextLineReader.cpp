#include "util/TextLineReader.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <cstring>

#include "util/IoError.h"

namespace quillon {
namespace {

constexpr std::size_t kBufferSize = 64 * 1024;
constexpr char kCtrlZ = 26;

// The bytes a line's text stops at: CR and LF, and Ctrl-Z where it ends the text. A table
// costs one look-up per byte where three comparisons would cost three.
using StopBytes = std::array<bool, 256>;
constexpr StopBytes Stops(bool ctrl_z_ends) {
  StopBytes stops{};
  stops['\r'] = stops['\n'] = true;
  stops[static_cast<unsigned char>(kCtrlZ)] = ctrl_z_ends;
  return stops;
}
constexpr StopBytes kStopsAtCtrlZ = Stops(true);
constexpr StopBytes kStopsPastCtrlZ = Stops(false);

}  // namespace

UniqueFd TextLineReader::OpenTextFile(const std::string& path) {
  // Without O_NONBLOCK, opening a pipe that has no writer would wait for one.
  UniqueFd fd(open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC));
  if (!fd.valid()) return fd;
  struct stat info {};
  if (fstat(fd.get(), &info) != 0 || !S_ISREG(info.st_mode)) {
    fd.reset();
    errno = EACCES;
  }
  return fd;
}

TextLineReader::TextLineReader(const std::string& path, CtrlZ ctrl_z)
    : fd_(OpenTextFile(path)), ctrl_z_ends_(ctrl_z == CtrlZ::EndsText) {
  if (!fd_.valid()) ThrowIoError(errno);
  buffer_ = std::make_unique_for_overwrite<char[]>(kBufferSize);
}

TextLineReader::TextLineReader(UniqueFd fd)
    : fd_(std::move(fd)), buffer_(std::make_unique_for_overwrite<char[]>(kBufferSize)) {}

void TextLineReader::Close() { fd_.Close(); }

bool TextLineReader::Fill() {
  if (ended_) return false;
  begin_ = 0;
  end_ = 0;
  for (;;) {
    const ssize_t got = read(fd_.get(), buffer_.get(), kBufferSize);
    if (got > 0) {
      end_ = static_cast<std::size_t>(got);
      read_total_ += end_;
      return true;
    }
    if (got == 0) {
      ended_ = true;
      return false;
    }
    if (errno != EINTR) ThrowIoError(errno);
  }
}

bool TextLineReader::AtEnd() {
  if (begin_ == end_ && !Fill()) return true;
  return ctrl_z_ends_ && buffer_[begin_] == kCtrlZ;
}

namespace {

class StringPieces : public TextLineReader::Pieces {
 public:
  explicit StringPieces(std::string& line) : line_(line) {}
  void Append(std::string_view piece) override { line_.append(piece); }

 private:
  std::string& line_;
};

class DroppedPieces : public TextLineReader::Pieces {
 public:
  void Append(std::string_view) override {}
};

}  // namespace

std::string TextLineReader::ReadLine() {
  std::string line;
  ReadLine(line);
  return line;
}

void TextLineReader::ReadLine(std::string& line) {
  line.clear();
  StringPieces pieces(line);
  ReadLine(pieces);
}

void TextLineReader::SkipLine() {
  DroppedPieces pieces;
  ReadLine(pieces);
}

void TextLineReader::ReadLine(Pieces& pieces) {
  last_line_offset_ = read_total_ - end_ + begin_;
  last_line_length_ = 0;
  for (;;) {
    if (begin_ == end_ && !Fill()) return;
    const char* start = buffer_.get() + begin_;
    const std::size_t available = end_ - begin_;
    const StopBytes& stops = ctrl_z_ends_ ? kStopsAtCtrlZ : kStopsPastCtrlZ;
    std::size_t length = 0;
    while (length < available && !stops[static_cast<unsigned char>(start[length])]) ++length;
    if (length > 0) pieces.Append(std::string_view(start, length));
    last_line_length_ += length;
    begin_ += length;
    if (length == available) continue;
    const char stop = buffer_[begin_];
    if (stop == kCtrlZ) {
      // Nothing after Ctrl-Z is read: the text ends here for good.
      ended_ = true;
      end_ = begin_ + 1;
      return;
    }
    ++begin_;
    if (stop == '\r') {
      if (begin_ == end_) Fill();
      if (begin_ < end_ && buffer_[begin_] == '\n') ++begin_;
    }
    return;
  }
}

void TextLineReader::ReadLastLineAgain(Pieces& pieces) {
  char chunk[kBufferSize];
  std::uint64_t offset = last_line_offset_;
  for (std::uint64_t rest = last_line_length_; rest > 0;) {
    const ssize_t got = pread(fd_.get(), chunk, rest < sizeof chunk ? rest : sizeof chunk,
                              static_cast<off_t>(offset));
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) ThrowIoError(errno);
    if (got == 0) ThrowIoError(EIO);  // the file was cut short meanwhile
    pieces.Append(std::string_view(chunk, static_cast<std::size_t>(got)));
    offset += static_cast<std::uint64_t>(got);
    rest -= static_cast<std::uint64_t>(got);
  }
}

}  // namespace quillon
