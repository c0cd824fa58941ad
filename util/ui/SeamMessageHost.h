// The core's message boxes shown through the seam.
#pragma once

#include "util/MessageHost.h"

namespace quillon::ui {

class SeamMessageHost : public MessageHost {
 public:
  void ShowNotice(const std::string& text) override;
  void ShowError(const std::string& text) override;
  void ShowWarning(const std::string& text) override;
  void ShowInformation(const std::string& text) override;
  bool AskYesNo(const std::string& question) override;
};

}  // namespace quillon::ui
