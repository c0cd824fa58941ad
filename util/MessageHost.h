// The message boxes the core may show, answered by whoever hosts it (window, batch, tests).
#pragma once

#include <string>

namespace quillon {

class MessageHost {
 public:
  virtual ~MessageHost() = default;
  virtual void ShowNotice(const std::string& text) = 0;       // titled "Quillon", no icon
  virtual void ShowError(const std::string& text) = 0;        // titled "Error"
  virtual void ShowWarning(const std::string& text) = 0;      // titled "Warning"
  virtual void ShowInformation(const std::string& text) = 0;  // titled "Information"
  // A warning box with Yes and No; true only for Yes.
  virtual bool AskYesNo(const std::string& question) = 0;
};

inline constexpr const char* kProgramTitle = "Quillon";

}  // namespace quillon
