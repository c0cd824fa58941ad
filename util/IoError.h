// A failure of file input or output, carrying the text the user is shown.
#pragma once

#include <stdexcept>
#include <string>

namespace quillon {

class IoError : public std::runtime_error {
 public:
  explicit IoError(const std::string& text) : std::runtime_error(text) {}
};

// The host's error number (errno on POSIX, the system error code on Windows) as the user is
// told it: "File not found", "File access denied", "Disk full", ..., "I/O error N".
std::string IoErrorText(int error_number);

[[noreturn]] void ThrowIoError(int error_number);

// Failures the program finds itself, told as the host's error for them.
enum class FileFailure {
  CutShort,  // a file holds fewer bytes than it did when read before
  TooLarge,  // a file is larger than the program reads
};
[[noreturn]] void ThrowIoError(FileFailure failure);

// A general error whose text is shown as it stands ("Unable to write to ...").
class UserError : public std::runtime_error {
 public:
  explicit UserError(const std::string& text) : std::runtime_error(text) {}
};

// The application error box's text: the message with "." appended unless it ends in one.
std::string WithFinalDot(std::string text);

}  // namespace quillon
