#include "util/ui/SeamMessageHost.h"

#include "util/ui/Seam.h"

namespace quillon::ui {

void SeamMessageHost::ShowNotice(const std::string& text) { ui::ShowNotice(FromBytes(text)); }
void SeamMessageHost::ShowError(const std::string& text) { ui::ShowError(FromBytes(text)); }
void SeamMessageHost::ShowWarning(const std::string& text) { ui::ShowWarning(FromBytes(text)); }
void SeamMessageHost::ShowInformation(const std::string& text) {
  ui::ShowInformation(FromBytes(text));
}
bool SeamMessageHost::AskYesNo(const std::string& question) {
  return ui::AskYesNo(FromBytes(question));
}

}  // namespace quillon::ui
