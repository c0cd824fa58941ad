#include "util/TextLineReader.h"

#include <algorithm>
#include <array>
#include <cstring>

#include "util/IoError.h"
#include "util/Text.h"

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
      buffer_(std::make_unique_for_overwrite<char[]>(kBufferSize)) {
  TakeMark();
}

TextLineReader::TextLineReader(UniqueFd fd, std::uint64_t limit)
    : fd_(std::move(fd)),
      limit_(limit),
      buffer_(std::make_unique_for_overwrite<char[]>(kBufferSize)) {
  TakeMark();
}

void TextLineReader::Close() { fd_.Close(); }

void TextLineReader::TakeMark() {
  while (end_ < 3 && Fill()) {
  }
  const std::string_view first(buffer_.get(), end_);
  if (first.starts_with("\xEF\xBB\xBF")) {
    begin_ = 3;
    form_ = kHostTextIsUtf8 ? Form::Bytes : Form::Utf8;
  } else if (first.starts_with("\xFF\xFE") || first.starts_with("\xFE\xFF")) {
    begin_ = 2;
    form_ = first[0] == '\xFF' ? Form::Utf16Le : Form::Utf16Be;
    unit_ = 2;
  }
}

bool TextLineReader::Fill() {
  if (ended_) return false;
  const std::size_t kept = end_ - begin_;
  if (kept > 0) std::memmove(buffer_.get(), buffer_.get() + begin_, kept);
  begin_ = 0;
  end_ = kept;
  const std::uint64_t room = std::min<std::uint64_t>(kBufferSize - kept, limit_ - read_total_);
  const std::size_t got =
      room == 0 ? 0 : ReadAt(fd_.get(), read_total_, buffer_.get() + kept, room);
  if (got == 0) {
    ended_ = true;
    return false;
  }
  end_ += got;
  read_total_ += got;
  return true;
}

bool TextLineReader::StopAsked() {
  stopped_ = stop_ && stop_();
  return stopped_;
}

char32_t TextLineReader::UnitAt(std::size_t at) const {
  const auto* bytes = reinterpret_cast<const unsigned char*>(buffer_.get()) + at;
  switch (form_) {
    case Form::Utf16Le: return static_cast<char32_t>(bytes[0] | bytes[1] << 8);
    case Form::Utf16Be: return static_cast<char32_t>(bytes[0] << 8 | bytes[1]);
    default: return bytes[0];
  }
}

bool TextLineReader::AtEnd() {
  if (end_ - begin_ < unit_) Fill();
  if (begin_ == end_) return true;
  return ctrl_z_ends_ && end_ - begin_ >= unit_ && UnitAt(begin_) == kCtrlZ;
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
  if (form_ == Form::Bytes) {
    ReadBytesLine(pieces);
  } else {
    ReadConvertedLine(pieces);
  }
}

void TextLineReader::ReadBytesLine(Pieces& pieces) {
  const StopBytes& stops = kStops[ctrl_z_ends_ ? 1 : 0][line_feed_ends_ ? 1 : 0];
  for (;;) {
    if (begin_ == end_ && !Fill()) return;
    const char* start = buffer_.get() + begin_;
    const std::size_t available = end_ - begin_;
    std::size_t length = 0;
    while (length < available && !stops[static_cast<unsigned char>(start[length])]) ++length;
    if (length > 0) pieces.Append(std::string_view(start, length));
    last_line_length_ += length;
    begin_ += length;
    if (length == available) {
      // Asked only when the line goes on past what was read.
      if (Fill() && !stops[static_cast<unsigned char>(buffer_[0])] && StopAsked()) return;
      continue;
    }
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

void TextLineReader::ReadConvertedLine(Pieces& pieces) {
  const auto is_stop = [&](char32_t unit) {
    return unit == '\r' || (unit == '\n' && line_feed_ends_) || (unit == kCtrlZ && ctrl_z_ends_);
  };
  for (;;) {
    if (begin_ == end_ && !Fill()) return;
    std::size_t at = begin_;
    while (at + unit_ <= end_ && !is_stop(UnitAt(at))) at += unit_;
    const bool stop_found = at + unit_ <= end_;
    // At the end of the file the last bytes are used however they end.
    const std::size_t used =
        AppendConverted(buffer_.get() + begin_, (ended_ && !stop_found ? end_ : at) - begin_,
                        stop_found || ended_, pieces);
    last_line_length_ += used;
    begin_ += used;
    if (!stop_found) {
      if (ended_) return;
      // Asked only when the line goes on past what was read.
      if (Fill() && used > 0 && end_ - begin_ >= unit_ && !is_stop(UnitAt(begin_)) && StopAsked()) {
        return;
      }
      continue;
    }
    const char32_t stop = UnitAt(begin_);
    if (stop == kCtrlZ) {
      ended_ = true;
      end_ = begin_ + unit_;
      return;
    }
    begin_ += unit_;
    if (stop == '\r') {
      if (end_ - begin_ < unit_) Fill();
      if (end_ - begin_ >= unit_ && UnitAt(begin_) == '\n') begin_ += unit_;
    }
    return;
  }
}

std::size_t TextLineReader::AppendConverted(const char* raw, std::size_t size, bool final,
                                            Pieces& pieces) {
  std::size_t used = size;
  units_.clear();
  if (form_ == Form::Utf8) {
    if (!final) used -= UnfinishedUtf8Tail(std::string_view(raw, size));
    units_ = Utf16OfUtf8(std::string_view(raw, used));
  } else {
    const auto* bytes = reinterpret_cast<const unsigned char*>(raw);
    const bool little = form_ == Form::Utf16Le;
    for (std::size_t at = 0; at + 2 <= size; at += 2) {
      units_ += static_cast<char16_t>(little ? bytes[at] | bytes[at + 1] << 8
                                             : bytes[at] << 8 | bytes[at + 1]);
    }
    used = units_.size() * 2;
    // A pair of surrogates may be split between two reads.
    if (!final && !units_.empty() && units_.back() >= 0xD800 && units_.back() <= 0xDBFF) {
      units_.pop_back();
      used -= 2;
    }
  }
  converted_.clear();
  char32_t unheld = AppendHostText(units_, converted_);
  if (final && form_ != Form::Utf8 && size % 2 != 0) {
    converted_ += '?';
    if (unheld == 0) unheld = kLoneByte;
    used = size;
  }
  if (unheld != 0) pieces.CannotHold(unheld);
  if (!converted_.empty()) pieces.Append(converted_);
  return used;
}

void TextLineReader::ReadLastLineAgain(Pieces& pieces) {
  char chunk[kBufferSize];
  std::size_t held = 0;  // bytes of a character the chunk before did not finish
  std::uint64_t offset = last_line_offset_;
  for (std::uint64_t rest = last_line_length_; rest > 0;) {
    const std::size_t room = sizeof chunk - held;
    const std::size_t got = ReadAt(fd_.get(), offset, chunk + held, rest < room ? rest : room);
    if (got == 0) ThrowIoError(FileFailure::CutShort);
    offset += got;
    rest -= got;
    if (form_ == Form::Bytes) {
      pieces.Append(std::string_view(chunk, got));
      continue;
    }
    const std::size_t size = held + got;
    const std::size_t used = AppendConverted(chunk, size, rest == 0, pieces);
    held = size - used;
    std::memmove(chunk, chunk + used, held);
  }
}

}  // namespace quillon
