// Reads a text file line by line under the text-line rules: a carriage return ends a line, a
// line feed right after it belongs to that end, a lone line feed ends a line too (POSIX), and
// Ctrl-Z ends the text. Streams: memory grows only with the longest line.
#pragma once

#include <string>

namespace quillon {

class TextLineReader {
 public:
  // Files of other forms (the history files) hold Ctrl-Z as an ordinary character.
  enum class CtrlZ { EndsText, IsText };

  // Throws IoError when the file cannot be opened (see OpenTextFile).
  explicit TextLineReader(const std::string& path, CtrlZ ctrl_z = CtrlZ::EndsText);
  // Reads from a descriptor it does not own.
  explicit TextLineReader(int fd);
  TextLineReader(const TextLineReader&) = delete;
  TextLineReader& operator=(const TextLineReader&) = delete;
  ~TextLineReader();

  // The next line without its end; at the end of the text, an empty line. Throws IoError.
  std::string ReadLine();
  void ReadLine(std::string& line);
  // True once nothing, or a Ctrl-Z, follows the last line end read.
  bool AtEnd();
  // Closes the file; throws IoError when the close fails.
  void Close();

  // Opens a regular file for reading; -1 with errno set when it cannot, EACCES for anything
  // else (a pipe would block, a device may never end).
  static int OpenTextFile(const std::string& path);

 private:
  bool Fill();

  int fd_ = -1;
  bool owns_fd_ = false;
  bool ended_ = false;  // end of file or Ctrl-Z seen
  bool ctrl_z_ends_ = true;
  char* buffer_;
  std::size_t begin_ = 0;
  std::size_t end_ = 0;
};

}  // namespace quillon
