// Reads a text file line by line under the text-line rules: a carriage return ends a line, a
// line feed right after it belongs to that end, a lone line feed ends a line too on POSIX (not
// on Windows), and Ctrl-Z ends the text. Streams: a line taken in pieces or skipped needs no
// memory of its own. A file that starts with a byte-order mark is text of its form: the mark
// is no part of the first line, and UTF-16 (either order), like UTF-8 where the host's texts
// are in another form, is given in the host's form (see AppendHostText).
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

#include "util/Platform.h"
#include "util/UniqueFd.h"

namespace quillon {

class TextLineReader {
 public:
  // Files of other forms (the history files) hold Ctrl-Z as an ordinary character.
  enum class CtrlZ { EndsText, IsText };
  // Files of other forms (the history files) end a line at a lone line feed on every host.
  enum class LineFeed { EndsLine, IsText };
  static constexpr LineFeed kHostLineFeed =
      kLineFeedEndsLine ? LineFeed::EndsLine : LineFeed::IsText;

  // Throws IoError when the file cannot be opened (see OpenTextFile).
  explicit TextLineReader(const std::string& path, CtrlZ ctrl_z = CtrlZ::EndsText,
                          LineFeed line_feed = kHostLineFeed);
  // Reads from an open regular file, which it takes, no further than its first limit bytes.
  explicit TextLineReader(UniqueFd fd, std::uint64_t limit = UINT64_MAX);
  TextLineReader(const TextLineReader&) = delete;
  TextLineReader& operator=(const TextLineReader&) = delete;

  // Takes a line piece by piece as it is read.
  class Pieces {
   public:
    virtual void Append(std::string_view piece) = 0;
    // A character of the line that the host's form of texts cannot hold, told before the
    // piece that holds the "?" standing for it.
    virtual void CannotHold(char32_t /*character*/) {}

   protected:
    ~Pieces() = default;
  };

  // The next line without its end; at the end of the text, an empty line. Throws IoError.
  std::string ReadLine();
  void ReadLine(std::string& line);
  void ReadLine(Pieces& pieces);
  void SkipLine();
  // The last line read, read once more from the file (a regular file), in pieces.
  void ReadLastLineAgain(Pieces& pieces);
  // True once nothing, or a Ctrl-Z, follows the last line end read.
  bool AtEnd();
  // Asked between two reads of one line: once it answers true, the line being read is left
  // unfinished where it stands, and Stopped tells so.
  void StopWhen(std::function<bool()> stop) { stop_ = std::move(stop); }
  bool Stopped() const { return stopped_; }
  // Closes the file; throws IoError when the close fails.
  void Close();

 private:
  // How the file's bytes are text: as they are, or converted from the form its mark names.
  enum class Form : unsigned char { Bytes, Utf8, Utf16Le, Utf16Be };

  void TakeMark();
  // Reads on after the bytes not yet used, which move to the buffer's start.
  bool Fill();
  bool StopAsked();
  char32_t UnitAt(std::size_t at) const;
  void ReadBytesLine(Pieces& pieces);
  void ReadConvertedLine(Pieces& pieces);
  // Appends the text of raw bytes of the file's form; gives back how many it used, which is
  // all of them when final, else all but those of a character they do not finish.
  std::size_t AppendConverted(const char* raw, std::size_t size, bool final, Pieces& pieces);

  UniqueFd fd_;
  Form form_ = Form::Bytes;
  std::size_t unit_ = 1;  // bytes of a code unit of the form
  bool ended_ = false;    // end of file or Ctrl-Z seen
  bool stopped_ = false;
  std::function<bool()> stop_;
  std::uint64_t limit_ = UINT64_MAX;
  bool ctrl_z_ends_ = true;
  bool line_feed_ends_ = kLineFeedEndsLine;
  std::unique_ptr<char[]> buffer_;
  std::size_t begin_ = 0;
  std::size_t end_ = 0;
  std::uint64_t read_total_ = 0;  // bytes read from the file so far
  std::uint64_t last_line_offset_ = 0;
  std::uint64_t last_line_length_ = 0;
  // What converting a piece takes, reused from piece to piece.
  std::u16string units_;
  std::string converted_;
};

}  // namespace quillon
