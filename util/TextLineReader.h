// Reads a text file line by line under the text-line rules: a carriage return ends a line, a
// line feed right after it belongs to that end, a lone line feed ends a line too on POSIX (not
// on Windows), and Ctrl-Z ends the text. Streams: a line taken in pieces or skipped needs no
// memory of its own.
#pragma once

#include <cstdint>
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
  // Reads from an open regular file, which it takes.
  explicit TextLineReader(UniqueFd fd);
  TextLineReader(const TextLineReader&) = delete;
  TextLineReader& operator=(const TextLineReader&) = delete;

  // Takes a line piece by piece as it is read.
  class Pieces {
   public:
    virtual void Append(std::string_view piece) = 0;

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
  // Closes the file; throws IoError when the close fails.
  void Close();

 private:
  bool Fill();

  UniqueFd fd_;
  bool ended_ = false;  // end of file or Ctrl-Z seen
  bool ctrl_z_ends_ = true;
  bool line_feed_ends_ = kLineFeedEndsLine;
  std::unique_ptr<char[]> buffer_;
  std::size_t begin_ = 0;
  std::size_t end_ = 0;
  std::uint64_t read_total_ = 0;  // bytes read from the file so far
  std::uint64_t last_line_offset_ = 0;
  std::uint64_t last_line_length_ = 0;
};

}  // namespace quillon
