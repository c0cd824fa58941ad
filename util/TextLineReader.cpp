#include "util/TextLineReader.h"

#include <array>
#include <cstring>

#include "util/IoError.h"

namespace quillon {
namespace {

constexpr std::size_t kBufferSize = 64 * 1024;
constexpr char kCtrlZ = 26;

// The bytes a line's text stops at: CR, LF where it ends a line, and Ctrl-Z where it ends the
// text. A table costs one look-up per byte where three comparisons would cost three.
using StopBytes = std::array<bool, 256>;
constexpr StopBytes Stops(bool ctrl_z_ends, bool line_feed_ends) {
  StopBytes stops{};
  stops['\r'] = true;
  stops['\n'] = line_feed_ends;
  stops[static_cast<unsigned char>(kCtrlZ)] = ctrl_z_ends;
  return stops;
}
// Indexed by whether Ctrl-Z ends the text, then whether a line feed ends a line.
constexpr StopBytes kStops[2][2] = {{Stops(false, false), Stops(false, true)},
                                    {Stops(true, false), Stops(true, true)}};

}  // namespace

TextLineReader::TextLineReader(const std::string& path, CtrlZ ctrl_z, LineFeed line_feed)
    : fd_(OpenTextFile(path)),
      ctrl_z_ends_(ctrl_z == CtrlZ::EndsText),
      line_feed_ends_(line_feed == LineFeed::EndsLine),
      buffer_(std::make_unique_for_overwrite<char[]>(kBufferSize)) {}

TextLineReader::TextLineReader(UniqueFd fd)
    : fd_(std::move(fd)), buffer_(std::make_unique_for_overwrite<char[]>(kBufferSize)) {}

void TextLineReader::Close() { fd_.Close(); }

bool TextLineReader::Fill() {
  if (ended_) return false;
  begin_ = 0;
  end_ = ReadAt(fd_.get(), read_total_, buffer_.get(), kBufferSize);
  if (end_ == 0) {
    ended_ = true;
    return false;
  }
  read_total_ += end_;
  return true;
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
    const StopBytes& stops = kStops[ctrl_z_ends_ ? 1 : 0][line_feed_ends_ ? 1 : 0];
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
    const std::size_t got =
        ReadAt(fd_.get(), offset, chunk, rest < sizeof chunk ? rest : sizeof chunk);
    if (got == 0) ThrowIoError(FileFailure::CutShort);
    pieces.Append(std::string_view(chunk, got));
    offset += got;
    rest -= got;
  }
}

}  // namespace quillon
