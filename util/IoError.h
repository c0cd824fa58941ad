// A failure of file input or output, carrying the text the user is shown.
#pragma once

#include <stdexcept>
#include <string>

namespace quillon {

class IoError : public std::runtime_error {
 public:
  explicit IoError(const std::string& text) : std::runtime_error(text) {}
};

// "File not found", "File access denied", "Disk full", ..., "I/O error N".
std::string IoErrorText(int error_number);

[[noreturn]] void ThrowIoError(int error_number);

// A general error whose text is shown as it stands ("Unable to write to ...").
class UserError : public std::runtime_error {
 public:
  explicit UserError(const std::string& text) : std::runtime_error(text) {}
};

// The application error box's text: the message with "." appended unless it ends in one.
std::string WithFinalDot(std::string text);

}  // namespace quillon
